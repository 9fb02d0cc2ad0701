// The program as a whole: the shared state, the links, the analysis and the
// windows, wired together, and the start-up sequence that picks the link (USB
// first, the serial port second), brings the board to a known idle state and
// opens the working screen.
#pragma once

#include "analysis/analisi.h"
#include "analysis/stato.h"
#include "device/hid/backend_hid.h"
#include "settings/frm_utente.h"
#include "storico/frm_storico.h"
#include "tools/frm_crono.h"
#include "ui/frm_edit_grafici.h"
#include "ui/frm_vbt.h"
#include "analysis/servizi.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

class Frm_crono;
class Frm_main;
class ServizioStorico;
class GiornaleRegistrazione;
class Frm_vbt;
class SorveglianzaVbt;
class frm_apertura;
class frm_hid;
class frm_seriale;
class PortaSeriale;
class Protocollo;
class SuonoQt;

struct OpzioniProgramma {
    // Data folder of the program (style files, ports folder, athletes).
    // Empty: the application's data folder.
    QString cartella_programma;
    // The USB layer; unset: the real one on hidapi and udev.
    std::function<std::unique_ptr<IBackendHid>()> crea_backend_hid;
    int attesa_hid_ms = 500;
    // Settling time after opening a serial port, before probing it.
    int attesa_apertura_ms = 500;
    int versione[3] = {0, 0, 0};
    // The settings window opens once the splash has gone, as a coach expects
    // to pick the athlete first; a run with nobody at the screen turns it off.
    bool impostazioni_all_avvio = true;
    // The file dialog: the chosen path, or empty when cancelled. `salva` tells
    // Save from Open; `estensione` is added to a typed name without one.
    // Unset: QFileDialog.
    std::function<QString(bool salva, const QString& titolo, const QString& cartella, const QString& proposto,
                          const QString& filtro, const QString& estensione)>
        chiedi_file;
    // How a message box is shown; unset: a modal QMessageBox.
    std::function<void(const std::string& testo, Icona icona, const std::string& titolo)> mostra_messaggio;
};

// How the start-up ended.
enum class EsitoAvvio { Hid, Seriale, NessunaScheda };

class Programma : public QObject {
    Q_OBJECT
public:
    explicit Programma(OpzioniProgramma opzioni);
    ~Programma() override;

    // The start-up sequence; returns once the splash window is up and the
    // caption set. Everything after is driven by events.
    EsitoAvvio avvia();

    Stato stato;
    QString cartella_programma() const { return cartella_; }
    Frm_main& principale() { return *principale_; }
    frm_seriale* seriale() { return seriale_.get(); }
    frm_hid* hid() { return hid_.get(); }
    frm_apertura* apertura() { return apertura_.data(); }
    Protocollo& protocollo() { return *protocollo_; }
    PortaSeriale& porta() { return *porta_; }
    Analizzatore& analisi() { return *analisi_; }
    IServizi& servizi();
    SuonoQt& suono() { return *suono_; }

    // The settings window: the open one brought to the front, or a new one
    // built from the store (it is discarded by OK, Annulla or its close box).
    Frm_utente& mostra_impostazioni();
    Frm_utente* impostazioni() { return utente_.data(); }
    // A demonstration squad and athlete in the store, when it is still empty,
    // so the settings window opens on them and OK applies a usable band.
    void semina_dimostrazione();

    // The graph properties editor, made hidden on first use.
    frm_edit_grafici& editor_grafici();

    // The stopwatch, made on first use and again after it was closed.
    Frm_crono& mostra_cronometro();
    Frm_crono* cronometro() { return crono_.data(); }

    // "Indici VBT", made on first use and again after it was closed; the
    // next start opens it again when it was open at the end of this run.
    Frm_vbt& mostra_indici_vbt();
    Frm_vbt* indici_vbt() { return finestra_vbt_.data(); }
    SorveglianzaVbt& sorveglianza_vbt() { return *vbt_; }
    // The stop alert's tone: low and long, unlike the eccentric beep.
    SuonoQt& suono_stop() { return *suono_stop_; }

    // A message box now (not held back, not merged with others).
    void mostra_messaggio(const std::string& testo, Icona icona);

    // The one message the start-up showed, if it had anything to say.
    const std::string& messaggio_avvio() const { return messaggio_avvio_; }
    // The listed rows of the values list, fifteen texts joined by ";".
    std::vector<std::string> righe() const;

    // The trial files. Salva_File_Intero_csv with an empty name takes the
    // automatic one (left in `nome`); both return "" or the message shown.
    QString Salva_File_Intero_csv(QString& nome);
    QString Salva_File_Dati_csv(const QString& nome);
    // "Salva file intero con nome...", "Salva dati con nome...", "Apri...".
    void mnuFileSalva_intero_Click();
    void mnuFileSalva_parziale_Click();
    void mnuFileApri_Click();
    // Opens a trial file as "Apri..." does once the file is chosen; "" or the message shown.
    QString apri_prova(const QString& percorso);

    // A recorded acquisition has ended, whichever way: saves it, once.
    void acquisizione_finita();
    // The Storico window leaves the club's server while a set is measured.
    void acquisizione_cambiata();
    // The automatic save of the recorded trial: the whole trial and the
    // results, named by the time of the save. False when it failed (the
    // coach has been told why).
    bool salva_automatico();
    // Files written by the automatic saves of this run, newest last.
    const std::vector<QString>& file_salvati() const { return file_salvati_; }
    // The journal of the recording in progress: every recorded sample also
    // goes there, so a crash does not take the trial with it.
    GiornaleRegistrazione& giornale() { return *giornale_; }

    // The training history: the service that keeps it (from the end of the
    // start-up on), and its window, made on first use.
    ServizioStorico* storico() { return storico_.get(); }
    Frm_storico& mostra_storico();
    Frm_storico* finestra_storico() { return finestra_storico_.data(); }

private:
    class Servizi;
    void crea_seriale();
    // The file dialog with the filter and default extension it was left
    // with (one dialog serves every command, as the coach's settings in it
    // stay); a typed name without an extension gets the default one.
    QString chiedi_file(bool salva, const QString& titolo, const QString& proposto);
    QString cartella_dialoghi() const;
    void scarica_finestre();
    void avvia_storico();
    // A results file is on disk: into the history, once the save has finished.
    void registra_nello_storico(const QString& file_dati);

    OpzioniProgramma o_;
    QString cartella_;
    std::unique_ptr<Servizi> servizi_;
    std::unique_ptr<SuonoQt> suono_;
    std::unique_ptr<SuonoQt> suono_stop_;
    std::unique_ptr<PortaSeriale> porta_;
    std::unique_ptr<Protocollo> protocollo_;
    std::unique_ptr<Frm_main> principale_;
    std::unique_ptr<Analizzatore> analisi_;
    std::unique_ptr<SorveglianzaVbt> vbt_;
    std::unique_ptr<frm_seriale> seriale_;
    std::unique_ptr<frm_hid> hid_;
    std::unique_ptr<GiornaleRegistrazione> giornale_;
    QPointer<frm_apertura> apertura_;
    QPointer<Frm_crono> crono_;
    QPointer<Frm_vbt> finestra_vbt_;
    QPointer<frm_edit_grafici> editor_;
    QPointer<Frm_utente> utente_;
    std::unique_ptr<ServizioStorico> storico_;
    QPointer<Frm_storico> finestra_storico_;
    std::string messaggio_avvio_;
    // A recorded acquisition is running or has ended unsaved.
    bool da_salvare_ = false;
    std::vector<QString> file_salvati_;
    struct {
        QString filtro, estensione;
    } dialogo_;
};

// "Nessuna scheda trovata" and what to do about it, shown once at start-up.
extern const char* const MSG_NESSUNA_SCHEDA;

} // namespace vexa
