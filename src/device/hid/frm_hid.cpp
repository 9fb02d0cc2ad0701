#include "frm_hid.h"

#include "analysis/analisi.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>

#include <algorithm>

#include "device/errore_runtime.h"

namespace vexa {

namespace {

char separatore_di_sistema() {
    const QString p = QLocale::system().decimalPoint();
    // Separators outside ASCII cannot go through the formatting helpers.
    return p.size() == 1 && p[0].unicode() < 128 ? static_cast<char>(p[0].unicode()) : '.';
}

} // namespace

frm_hid::frm_hid(Stato& stato, IServizi& servizi, std::unique_ptr<IBackendHid> backend,
                 ElaboraBlocco elabora_blocco, QWidget* parent)
    : QWidget(parent), lettura_(stato, servizi, std::move(elabora_blocco)), separatore(lettura_.separatore),
      stato_(stato), servizi_(servizi), backend_(std::move(backend)) {
    separatore = separatore_di_sistema();
    setObjectName(QStringLiteral("frm_hid"));
    Command1 = new QPushButton(QStringLiteral("$F"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("$T"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    auto* riga = new QHBoxLayout(this);
    riga->addWidget(Command1);
    riga->addWidget(Command2);
    connect(Command1, &QPushButton::clicked, this, &frm_hid::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frm_hid::Command2_Click);

    connect(backend_.get(), &IBackendHid::notifica, this, &frm_hid::Gestore_messaggi_hid);
    connect(backend_.get(), &IBackendHid::errore, this,
            [this](const QString& testo) { servizi_.messaggio(testo.toStdString(), Icona::Esclamazione); });
    Connetti_hid();
}

frm_hid::frm_hid(Stato& stato, IServizi& servizi, std::unique_ptr<IBackendHid> backend,
                 Analizzatore& analizzatore, QWidget* parent)
    : frm_hid(stato, servizi, std::move(backend),
              [&analizzatore](int n, const double* p, const float* dt) { analizzatore.Elabora_blocco(n, p, dt); },
              parent) {}

frm_hid::~frm_hid() {
    if (connesso_) Disconnetti_hid();
}

bool frm_hid::Connetti_hid() {
    connesso_ = true;
    return backend_->Connect();
}

bool frm_hid::Disconnetti_hid() {
    connesso_ = false;
    // Removals that happen from now on go unannounced; a board still there
    // is announced again, and judged again, at the next Connetti_hid.
    negata_ = 0;
    return backend_->Disconnect();
}

void frm_hid::Gestore_messaggi_hid(int evento, HandleHid handle) {
    switch (evento) {
    case HID_COLLEGATO: OnPlugged(handle); break;
    case HID_SCOLLEGATO: OnUnplugged(handle); break;
    case HID_CAMBIATO: OnChanged(); break;
    case HID_LEGGIBILE: OnRead(handle); break;
    default: break;
    }
}

bool frm_hid::e_la_scheda(HandleHid h) const {
    return backend_->GetVendorID(h) == VID_SCHEDA && backend_->GetProductID(h) == PID_SCHEDA;
}

void frm_hid::aggiorna_titolo() {
    servizi_.imposta_titolo_principale(stato_.titolo_programma + stato_.stato_connessione);
}

void frm_hid::OnPlugged(HandleHid handle) {
    if (!e_la_scheda(handle)) return;
    // Taken as the link, a board that cannot be opened would fail at the first
    // command, after start-up had already given up the serial port for it.
    if (!backend_->accessibile(handle)) {
        negata_ = handle;
        if (avvisa_accesso_negato && !negata_detta_) {
            negata_detta_ = true;
            servizi_.messaggio(testo_accesso_negato(false), Icona::Esclamazione, "Vexa Meter");
        }
        return;
    }
    stato_.hid_attivo = true;
    stato_.seriale_attiva = false;
    stato_.stato_connessione = " Connesso via HID";
    aggiorna_titolo();
}

void frm_hid::OnUnplugged(HandleHid handle) {
    if (handle != 0 && handle == negata_) {
        // It never was the link: whatever link is in use carries on.
        negata_ = 0;
        return;
    }
    if (!e_la_scheda(handle)) return;
    // The serial link stays off: no link is active until the board comes back.
    stato_.hid_attivo = false;
    stato_.stato_connessione = " Disconnesso";
    // A trial cut short by the cable has ended: say so, and keep what arrived.
    const bool acquisendo = stato_.acquisizione_in_corso;
    stato_.acquisizione_in_corso = false;
    aggiorna_titolo();
    if (acquisendo) {
        servizi_.spegni_pulsante_start();
        servizi_.messaggio("Scheda USB scollegata: acquisizione interrotta.\n"
                           "I dati già ricevuti sono conservati.",
                           Icona::Esclamazione, "Vexa Meter");
    }
}

void frm_hid::OnChanged() {
    // Reading is switched on here, for whatever handle the board has now. Not
    // for one that cannot be opened: the layer would try, and tell the user a
    // second time what start-up tells them already.
    const HandleHid h = backend_->GetHandle(VID_SCHEDA, PID_SCHEDA);
    if (h == 0 || h == negata_ || !backend_->accessibile(h)) return;
    backend_->SetReadNotify(h, true);
}

void frm_hid::OnRead(HandleHid handle) {
    backend_->LeggiLotto(
        handle,
        [this](const uint8_t* report) {
            // The buffer keeps the report whatever the state: type detection reads it.
            buffer_ricezione_hid_[0] = 0;
            std::copy(report, report + BYTE_REPORT_INGRESSO, buffer_ricezione_hid_.begin() + 1);
            lettura_.elabora_report(buffer_ricezione_hid_);
        },
        MAX_REPORT_PER_LETTURA);
}

std::string frm_hid::testo_accesso_negato() const {
    if (!accesso_negato()) return {};
    return testo_accesso_negato(true);
}

std::string frm_hid::testo_accesso_negato(bool all_avvio) const {
    std::string t = "Scheda USB trovata, ma l'accesso è negato: il dispositivo hidraw può essere aperto "
                    "solo dall'amministratore.\n"
                    "Installare la regola udev 70-vexameter.rules (vedere docs/hid.md), poi scollegare e "
                    "ricollegare la scheda.";
    t += all_avvio ? "\nSi prosegue con la porta seriale." : "\nFino ad allora la scheda non viene usata.";
    return t;
}

void frm_hid::prepara_invio(const std::string& comando) {
    if (comando.size() > BYTE_BUFFER_INVIO - 1)
        throw ErroreRuntime(ERR_COMANDO_TROPPO_LUNGO,
                            "Comando troppo lungo per la scheda USB (al massimo 8 caratteri): " + comando);
    // Every byte is rewritten: the tail of an earlier, longer command would
    // otherwise reach the board as part of this one.
    buffer_invio_hid_.fill(0);
    for (std::size_t i = 0; i < comando.size(); ++i)
        buffer_invio_hid_[i + 1] = static_cast<uint8_t>(comando[i]);
}

void frm_hid::HID_invia_stringa(const std::string& comando) {
    prepara_invio(comando);
    WriteSomeData();
}

void frm_hid::WriteSomeData() {
    // A command that reached no board must not look sent: the caller (a start of
    // acquisition, say) would go on as if the board had it.
    if (!backend_->WriteEx(VID_SCHEDA, PID_SCHEDA, buffer_invio_hid_.data()))
        throw ErroreRuntime(ERR_HID_NON_INVIATO,
                            "Comando non inviato: la scheda USB non è collegata o non è accessibile.");
}

void frm_hid::invia_da_pulsante(const char* comando) {
    try {
        prepara_invio(comando);
        WriteSomeData();
    } catch (const ErroreRuntime& e) {
        servizi_.messaggio(e.descrizione, Icona::Esclamazione);
    }
}

void frm_hid::Command1_Click() { invia_da_pulsante("$F"); }

void frm_hid::Command2_Click() { invia_da_pulsante("$T"); }

} // namespace vexa
