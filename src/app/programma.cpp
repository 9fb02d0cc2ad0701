#include "programma.h"

#include "frm_apertura.h"
#include "frm_main.h"

#include "analysis/formato.h"
#include "device/frm_seriale.h"
#include "device/hid/backend_reale.h"
#include "device/hid/frm_hid.h"
#include "device/porta_seriale.h"
#include "device/protocollo.h"
#include "device/registro.h"
#include "ui/servizi_widget.h"
#include "settings/archivio_impostazioni.h"
#include "tools/frm_crono.h"
#include "storico/frm_storico.h"
#include "storico/servizio_storico.h"
#include "trials/giornale_disco.h"
#include "trials/salvataggio.h"
#include "ui/frm_vbt.h"
#include "ui/sorveglianza_vbt.h"
#include "ui/suono.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <set>

namespace vexa {

const char* const MSG_NESSUNA_SCHEDA =
    "Nessuna scheda trovata sulle porte seriali e USB: il programma si apre senza misure.\n"
    "Collegare e accendere la scheda, poi scegliere \"Parametri Porta....\" nel menu Impostazioni "
    "e premere \"Auto set\".";

// What the links and the panels need of the program: the caption, the start
// switch, the live label, the tone, and message boxes. During start-up the
// boxes are held back and given as one, so a missing board costs the coach one
// box, not one per step that could not reach it.
class Programma::Servizi : public IServizi {
public:
    explicit Servizi(Programma& p) : p_(p) {}

    void messaggio(const std::string& testo, Icona icona, const std::string& titolo) override {
        qCWarning(lcUi).noquote() << "messaggio:" << QString::fromStdString(testo).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (trattieni) {
            trattenuti.push_back(testo);
            return;
        }
        // The same trouble again on the same connection (a dying adapter, a
        // board that keeps refusing) is in the log; the coach has read it once.
        if (p_.stato.stato_connessione != connessione_) {
            connessione_ = p_.stato.stato_connessione;
            gia_mostrati_.clear();
        }
        if (!gia_mostrati_.insert(testo).second) {
            qCInfo(lcUi) << "già mostrato in questo collegamento: non ripetuto";
            return;
        }
        mostra(testo, icona, titolo);
    }
    void mostra(const std::string& testo, Icona icona, const std::string& titolo) {
        if (p_.o_.mostra_messaggio) {
            p_.o_.mostra_messaggio(testo, icona, titolo);
            return;
        }
        QWidget* genitore = p_.principale_ && p_.principale_->isVisible() ? p_.principale_.get() : nullptr;
        mostra_messaggio_box(genitore, testo, icona, titolo.empty() ? std::string(TITOLO_VEXA) : titolo);
    }
    void beep() override {
        if (p_.suono_) p_.suono_->beep();
    }
    void imposta_titolo_principale(const std::string& testo) override {
        if (p_.principale_) p_.principale_->setWindowTitle(QString::fromStdString(testo));
    }
    void spegni_pulsante_start() override {
        if (p_.principale_) p_.principale_->cmd()->spegni_start();
        // The acquisition has ended without the switch (a lost link, "Reset
        // Pos", a refused start): a recorded one is saved once the code that
        // stopped it has finished talking to the board.
        QTimer::singleShot(0, &p_, [p = &p_] {
            p->acquisizione_finita();
            p->acquisizione_cambiata();
        });
    }
    void imposta_spostamento(const std::string& testo) override {
        if (p_.principale_) p_.principale_->intestazione()->imposta_spostamento(testo);
    }

    bool trattieni = false;
    std::vector<std::string> trattenuti;

private:
    Programma& p_;
    std::string connessione_;
    std::set<std::string> gia_mostrati_;
};

Programma::Programma(OpzioniProgramma opzioni) : o_(std::move(opzioni)) {
    cartella_ = o_.cartella_programma.isEmpty()
                    ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                    : o_.cartella_programma;
    QDir().mkpath(cartella_);
    servizi_ = std::make_unique<Servizi>(*this);
    suono_ = std::make_unique<SuonoQt>();
    suono_stop_ = std::make_unique<SuonoQt>(nullptr, 440, 900);
    porta_ = std::make_unique<PortaSeriale>();
    porta_->imposta_cartella_porte(QDir(cartella_).filePath(QStringLiteral("ports")));
    protocollo_ = std::make_unique<Protocollo>(stato, *porta_, *servizi_);
    protocollo_->attesa_apertura_ms = o_.attesa_apertura_ms;

    // The main window exists from the start, hidden: the USB link may put its
    // caption up before the splash window shows it.
    principale_ = std::make_unique<Frm_main>(stato, *servizi_, cartella_, *suono_);
    Frm_grafici* g = principale_->grafici();
    analisi_ = std::make_unique<Analizzatore>(stato, g->vista());
    analisi_->separatore = separatore_di_sistema();
    analisi_->registro = [](int livello, const std::string& testo) {
        if (livello > 0)
            qCInfo(lcAnalisi).noquote() << QString::fromStdString(testo);
        else
            qCDebug(lcAnalisi).noquote() << QString::fromStdString(testo);
    };
    protocollo_->imposta_analisi(analisi_.get());
    giornale_ = std::make_unique<GiornaleRegistrazione>(cartella_giornali(cartella_));
    analisi_->su_campione = [this](int32_t indice, const Campione& c) {
        // A trial opened from a file goes through the analysis too: not a recording.
        if (!stato.acquisizione_in_corso || !stato.registrazione_attiva) return;
        if (!giornale_->aperto()) giornale_->apri(intestazione_da_stato(stato, adesso()));
        giornale_->aggiungi(indice, c);
    };
    connect(giornale_.get(), &GiornaleRegistrazione::errore, this, [this](const QString& testo) {
        servizi_->messaggio(testo.toStdString(), Icona::Esclamazione, TITOLO_VEXA);
    });
    vbt_ = std::make_unique<SorveglianzaVbt>(stato, *analisi_, *g, *suono_stop_);
    g->vista().vbt = vbt_.get();
    vbt_->byte_in_attesa = [this] { return analisi_->arretrato ? analisi_->arretrato() : 0; };
    vbt_->consegna_in_attesa = [this] { protocollo_->rilascia_in_attesa(); };
    protocollo_->azzera_prova = [this] { azzera_prova(stato, principale_->grafici()->vista()); };

    Frm_cmd* c = principale_->cmd();
    c->Avvia_acquisizione = [this] {
        protocollo_->Avvia_acquisizione();
        if (stato.acquisizione_in_corso && stato.registrazione_attiva) da_salvare_ = true;
        if (stato.acquisizione_in_corso) vbt_->acquisizione_avviata();
        acquisizione_cambiata();
    };
    c->su_registrazione = [this](bool acceso) {
        if (acceso && stato.acquisizione_in_corso) da_salvare_ = true;
        // Switched off, the samples will not be saved: nor kept for a crash.
        if (!acceso) giornale_->chiudi(true);
    };
    c->salva_registrazione = [this] { acquisizione_finita(); };
    connect(principale_.get(), &Frm_main::prima_di_chiudere, this, [this] {
        if (stato.acquisizione_in_corso) protocollo_->Ferma_acquisizione();
        acquisizione_finita();
    });
    c->Ferma_acquisizione = [this] {
        protocollo_->Ferma_acquisizione();
        acquisizione_cambiata();
    };
    c->Azzera_spostamento = [this] { protocollo_->Azzera_spostamento(); };
    c->azzera_prova = [this] { azzera_prova(stato, principale_->grafici()->vista()); };
    c->assicura_cartella_registrazione = [this] {
        // Failing to create it must not keep recording on; the flag is already clear.
        QDir().mkpath(QDir(cartella_).filePath(QStringLiteral("misure_auto")));
    };
    Frm_main* m = principale_.get();
    connect(m, &Frm_main::mostra_porta, this, [this] {
        crea_seriale();
        seriale_->show();
        seriale_->raise();
    });
    connect(m, &Frm_main::chiusa, this, &Programma::scarica_finestre);
    connect(m, &Frm_main::mostra_cronometro, this, [this] { mostra_cronometro(); });
    connect(m, &Frm_main::mostra_indici_vbt, this, [this] { mostra_indici_vbt(); });
    connect(m, &Frm_main::mostra_impostazioni, this, [this] { mostra_impostazioni(); });
    connect(m, &Frm_main::mostra_storico, this, [this] { mostra_storico(); });
    connect(m, &Frm_main::apri, this, &Programma::mnuFileApri_Click);
    connect(m, &Frm_main::salva_dati, this, &Programma::mnuFileSalva_parziale_Click);
    connect(m, &Frm_main::salva_file_intero, this, &Programma::mnuFileSalva_intero_Click);
    g->su_apri_editor = [this](int indice) { editor_grafici().apri(indice); };
}

namespace {

// A modeless window the user asked for: shown, in front, with the keyboard.
void in_primo_piano(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}

// Whether "Indici VBT" was open when the program last ended, and where.
const QString VBT_APERTA = QStringLiteral("finestre/indici_vbt");
const QString VBT_GEOMETRIA = QStringLiteral("finestre/indici_vbt_geometria");

QSettings impostazioni_utente() { return QSettings(QStringLiteral("vexameter"), QStringLiteral("vexameter")); }

} // namespace

Frm_utente& Programma::mostra_impostazioni() {
    if (!utente_) {
        utente_ = new Frm_utente(stato, cartella_, principale_.get());
        utente_->setWindowFlag(Qt::Window);
        utente_->update_graph = [this](int grafico, int asse, double minimo, double massimo) {
            editor_grafici().Update_graph(grafico, asse, minimo, massimo);
        };
        utente_->aggiorna_intestazione = [this] { principale_->intestazione()->Aggiorna_intestazione(); };
        utente_->mostra_messaggio = [this](const QString& testo) {
            mostra_messaggio(testo.toStdString(), Icona::Esclamazione);
        };
        utente_->alla_chiusura = [this] {
            if (utente_) utente_->deleteLater();
            utente_ = nullptr;
        };
    }
    in_primo_piano(utente_);
    return *utente_;
}

void Programma::semina_dimostrazione() {
    if (stato.file_pesi.empty() || QFileInfo::exists(QString::fromStdString(stato.file_pesi))) return;
    ArchivioImpostazioni archivio(stato, cartella_);
    ListeValori liste;
    liste[0] = {"Dimostrazione"};
    liste[2] = {"60"};
    liste[3] = {"Panca piana"};
    liste[4] = {"520"};
    liste[5] = {"110"};
    liste[6] = {"90"};
    liste[7] = {"100"};
    stato.squadra = "Dimostrazione";
    stato.nome_atleta = "Atleta dimostrativo";
    stato.posizioni = {0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0};
    QString errore = archivio.prepara_cartelle(QString::fromStdString(stato.squadra),
                                               QString::fromStdString(stato.nome_atleta));
    if (errore.isEmpty()) errore = archivio.salva(liste, QString());
    if (!errore.isEmpty()) {
        qCWarning(lcImpostazioni).noquote() << "atleta dimostrativo non salvato:" << errore;
        return;
    }
    salva_funz(stato);
}

frm_edit_grafici& Programma::editor_grafici() {
    if (!editor_) editor_ = new frm_edit_grafici(stato, *principale_->grafici(), principale_.get());
    return *editor_;
}

Frm_crono& Programma::mostra_cronometro() {
    if (!crono_) {
        // Closed means unloaded: the next opening starts as a fresh stopwatch.
        crono_ = new Frm_crono(*suono_);
        crono_->setAttribute(Qt::WA_DeleteOnClose);
    }
    in_primo_piano(crono_);
    return *crono_;
}

Frm_vbt& Programma::mostra_indici_vbt() {
    if (!finestra_vbt_) {
        finestra_vbt_ = new Frm_vbt(stato);
        finestra_vbt_->setAttribute(Qt::WA_DeleteOnClose);
        finestra_vbt_->restoreGeometry(impostazioni_utente().value(VBT_GEOMETRIA).toByteArray());
        finestra_vbt_->su_chiusura = [this] {
            auto st = impostazioni_utente();
            st.setValue(VBT_APERTA, false);
            st.setValue(VBT_GEOMETRIA, finestra_vbt_->saveGeometry());
        };
        vbt_->collega(finestra_vbt_);
    }
    in_primo_piano(finestra_vbt_);
    impostazioni_utente().setValue(VBT_APERTA, true);
    return *finestra_vbt_;
}

Programma::~Programma() {
    // The links go before the windows they write into.
    analisi_->su_campione = nullptr;
    hid_.reset();
    seriale_.reset();
    protocollo_.reset();
    porta_.reset();
    if (apertura_) delete apertura_.data();
    if (crono_) delete crono_.data();
    if (utente_) delete utente_.data();
    if (finestra_storico_) delete finestra_storico_.data();
    if (finestra_vbt_) delete finestra_vbt_.data();
    principale_->grafici()->vista().vbt = nullptr;
}

IServizi& Programma::servizi() { return *servizi_; }

void Programma::mostra_messaggio(const std::string& testo, Icona icona) { servizi_->mostra(testo, icona, TITOLO_VEXA); }

void Programma::crea_seriale() {
    if (!seriale_) seriale_ = std::make_unique<frm_seriale>(stato, *porta_, *protocollo_, *servizi_);
}

void Programma::scarica_finestre() {
    // Each step on its own: one that fails must not keep the others open.
    if (seriale_) seriale_->hide();
    if (hid_) hid_->hide();
    if (apertura_) apertura_->close();
    if (crono_) crono_->close();
    if (editor_) editor_->hide();
    // Hidden, not closed: it was open at the end, so the next start opens it.
    if (finestra_vbt_) {
        impostazioni_utente().setValue(VBT_GEOMETRIA, finestra_vbt_->saveGeometry());
        finestra_vbt_->hide();
    }
    if (utente_) utente_->close();
    if (finestra_storico_) finestra_storico_->close();
}

EsitoAvvio Programma::avvia() {
    Stato& s = stato;
    QDir().mkpath(QDir(cartella_).filePath(QStringLiteral("ini")));
    s.cartella_ini = QDir::toNativeSeparators(QDir(cartella_).filePath(QStringLiteral("ini"))).toStdString();
    s.file_pesi = QDir::toNativeSeparators(QDir(QString::fromStdString(s.cartella_ini)).filePath(QStringLiteral("pesi.ini")))
                      .toStdString();
    s.stato_connessione = " non connesso";
    s.titolo_programma = "VEXA METER " + std::to_string(o_.versione[0]) + "." + std::to_string(o_.versione[1]) + "." +
                         std::to_string(o_.versione[2]);
    s.timeout_attesa = 1000;
    s.ripetizioni.assign(2, Ripetizione{});
    s.hid_attivo = false;
    s.seriale_attiva = false;
    principale_->setWindowTitle(QString::fromStdString(s.titolo_programma));

    servizi_->trattieni = true;
    servizi_->trattenuti.clear();

    // The USB test: a board already plugged in announces itself within the wait.
    {
        std::unique_ptr<IBackendHid> backend =
            o_.crea_backend_hid ? o_.crea_backend_hid() : std::make_unique<BackendHidReale>();
        hid_ = std::make_unique<frm_hid>(s, *servizi_, std::move(backend), *analisi_);
        hid_->separatore = separatore_di_sistema();
        hid_->setWindowTitle(QStringLiteral("Testing..HID"));
        hid_->show();
        QCoreApplication::processEvents();
        protocollo_->Attendi_ms(static_cast<float>(o_.attesa_hid_ms));
    }

    std::string accesso_negato;
    EsitoAvvio esito = EsitoAvvio::Seriale;
    if (s.hid_attivo) {
        hid_->hide();
        hid_->avvisa_accesso_negato = true; // start-up has said what it had to
        protocollo_->imposta_link_hid(hid_.get());
        servizi_->beep();
        esito = EsitoAvvio::Hid;
    } else {
        if (hid_->accesso_negato()) accesso_negato = hid_->testo_accesso_negato();
        // What the USB layer had to say (no udev, say) does not matter once the
        // serial port is the link: no board was expected there.
        servizi_->trattenuti.clear();
        hid_.reset();
        s.seriale_attiva = true;
        crea_seriale();
        seriale_->setWindowTitle(QStringLiteral("Testing..."));
        seriale_->setEnabled(false);
        seriale_->Leggi_impostazioni();
        if (!protocollo_->Verifica_porta()) {
            seriale_->show();
            seriale_->Cmd_Auto_Click();
        }
        seriale_->setEnabled(true);
        seriale_->hide();
    }
    QCoreApplication::processEvents();
    crea_seriale();
    seriale_->hide();

    const bool scheda_seriale = s.seriale_attiva && porta_->PortOpen() && s.stato_connessione != " non connesso";
    if (esito == EsitoAvvio::Hid || scheda_seriale) {
        protocollo_->Ferma_acquisizione();
        protocollo_->Rileva_tipo_scheda();
        protocollo_->Leggi_info_scheda();
    } else {
        // Stop, type and information would each fail against no board; the
        // coach hears it once.
        esito = EsitoAvvio::NessunaScheda;
        principale_->cmd()->spegni_start();
    }

    apertura_ = new frm_apertura(o_.versione[0], o_.versione[1], o_.versione[2]);
    apertura_->mostra_principale = [this] {
        principale_->show();
        principale_->raise();
        principale_->activateWindow();
        if (impostazioni_utente().value(VBT_APERTA, false).toBool()) mostra_indici_vbt();
    };
    if (o_.impostazioni_all_avvio) apertura_->mostra_impostazioni = [this] { mostra_impostazioni(); };
    apertura_->show();
    principale_->setWindowTitle(QString::fromStdString(s.titolo_programma + s.stato_connessione));

    servizi_->trattieni = false;
    std::string testo;
    auto aggiungi = [&testo](const std::string& t) {
        if (t.empty() || testo.find(t) != std::string::npos) return;
        if (!testo.empty()) testo += "\n\n";
        testo += t;
    };
    // A trial a crash cut short is saved now, before anything else is said.
    const QString riserva = QDir(cartella_).filePath(QStringLiteral("misure_auto"));
    QStringList recuperati;
    aggiungi(recupera_giornali(cartella_giornali(cartella_), riserva, &recuperati).toStdString());
    aggiungi(accesso_negato);
    if (esito == EsitoAvvio::NessunaScheda) {
        aggiungi(MSG_NESSUNA_SCHEDA);
    } else {
        for (const std::string& t : servizi_->trattenuti) aggiungi(t);
    }
    servizi_->trattenuti.clear();
    messaggio_avvio_ = testo;
    if (!testo.empty()) servizi_->mostra(testo, Icona::Esclamazione, TITOLO_VEXA);
    avvia_storico();
    // A recovered set belongs to the history as much as a saved one; the
    // files come in pairs, the results second.
    for (qsizetype k = 1; k < recuperati.size(); k += 2) registra_nello_storico(recuperati[k]);
    return esito;
}

void Programma::acquisizione_finita() {
    if (!da_salvare_ || stato.acquisizione_in_corso) return;
    da_salvare_ = false;
    // The journal goes once the trial is in its files; one whose save failed
    // stays, and the next start saves it.
    const bool salvata = stato.registrazione_attiva && salva_automatico();
    giornale_->chiudi(salvata || !stato.registrazione_attiva);
}

std::vector<std::string> Programma::righe() const {
    std::vector<std::string> r;
    const VistaProva& v = principale_->grafici()->vista();
    const int n = v.lst_valori[0]->numero_righe();
    for (int i = 0; i < n; ++i) {
        std::string riga;
        for (int c = 0; c < NUMERO_COLONNE; ++c) {
            if (c) riga += ';';
            riga += v.lst_valori[static_cast<std::size_t>(c)]->testo(i);
        }
        r.push_back(riga);
    }
    return r;
}

} // namespace vexa
