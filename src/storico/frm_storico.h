// "Storico": an athlete's sets of one exercise over a range of dates, the
// load-velocity profile they draw with the estimated 1RM, its trend week by
// week and the best velocity at one load over time. Reads its own connection
// to the history; the program's history service writes, and the window
// follows what it reports.
#pragma once

#include "profilo.h"
#include "storico.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QCustomPlot;
class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStandardItemModel;
class QTabWidget;
class QTableView;

namespace vexa {

class ServizioStorico;

inline constexpr const char* TITOLO_STORICO = "Storico";

class Frm_storico : public QWidget {
    Q_OBJECT
public:
    // The athlete and exercise the window opens on (those of the settings).
    struct Scelta {
        QString squadra, atleta, esercizio;
    };
    // `servizio` may be null: the window then only reads.
    // `in_acquisizione` says whether an acquisition is running. While it is,
    // the window reads this station's history only: its queries run on the
    // screen's thread, which the board's data also need, and a server that
    // stops answering mid-query would hold both for seconds. Unset: never.
    Frm_storico(const QString& cartella_dati, ServizioStorico* servizio, const Scelta& scelta, QWidget* parent = nullptr,
                std::function<bool()> in_acquisizione = {});
    ~Frm_storico() override;

    // Opens a set's whole trial as "Apri..." does. Unset: nothing happens.
    std::function<void(const QString& file_intero)> apri_prova;
    // The Save dialog: the chosen path, or empty when cancelled. Unset: QFileDialog.
    std::function<QString(const QString& titolo, const QString& proposto, const QString& filtro)> chiedi_file;
    // A message with an OK button. Unset: a message box.
    std::function<void(const QString& testo)> mostra_messaggio;
    // An acquisition has started or stopped: the window goes back to the
    // club's server, or leaves it, accordingly.
    void acquisizione_cambiata() { club_cambiato(); }

    QComboBox* cbo_atleta = nullptr;
    QComboBox* cbo_esercizio = nullptr;
    QDateEdit* txt_dal = nullptr;
    QDateEdit* txt_al = nullptr;
    QRadioButton* opt_vmedia = nullptr;
    QRadioButton* opt_vmp = nullptr;
    QSpinBox* txt_velocita_1rm = nullptr;
    QTableView* lst_sessioni = nullptr;
    QTabWidget* schede = nullptr;
    QCustomPlot* grafico_profilo = nullptr;
    QCustomPlot* grafico_massimale = nullptr;
    QCustomPlot* grafico_carico = nullptr;
    QComboBox* cbo_carico = nullptr;
    QLabel* lbl_profilo = nullptr;
    QLabel* lbl_stato = nullptr;
    QPushButton* cmd_ricostruisci = nullptr;
    QPushButton* cmd_esporta_profilo = nullptr;
    QPushButton* cmd_esporta_grafico = nullptr;
    QPushButton* cmd_chiudi = nullptr;
    // The club's server: which history the window reads, what waits to go.
    QLabel* lbl_club = nullptr;
    QPushButton* cmd_sincronizza = nullptr;
    QPushButton* cmd_club = nullptr;
    // Reading the club's server (it is set and answers), not this station's history.
    bool legge_dal_server() const;

    // Reads the history again for what the window shows now.
    void aggiorna();
    const std::vector<SessioneStorico>& sessioni() const { return sessioni_; }
    const Profilo& profilo() const { return profilo_; }
    const std::vector<StimaSettimanale>& stime() const { return stime_; }

    // Double-click on a row of the sets.
    void apri_sessione(int riga);
    // The profile as a ";" file, the chart in view as PNG or PDF (by the
    // name's extension); "" or the message shown.
    QString esporta_profilo(const QString& percorso);
    QString esporta_grafico(const QString& percorso);
    void Cmd_esporta_profilo_Click();
    void Cmd_esporta_grafico_Click();

private:
    void aggiorna_atleti(const Scelta& scelta);
    void aggiorna_esercizi(const QString& preferito);
    AtletaStorico atleta() const;
    void disegna_profilo(const std::vector<PuntoDatato>& punti, double v1rm);
    void disegna_massimale();
    void disegna_carico();
    void riapri();
    void avvisa(const QString& testo);
    void club_cambiato();
    void Cmd_club_Click();
    // The history the window reads: the club's server when it answers.
    Storico& letto();

    std::unique_ptr<Storico> storico_;
    std::unique_ptr<Storico> club_;
    std::function<bool()> in_acquisizione_;
    int inviate_ = 0; // the push's count when the window last read the server
    ServizioStorico* servizio_ = nullptr;
    QStandardItemModel* modello_ = nullptr;
    std::vector<SessioneStorico> sessioni_;
    Profilo profilo_;
    std::vector<StimaSettimanale> stime_;
    char separatore_ = '.';
    bool riempimento_ = false; // lists being refilled: their signals do nothing
};

} // namespace vexa
