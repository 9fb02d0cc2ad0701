// The port settings window: port, line settings and flow control, stored under
// "Properties"; the automatic search of ports 1 to 30; "TEST Scheda". It stays
// loaded, usually hidden, for as long as the program runs.
#pragma once

#include "analysis/stato.h"
#include "porta.h"
#include "protocollo.h"
#include "analysis/servizi.h"

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vexa {

inline constexpr const char* MSG_FERMARE_ACQUISIZIONE =
    "Acquisizione in corso: fermarla prima di cambiare la porta o di cercare la scheda.";

class frm_seriale : public QDialog {
    Q_OBJECT
public:
    // Loading the window applies the stored settings to the port and shows them.
    frm_seriale(Stato& stato, IPorta& porta, Protocollo& protocollo, IServizi& servizi,
                QWidget* parent = nullptr);

    void Leggi_impostazioni();
    void LoadPropertySettings();
    bool Open_comm();
    void Cmd_Auto_Click();
    void Cmd_test_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    QComboBox* cboPort;
    QComboBox* cboSpeed;
    QComboBox* cboDataBits;
    QComboBox* cboParity;
    QComboBox* cboStopBits;
    std::array<QRadioButton*, 4> optFlow{};
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* Cmd_Auto;
    QPushButton* Cmd_test;
    QLabel* Lbl_info;

    // The last flow-control option clicked.
    int16_t flusso() const { return flusso_; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void riempi_liste();
    void aggiorna_nomi_porte();
    void seleziona_porta(int16_t numero);

    bool acquisizione_da_fermare();
    Stato& s_;
    IPorta& porta_;
    Protocollo& protocollo_;
    IServizi& servizi_;
    bool liste_piene_ = false;
    bool ricerca_in_corso_ = false;
    int16_t flusso_ = 0;
};

} // namespace vexa
