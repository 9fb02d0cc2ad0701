// Frm_intestazione: the banner across the top of the working screen. Who is
// training and with which settings, the live position, and the button that
// opens the athlete and exercise settings.
#pragma once

#include "analysis/stato.h"
#include "indicatori.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QTimer;

namespace vexa {

// Sizes the label's font to its height, shrunk until `testo` fits its width.
void adatta_carattere(QLabel* etichetta, const QString& testo);

class Frm_intestazione : public QWidget {
    Q_OBJECT
public:
    Frm_intestazione(Stato& stato, QWidget* parent = nullptr);

    PulsanteWidget* Button_Configura = nullptr;
    QLabel* Lbl_intestazione = nullptr;
    QLabel* Lbl_intestazione1 = nullptr;
    QLabel* Lbl_spostamento = nullptr;

    void Aggiorna_intestazione();
    void riposiziona();

    // The receive paths hand the live position once per block; the label is
    // written at most once per screen frame, with the newest text.
    void imposta_spostamento(const std::string& testo);
    // Writes a pending live position now (the frame clock does it otherwise).
    void mostra_spostamento();

    // Opens the athlete and exercise settings.
    std::function<void()> su_configura;
    char separatore = '.';

private:
    Stato& s_;
    QTimer* fotogramma_ = nullptr;
    std::string spostamento_;
    bool spostamento_nuovo_ = false;
};

} // namespace vexa
