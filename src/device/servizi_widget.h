// The device link's services on the desktop: message boxes, the system beep,
// and hooks to the main window's caption, the start switch and the live label,
// which the main window connects when it exists.
#pragma once

#include "servizi.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace vexa {

class ServiziWidget : public IServizi {
public:
    explicit ServiziWidget(QWidget* finestra = nullptr) : finestra_(finestra) {}
    void imposta_finestra(QWidget* finestra) { finestra_ = finestra; }

    std::function<void(const std::string&)> su_titolo;
    std::function<void()> su_spegni_start;
    std::function<void(const std::string&)> su_spostamento;

    void messaggio(const std::string& testo, Icona icona, const std::string& titolo) override;
    void beep() override;
    void imposta_titolo_principale(const std::string& testo) override;
    void spegni_pulsante_start() override;
    void imposta_spostamento(const std::string& testo) override;

private:
    QPointer<QWidget> finestra_;
};

} // namespace vexa
