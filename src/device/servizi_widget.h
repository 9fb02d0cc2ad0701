// The device link's services on the desktop: message boxes, the system beep,
// and hooks to the main window's caption, the start switch and the live label,
// which the main window connects when it exists.
#pragma once

#include "servizi.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace vexa {

// A modal message box with an OK button; an empty title is the program's.
void mostra_messaggio_box(QWidget* genitore, const std::string& testo, Icona icona, const std::string& titolo);

// The user's decimal separator, for the texts built by the formatting helpers
// (a point where the system's is not a single ASCII character).
char separatore_di_sistema();

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
