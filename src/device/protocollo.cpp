#include "protocollo.h"

#include "analysis/decodifica.h"
#include "analysis/formato.h"
#include "archivio_porta.h"
#include "registro.h"

#include <QEventLoop>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <optional>

namespace vexa {

namespace {

// "com7: [8018] Porta com7 chiusa: ..." for the log; "USB: ..." on the USB link.
QString errore_su(const Stato& s, const IPorta& porta, const ErroreRuntime& e) {
    const QString dove = s.hid_attivo ? QStringLiteral("USB") : QStringLiteral("com%1").arg(porta.CommPort());
    return QStringLiteral("%1: [%2] %3").arg(dove).arg(e.numero).arg(QString::fromStdString(e.descrizione));
}

} // namespace

// One reply wait. Waits nest when an event handled during a wait starts another
// exchange; only the innermost one looks at the port, as only it is running.
struct Protocollo::Attesa {
    int16_t n = 1;
    qint64 scadenza = 0; // on orologio_
    QEventLoop* ciclo = nullptr;
    bool finita = false;
    bool letta = false;
    std::vector<uint8_t> risposta;
    std::optional<ErroreRuntime> errore;
};

Protocollo::Protocollo(Stato& stato, IPorta& porta, IServizi& servizi, ILinkHid* hid, QObject* parent)
    : QObject(parent), s_(stato), porta_(porta), servizi_(servizi), hid_(hid) {
    orologio_.start();
    const QString punto = QLocale::system().decimalPoint();
    if (punto.size() == 1 && punto.at(0).unicode() < 128) separatore_ = punto.at(0).toLatin1();
    Timer_Seriale.setSingleShot(true);
    Timer_Seriale.setTimerType(Qt::PreciseTimer);
    connect(&Timer_Seriale, &QTimer::timeout, this, &Protocollo::Timer_Seriale_Timer);
    // The board sends nothing while the load stands still, so the records the
    // framing holds back for the next ones to confirm would wait for the next
    // movement: the top of a repetition would reach the analysis late, and the
    // last records of a set not at all. A pause longer than the gaps of a
    // moving load hands them on.
    pausa_.setSingleShot(true);
    pausa_.setInterval(100);
    connect(&pausa_, &QTimer::timeout, this, &Protocollo::rilascia_in_attesa);
    porta_.su_dati = [this] {
        // A record too short of a block for a receive event still counts as
        // movement: the pause is measured from the newest byte.
        if (s_.acquisizione_in_corso && s_.ricezione_abilitata && s_.seriale_attiva) pausa_.start();
        emit dati_arrivati();
    };
    porta_.OnComm_ricezione = [this] { Porta_OnComm(); };
    porta_.su_perdita = [this](const ErroreRuntime& e) { Collegamento_perso(e); };
    connect(this, &Protocollo::dati_arrivati, this, [this] {
        if (!attese_.empty()) controlla(*attese_.back());
    });
}

Protocollo::~Protocollo() {
    porta_.su_dati = nullptr;
    porta_.OnComm_ricezione = nullptr;
    porta_.su_perdita = nullptr;
    if (analisi_) analisi_->arretrato = nullptr;
}

void Protocollo::imposta_analisi(Analizzatore* analisi) {
    if (analisi_) analisi_->arretrato = nullptr;
    analisi_ = analisi;
    if (!analisi_) return;
    // The live plot backs off while the serial input piles up.
    analisi_->arretrato = [this]() -> int {
        if (!s_.seriale_attiva) return 0;
        try {
            return porta_.InBufferCount();
        } catch (const ErroreRuntime& e) {
            qCDebug(lcAnalisi) << "arretrato non leggibile:" << errore_su(s_, porta_, e);
            return 0;
        }
    };
}

void Protocollo::Invia_comando(const std::string& comando) {
    if (s_.hid_attivo && hid_) hid_->HID_invia_stringa(comando);
    if (s_.seriale_attiva) porta_.Output(comando);
}

void Protocollo::Svuota_ingresso() {
    const int16_t lunghezza = porta_.InputLen();
    try {
        porta_.setInputLen(0);
        porta_.Input();
    } catch (const ErroreRuntime& e) {
        // A closed port has nothing to discard.
        qCInfo(lcProtocollo) << "ingresso non svuotato:" << errore_su(s_, porta_, e);
    }
    porta_.setInputLen(lunghezza);
}

void Protocollo::Attendi_ms(float ms) {
    const qint64 fine = orologio_.elapsed() + std::llround(ms);
    while (orologio_.elapsed() < fine) {
        QEventLoop ciclo;
        QTimer sveglia;
        sveglia.setSingleShot(true);
        sveglia.setTimerType(Qt::PreciseTimer);
        connect(&sveglia, &QTimer::timeout, &ciclo, &QEventLoop::quit);
        sveglia.start(static_cast<int>(fine - orologio_.elapsed()));
        ciclo.exec();
    }
}

void Protocollo::termina(Attesa& a) {
    a.finita = true;
    s_.attesa_finita = true;
    if (a.ciclo) a.ciclo->quit();
}

void Protocollo::controlla(Attesa& a) {
    if (a.finita) return;
    try {
        if (porta_.InBufferCount() >= a.n) {
            porta_.setInputLen(a.n);
            a.risposta = porta_.Input();
            a.letta = true;
            termina(a);
        }
    } catch (const ErroreRuntime& e) {
        // Thrown out of the event loop it would be lost; the wait rethrows it.
        a.errore = e;
        termina(a);
    }
}

void Protocollo::riprendi(Attesa& a) {
    controlla(a);
    if (a.finita) return;
    const qint64 resto = a.scadenza - orologio_.elapsed();
    if (resto <= 0)
        termina(a);
    else
        Timer_Seriale.start(static_cast<int>(resto));
}

void Protocollo::Timer_Seriale_Timer() {
    s_.attesa_finita = true;
    if (attese_.empty()) return;
    Attesa& a = *attese_.back();
    const qint64 resto = a.scadenza - orologio_.elapsed();
    if (resto <= 0)
        termina(a);
    else // a timer can fire a little early; the wait lasts its whole time-out
        Timer_Seriale.start(static_cast<int>(resto));
}

std::vector<uint8_t> Protocollo::Leggi_risposta(int16_t n) {
    Attesa a;
    a.n = n < 1 ? int16_t{1} : n;
    const bool ricezione = s_.ricezione_abilitata;
    const ModoIngresso modo = porta_.InputMode();
    const int16_t lunghezza = porta_.InputLen();
    s_.ricezione_abilitata = false; // the receive event leaves the reply to us

    const int timeout = s_.timeout_attesa > 0 ? s_.timeout_attesa : 1;
    porta_.setInputMode(ModoIngresso::Binario);
    porta_.setInputLen(a.n);
    s_.attesa_finita = false;
    a.scadenza = orologio_.elapsed() + timeout;
    attese_.push_back(&a);
    Timer_Seriale.start(timeout);
    controlla(a);
    if (!a.finita) {
        QEventLoop ciclo;
        a.ciclo = &ciclo;
        ciclo.exec();
        a.ciclo = nullptr;
    }
    attese_.pop_back();
    Timer_Seriale.stop();
    s_.ricezione_abilitata = ricezione;
    porta_.setInputMode(modo);
    porta_.setInputLen(lunghezza);
    // A wait this one interrupted goes on with what is left of its time.
    if (!attese_.empty()) riprendi(*attese_.back());

    if (a.errore) throw *a.errore;
    if (!a.letta) return {0};
    return a.risposta;
}

uint8_t Protocollo::Leggi_byte() {
    return Leggi_risposta(1).at(0);
}

bool Protocollo::Verifica_porta() {
    try {
        if (!Open_comm(porta_)) return false;
        porta_persa_ = false;
        porta_.setDTREnable(true);
        porta_.setRTSEnable(true);
        Attendi_ms(static_cast<float>(attesa_apertura_ms));
        Svuota_ingresso();
        s_.timeout_attesa = 500;
        Invia_comando("$");
        Leggi_byte();
        Invia_comando("?");
        if (const auto r = Byte_a_stringa(Leggi_risposta(4)); r != "?YES") {
            qCInfo(lcProtocollo) << QStringLiteral("com%1:").arg(porta_.CommPort()) << "nessuna scheda risponde alla sonda (risposta"
                                 << QByteArray::fromStdString(r).toHex() << ")";
            return false;
        }
        const int16_t numero = porta_.CommPort();
        qCInfo(lcProtocollo) << QStringLiteral("scheda trovata su com%1").arg(numero);
        s_.stato_connessione = " connesso su com" + std::to_string(numero);
        salva_proprieta(QStringLiteral("CommPort"), QString::number(numero));
        return true;
    } catch (const ErroreRuntime& e) {
        qCWarning(lcProtocollo) << "sonda della porta non riuscita:" << errore_su(s_, porta_, e);
        servizi_.messaggio(e.descrizione);
        return false;
    }
}

void Protocollo::Rileva_tipo_scheda() {
    try {
        Svuota_ingresso();
        Invia_comando("$D");
        int tipo = 0;
        if (s_.seriale_attiva) {
            const auto r = Leggi_risposta(3);
            if (r.size() < 3)
                throw ErroreRuntime(ERR_NESSUNA_RISPOSTA,
                                    "La scheda non ha risposto alla richiesta del tipo: tipo di scheda non rilevato.");
            tipo = r[2];
        }
        if (s_.hid_attivo && hid_) {
            Attendi_ms(100);
            tipo = hid_->buffer_ricezione_hid()[2];
        }
        // One piece per status: a later detection replaces the earlier one.
        if (const auto p = s_.stato_connessione.find(PEZZO_TIPO); p != std::string::npos)
            s_.stato_connessione.erase(p);
        s_.stato_connessione += PEZZO_TIPO + std::to_string(tipo);
        const ScalaScheda sc = scala_per_tipo(tipo);
        s_.scala_posizione = sc.posizione;
        s_.scala_tempo = sc.tempo;
        qCInfo(lcProtocollo) << "scheda tipo" << tipo << (s_.hid_attivo ? "via USB" : "via seriale");
        if (!sc.riconosciuto) {
            qCWarning(lcProtocollo) << "tipo di scheda" << tipo << "sconosciuto: si usa il tipo 3";
            servizi_.messaggio(MSG_NON_RICONOSCIUTO);
        }
    } catch (const ErroreRuntime& e) {
        qCWarning(lcProtocollo) << "tipo di scheda non rilevato:" << errore_su(s_, porta_, e);
        servizi_.messaggio(e.descrizione);
    }
}

void Protocollo::Leggi_info_scheda() {
    try {
        Svuota_ingresso();
        porta_.Output("$i"); // the information block is asked on the serial port only
        const auto testa = Leggi_risposta(3);
        if (testa.size() == 3 && testa[2] == 2) {
            const auto blocco = Leggi_risposta(3);
            if (blocco.size() == 3) s_.tempo_campionamento = Byte_a_intero(blocco[1], blocco[2]);
        }
    } catch (const ErroreRuntime& e) {
        // A board that cannot tell its sampling time is still usable.
        qCWarning(lcProtocollo) << "blocco informazioni non letto:" << errore_su(s_, porta_, e);
    }
    Svuota_ingresso();
}

void Protocollo::Avvia_acquisizione() {
    // Without a link (the USB cable was pulled, no port found) nothing would
    // arrive: starting would only wipe the trial on screen and claim to run.
    if (!s_.seriale_attiva && !(s_.hid_attivo && hid_)) {
        qCWarning(lcProtocollo) << "avvio chiesto senza un collegamento con la scheda";
        servizi_.messaggio(MSG_NON_COLLEGATO, Icona::Critico, TITOLO_VEXA);
        servizi_.spegni_pulsante_start();
        return;
    }
    try {
        Svuota_ingresso();
        Invia_comando("$T");
        if (s_.seriale_attiva) {
            const auto r = Leggi_risposta(2);
            if (r.at(0) != '$') {
                qCWarning(lcProtocollo) << QStringLiteral("com%1:").arg(porta_.CommPort()) << "la scheda non risponde all'avvio (primo byte"
                                        << r.at(0) << ")";
                servizi_.messaggio(MSG_NON_COLLEGATO, Icona::Critico, TITOLO_VEXA);
                servizi_.spegni_pulsante_start();
                return;
            }
            porta_.setInputMode(ModoIngresso::Binario);
            porta_.setRThreshold(BYTE_BLOCCO_SERIALE);
            porta_.setInputLen(porta_.RThreshold());
            porta_.imposta_unita_ingresso(BYTE_RECORD_SERIALE);
            s_.ricezione_abilitata = true;
        }
        if (azzera_prova) azzera_prova();
        inquadramento_.ricomincia();
        scarti_noti_ = 0;
        riallineamenti_noti_ = 0;
        scarti_detti_ = false;
        s_.acquisizione_in_corso = true;
        s_.grafico_live = true;
        if (s_.seriale_attiva) Svuota_ingresso();
        Invia_comando("$F");
        if (s_.seriale_attiva) Leggi_risposta(2);
        azzera_tempi(s_);
        qCInfo(lcProtocollo) << "acquisizione avviata" << (s_.hid_attivo ? "via USB" : "via seriale");
    } catch (const ErroreRuntime& e) {
        // A start that could not reach the board is no acquisition.
        qCWarning(lcProtocollo) << "avvio dell'acquisizione non riuscito:" << errore_su(s_, porta_, e);
        s_.acquisizione_in_corso = false;
        servizi_.messaggio(e.descrizione);
        servizi_.spegni_pulsante_start();
    }
}

void Protocollo::Ferma_acquisizione() {
    // The records read before the stop belong to the set.
    pausa_.stop();
    rilascia_in_attesa();
    s_.acquisizione_in_corso = false;
    servizi_.spegni_pulsante_start();
    try {
        Invia_comando("$T");
        if (s_.seriale_attiva) Leggi_risposta(2);
        qCInfo(lcProtocollo) << "acquisizione fermata";
    } catch (const ErroreRuntime& e) {
        qCWarning(lcProtocollo) << "comando di arresto non inviato:" << errore_su(s_, porta_, e);
        // After a lost link the user has been told once already.
        if (!(porta_persa_ && e.numero == ERR_PORTA_CHIUSA)) servizi_.messaggio(e.descrizione);
    }
}

void Protocollo::Azzera_spostamento() {
    Ferma_acquisizione();
    Svuota_ingresso();
    try {
        Invia_comando("$Z");
        if (s_.seriale_attiva) Leggi_risposta(2);
    } catch (const ErroreRuntime& e) {
        qCWarning(lcProtocollo) << "azzeramento della posizione non inviato:" << errore_su(s_, porta_, e);
        if (!(porta_persa_ && e.numero == ERR_PORTA_CHIUSA)) servizi_.messaggio(e.descrizione);
    }
}

void Protocollo::Porta_OnComm(bool anche_l_ultimo) {
    if (in_ricezione_ || !(s_.ricezione_abilitata && s_.acquisizione_in_corso)) return;
    in_ricezione_ = true;
    struct Fine {
        bool& f;
        ~Fine() { f = false; }
    } fine{in_ricezione_};
    try {
        // Strictly more than one block: the newest one waits for the next byte.
        while (porta_.InBufferCount() > porta_.InputLen() - (anche_l_ultimo ? 1 : 0)) {
            const int lunghezza = porta_.InputLen();
            if (lunghezza < BYTE_RECORD_SERIALE || lunghezza % BYTE_RECORD_SERIALE != 0 ||
                lunghezza > BYTE_BUFFER_HID)
                return; // not the acquisition's input length: not sample blocks
            const auto b = porta_.Input();
            if (static_cast<int>(b.size()) < lunghezza) return;
            record_.clear();
            const int64_t prima = inquadramento_.record_in_passo();
            inquadramento_.aggiungi(b.data(), b.size(), record_);
            nota_scarti();
            // The label shows where the board says the load is now, held
            // records included; the screen draws it once per frame anyway.
            if (inquadramento_.record_in_passo() != prima) {
                const double mm = posizione_mm(inquadramento_.posizione_piu_recente(), s_.scala_posizione);
                servizi_.imposta_spostamento("Spost(cm)=  " + formatta(mm / 10, 0, separatore_));
            }
            consegna_record(lunghezza / BYTE_RECORD_SERIALE);
            if (!s_.acquisizione_in_corso) return;
            pausa_.start();
        }
    } catch (const ErroreRuntime& e) {
        // The port went away under us; the lost-link handler tells the user.
        qCWarning(lcProtocollo) << "evento di ricezione interrotto:" << errore_su(s_, porta_, e);
    }
}

void Protocollo::consegna_record(int per_blocco) {
    // Blocks as the input length cuts them, whatever the framing held back
    // and handed on at once.
    const int totale = static_cast<int>(record_.size()) / BYTE_RECORD_SERIALE;
    for (int da = 0; da < totale; da += per_blocco) {
        const int n = std::min(per_blocco, totale - da);
        double posizione[BYTE_BUFFER_HID / BYTE_RECORD_SERIALE];
        float dt[BYTE_BUFFER_HID / BYTE_RECORD_SERIALE];
        decodifica_seriale(record_.data() + static_cast<std::size_t>(da) * BYTE_RECORD_SERIALE, n, s_.scala_posizione,
                           s_.scala_tempo, posizione, dt);
        if (analisi_) analisi_->Elabora_blocco(n - 1, posizione, dt);
        if (!s_.acquisizione_in_corso) return;
    }
}

void Protocollo::rilascia_in_attesa() {
    // A stop reached from the analysis of a block must not read the next one
    // in the middle of it.
    if (in_ricezione_ || !(s_.acquisizione_in_corso && s_.seriale_attiva)) return;
    Porta_OnComm(true);
    if (!s_.acquisizione_in_corso) return;
    record_.clear();
    prendi_il_resto();
    inquadramento_.rilascia(record_);
    consegna_record(BYTE_BLOCCO_SERIALE / BYTE_RECORD_SERIALE);
}

void Protocollo::prendi_il_resto() {
    // Fewer bytes than a block raise no receive event: a set's last record
    // would wait in the port for a movement that may never come.
    const int16_t lunghezza = porta_.InputLen();
    if (lunghezza < BYTE_RECORD_SERIALE || lunghezza % BYTE_RECORD_SERIALE != 0 || lunghezza > BYTE_BUFFER_HID)
        return; // not the acquisition's input length
    try {
        const int resto = porta_.InBufferCount();
        if (resto <= 0 || resto >= lunghezza) return;
        porta_.setInputLen(static_cast<int16_t>(resto));
        std::vector<uint8_t> b;
        try {
            b = porta_.Input();
        } catch (...) {
            porta_.setInputLen(lunghezza);
            throw;
        }
        porta_.setInputLen(lunghezza);
        inquadramento_.aggiungi(b.data(), b.size(), record_);
        nota_scarti();
    } catch (const ErroreRuntime& e) {
        qCWarning(lcProtocollo) << "ultimi byte non letti:" << errore_su(s_, porta_, e);
    }
}

void Protocollo::nota_scarti() {
    const int64_t scartati = inquadramento_.byte_scartati();
    const int64_t ripresi = inquadramento_.riallineamenti();
    // One line per place where the records fell out of step and were found
    // again; a line that only babbles is said every few kilobytes meanwhile.
    const bool ripreso = ripresi != riallineamenti_noti_;
    if (!ripreso && scartati - scarti_noti_ < 4096) return;
    riallineamenti_noti_ = ripresi;
    if (scartati == scarti_noti_) {
        qCInfo(lcSeriale).noquote() << QStringLiteral("com%1:").arg(porta_.CommPort())
                                    << "record non consecutivi (record persi per strada): lettura ripresa"
                                    << "senza scartare byte";
        return;
    }
    qCWarning(lcSeriale).noquote() << QStringLiteral("com%1:").arg(porta_.CommPort()) << scartati - scarti_noti_
                                   << (ripreso ? "byte fuori passo scartati, la lettura dei record e' ripresa;"
                                               : "byte fuori passo scartati, si cerca ancora il passo dei record;")
                                   << scartati
                                   << "in tutto in questa acquisizione";
    scarti_noti_ = scartati;
    if (scarti_detti_) return;
    scarti_detti_ = true;
    const std::string testo =
        "Disturbi sulla linea seriale: " + std::to_string(scartati) +
        " byte non validi sono stati scartati e la lettura dei dati ha ritrovato il passo da sola.\n"
        "L'acquisizione prosegue; la ripetizione in corso in quel momento può risultare alterata.\n"
        "Se accade spesso, controllare il cavo e il connettore della scheda.";
    // Not from inside the receive event: a message box runs its own event
    // loop, and the next receive event would come into the middle of this one.
    QTimer::singleShot(0, this, [this, testo] { servizi_.messaggio(testo, Icona::Esclamazione, TITOLO_VEXA); });
}

void Protocollo::Collegamento_perso(const ErroreRuntime& e) {
    porta_persa_ = true;
    // What arrived before the cable went belongs to the set, the records the
    // framing still held for confirmation included.
    rilascia_in_attesa();
    const bool acquisendo = s_.acquisizione_in_corso;
    qCWarning(lcProtocollo) << "collegamento perso" << (acquisendo ? "durante l'acquisizione:" : ":")
                            << errore_su(s_, porta_, e);
    s_.acquisizione_in_corso = false;
    s_.stato_connessione = " collegamento perso su com" + std::to_string(porta_.CommPort());
    if (acquisendo) servizi_.spegni_pulsante_start();
    servizi_.imposta_titolo_principale(s_.titolo_programma + s_.stato_connessione);
    std::string testo = "Collegamento con la scheda perso.\n" + e.descrizione;
    if (acquisendo) testo += "\nAcquisizione interrotta: i dati già ricevuti sono conservati.";
    testo += "\nRicollegare la scheda e usare \"Auto set\" per ritrovarla.";
    servizi_.messaggio(testo, Icona::Esclamazione, TITOLO_VEXA);
    if (su_collegamento_perso) su_collegamento_perso();
}

} // namespace vexa
