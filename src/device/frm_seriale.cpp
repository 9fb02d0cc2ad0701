#include "frm_seriale.h"

#include "registro.h"

#include "archivio_porta.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vexa {

namespace {

constexpr int PORTE_IN_LISTA = 16;
constexpr int16_t ULTIMA_PORTA_CERCATA = 30;
const char* const VELOCITA[] = {"110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",  "14400",
                                "19200", "28800", "38400", "56000", "57600",  "115200", "128000", "256000"};
const char* const PARITA[] = {"Even", "Odd", "Nessuna", "Mark", "Space"};
const char* const BIT_DATI[] = {"4", "5", "6", "7", "8"};
const char* const BIT_STOP[] = {"1", "1,5", "2"};
const char* const FLUSSO[] = {"Nessuno", "Xon/Xoff", "RTS", "Xon/RTS"};

// The leading number of a stored text, 0 when there is none.
int numero_iniziale(const QString& testo) {
    const QString t = testo.trimmed();
    int i = 0;
    while (i < t.size() && t.at(i).isDigit()) ++i;
    return i == 0 || i > 5 ? 0 : t.left(i).toInt();
}

} // namespace

frm_seriale::frm_seriale(Stato& stato, IPorta& porta, Protocollo& protocollo, IServizi& servizi,
                         QWidget* parent)
    : QDialog(parent), s_(stato), porta_(porta), protocollo_(protocollo), servizi_(servizi) {
    setWindowTitle(QStringLiteral("Proprietà porta di comunicazione"));

    cboPort = new QComboBox;
    cboSpeed = new QComboBox;
    cboDataBits = new QComboBox;
    cboParity = new QComboBox;
    cboStopBits = new QComboBox;
    cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdCancel = new QPushButton(QStringLiteral("Annulla"));
    Cmd_Auto = new QPushButton(QStringLiteral("Auto set"));
    Cmd_test = new QPushButton(QStringLiteral("TEST Scheda"));
    Lbl_info = new QLabel;

    auto* impostazioni = new QGroupBox(QStringLiteral("Impostazioni connessione"));
    auto* griglia = new QGridLayout(impostazioni);
    griglia->addWidget(new QLabel(QStringLiteral("Porta:")), 0, 0);
    griglia->addWidget(cboPort, 0, 1);
    griglia->addWidget(new QLabel(QStringLiteral("Bit di dati:")), 1, 0);
    griglia->addWidget(cboDataBits, 1, 1);
    griglia->addWidget(new QLabel(QStringLiteral("Parità:")), 2, 0);
    griglia->addWidget(cboParity, 2, 1);
    griglia->addWidget(new QLabel(QStringLiteral("Bit di stop:")), 3, 0);
    griglia->addWidget(cboStopBits, 3, 1);

    auto* velocita = new QGroupBox(QStringLiteral("Velocità massima"));
    (new QVBoxLayout(velocita))->addWidget(cboSpeed);

    auto* flusso = new QGroupBox(QStringLiteral("&Controllo di flusso"));
    auto* colonna = new QVBoxLayout(flusso);
    for (int i = 0; i < 4; ++i) {
        optFlow[static_cast<std::size_t>(i)] = new QRadioButton(QString::fromUtf8(FLUSSO[i]));
        colonna->addWidget(optFlow[static_cast<std::size_t>(i)]);
        connect(optFlow[static_cast<std::size_t>(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) flusso_ = static_cast<int16_t>(i);
        });
    }

    auto* pulsanti = new QHBoxLayout;
    pulsanti->addWidget(Cmd_Auto);
    pulsanti->addWidget(Cmd_test);
    pulsanti->addStretch();
    pulsanti->addWidget(cmdOK);
    pulsanti->addWidget(cmdCancel);

    auto* principale = new QVBoxLayout(this);
    auto* riga = new QHBoxLayout;
    riga->addWidget(impostazioni);
    auto* destra = new QVBoxLayout;
    destra->addWidget(velocita);
    destra->addWidget(flusso);
    riga->addLayout(destra);
    principale->addLayout(riga);
    principale->addWidget(Lbl_info);
    principale->addLayout(pulsanti);

    connect(cmdOK, &QPushButton::clicked, this, &frm_seriale::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frm_seriale::cmdCancel_Click);
    connect(Cmd_Auto, &QPushButton::clicked, this, &frm_seriale::Cmd_Auto_Click);
    connect(Cmd_test, &QPushButton::clicked, this, &frm_seriale::Cmd_test_Click);

    // Window load.
    adjustSize();
    if (const QScreen* schermo = QGuiApplication::primaryScreen()) {
        const QRect area = schermo->geometry();
        move((area.width() - width()) / 2, (area.height() - height()) / 2);
    }
    Leggi_impostazioni();
    LoadPropertySettings();
}

void frm_seriale::Leggi_impostazioni() {
    const QString impostazioni = leggi_proprieta(QStringLiteral("Settings"));
    try {
        if (!impostazioni.isEmpty()) porta_.setSettings(impostazioni.toStdString());
        const int numero = numero_iniziale(leggi_proprieta(QStringLiteral("CommPort")));
        if (numero != 0) porta_.setCommPort(static_cast<int16_t>(numero));
        porta_.setHandshaking(FLUSSO_NESSUNO);
    } catch (const ErroreRuntime& e) {
        servizi_.messaggio(e.descrizione, Icona::Esclamazione);
        return;
    }
    porta_.setNullDiscard(false);
}

void frm_seriale::riempi_liste() {
    for (int i = 1; i <= PORTE_IN_LISTA; ++i) cboPort->addItem(QString(), i);
    for (const char* v : VELOCITA) cboSpeed->addItem(QString::fromLatin1(v));
    for (const char* v : BIT_DATI) cboDataBits->addItem(QString::fromLatin1(v));
    for (const char* v : PARITA) cboParity->addItem(QString::fromLatin1(v));
    for (const char* v : BIT_STOP) cboStopBits->addItem(QString::fromLatin1(v));
    liste_piene_ = true;
}

void frm_seriale::aggiorna_nomi_porte() {
    // What each number stands for changes as adapters come and go.
    for (int i = 0; i < cboPort->count(); ++i) {
        const auto numero = static_cast<int16_t>(cboPort->itemData(i).toInt());
        const std::string dispositivo = porta_.dispositivo(numero);
        QString testo = QStringLiteral("Com%1").arg(numero);
        if (!dispositivo.empty()) testo += QStringLiteral("  (%1)").arg(QString::fromStdString(dispositivo));
        cboPort->setItemText(i, testo);
    }
}

void frm_seriale::seleziona_porta(int16_t numero) {
    int i = cboPort->findData(static_cast<int>(numero));
    if (i < 0) {
        // A port beyond the list (the search reaches 30) still shows.
        cboPort->addItem(QString(), static_cast<int>(numero));
        i = cboPort->count() - 1;
    }
    aggiorna_nomi_porte();
    cboPort->setCurrentIndex(i);
}

void frm_seriale::LoadPropertySettings() {
    if (!liste_piene_) riempi_liste();
    CampiImpostazioni c;
    if (scomponi_impostazioni(porta_.Settings(), c)) {
        const QString velocita = QString::fromStdString(c.velocita);
        int i = cboSpeed->findText(velocita);
        if (i < 0) { // a stored speed the list lacks still shows
            cboSpeed->addItem(velocita);
            i = cboSpeed->count() - 1;
        }
        cboSpeed->setCurrentIndex(i);
        const int p = static_cast<int>(std::string("eonms").find(c.parita));
        if (p >= 0 && p < cboParity->count()) cboParity->setCurrentIndex(p);
        cboDataBits->setCurrentIndex(cboDataBits->findText(QString::fromStdString(c.bit_dati)));
        cboStopBits->setCurrentIndex(cboStopBits->findText(c.bit_stop == "1.5" ? QStringLiteral("1,5")
                                                                                : QString::fromStdString(c.bit_stop)));
    }
    seleziona_porta(porta_.CommPort());
    const int16_t flusso = porta_.Handshaking();
    if (flusso >= 0 && flusso < 4) {
        optFlow[static_cast<std::size_t>(flusso)]->setChecked(true);
        flusso_ = flusso;
    }
}

bool frm_seriale::Open_comm() {
    return vexa::Open_comm(porta_);
}

bool frm_seriale::acquisizione_da_fermare() {
    if (!s_.acquisizione_in_corso) return false;
    // Reopening or probing the port under a running acquisition would cut the
    // stream and mix commands into it.
    servizi_.messaggio(MSG_FERMARE_ACQUISIZIONE, Icona::Esclamazione);
    return true;
}

void frm_seriale::cmdOK_Click() {
    const int16_t vecchia = porta_.CommPort();
    const auto nuova = static_cast<int16_t>(cboPort->currentData().toInt());
    QString stop = cboStopBits->currentText().trimmed();
    if (stop == QStringLiteral("1,5")) stop = QStringLiteral("1.5");
    const QString impostazioni = cboSpeed->currentText().trimmed() + ',' + cboParity->currentText().left(1) + ',' +
                                 cboDataBits->currentText().trimmed() + ',' + stop;
    // The port keeps the parity letter in lower case.
    const bool cambia = vecchia != nuova || flusso_ != porta_.Handshaking() ||
                        impostazioni.compare(QString::fromStdString(porta_.Settings()), Qt::CaseInsensitive) != 0;
    if (cambia && acquisizione_da_fermare())
        return;
    if (vecchia != nuova) {
        try {
            const bool riapri = porta_.PortOpen();
            if (riapri) porta_.setPortOpen(false);
            porta_.setCommPort(nuova);
            if (riapri) porta_.setPortOpen(true);
        } catch (const ErroreRuntime& e) {
            servizi_.messaggio(e.descrizione, Icona::Esclamazione);
            try {
                porta_.setCommPort(vecchia);
            } catch (const ErroreRuntime& e2) {
                qCWarning(lcSeriale) << QStringLiteral("porta com%1").arg(vecchia) << "non ripristinata:" << QString::fromStdString(e2.descrizione);
            }
            return;
        }
    }
    try {
        porta_.setSettings(impostazioni.toStdString());
        porta_.setHandshaking(flusso_);
    } catch (const ErroreRuntime& e) {
        servizi_.messaggio(e.descrizione, Icona::Esclamazione);
        return;
    }
    salva_proprieta(QStringLiteral("Settings"), QString::fromStdString(porta_.Settings()));
    salva_proprieta(QStringLiteral("CommPort"), QString::number(porta_.CommPort()));
    salva_proprieta(QStringLiteral("Handshaking"), QString::number(flusso_));
    salva_proprieta(QStringLiteral("Echo"), QStringLiteral("False"));
    hide();
}

void frm_seriale::cmdCancel_Click() {
    hide();
}

void frm_seriale::reject() {
    hide();
}

void frm_seriale::closeEvent(QCloseEvent* e) {
    // Closing would end the serial link: the window only hides.
    e->ignore();
    hide();
}

void frm_seriale::Cmd_Auto_Click() {
    // The probes keep events flowing; a second click meanwhile would close the
    // port under the probe that is running.
    if (ricerca_in_corso_ || acquisizione_da_fermare()) return;
    ricerca_in_corso_ = true;
    bool trovata = false;
    int16_t numero = 1;
    for (; numero <= ULTIMA_PORTA_CERCATA; ++numero) {
        Lbl_info->setText(QStringLiteral("Connessione a com%1").arg(numero));
        if (Lbl_info->isVisible()) Lbl_info->repaint();
        // One port that cannot be closed, numbered or opened is no reason to stop.
        try {
            porta_.setPortOpen(false);
        } catch (const ErroreRuntime& e) {
            qCDebug(lcSeriale) << QStringLiteral("ricerca: com%1").arg(porta_.CommPort()) << "non chiusa:" << QString::fromStdString(e.descrizione);
        }
        try {
            porta_.setCommPort(numero);
        } catch (const ErroreRuntime& e) {
            qCDebug(lcSeriale) << QStringLiteral("ricerca: com%1").arg(numero) << "non selezionata:" << QString::fromStdString(e.descrizione);
        }
        try {
            porta_.setPortOpen(true);
        } catch (const ErroreRuntime& e) {
            qCDebug(lcSeriale) << QStringLiteral("ricerca: com%1").arg(numero) << "non aperta:" << QString::fromStdString(e.descrizione);
        }
        if (porta_.PortOpen() && protocollo_.Verifica_porta()) {
            trovata = true;
            break;
        }
    }
    if (trovata) {
        qCInfo(lcSeriale) << QStringLiteral("ricerca: scheda su com%1").arg(numero);
        servizi_.beep();
        LoadPropertySettings();
        Lbl_info->setText(QStringLiteral("Scheda connessa su com%1").arg(numero));
        protocollo_.Rileva_tipo_scheda();
        hide();
    } else {
        qCWarning(lcSeriale) << "ricerca: nessuna scheda sulle porte da 1 a" << ULTIMA_PORTA_CERCATA;
        Lbl_info->setText(QStringLiteral("Scheda non trovata!"));
    }
    Cmd_Auto->setText(QStringLiteral("Auto Set"));
    servizi_.imposta_titolo_principale(s_.titolo_programma + s_.stato_connessione);
    ricerca_in_corso_ = false;
}

void frm_seriale::Cmd_test_Click() {
    if (acquisizione_da_fermare()) return;
    protocollo_.Rileva_tipo_scheda();
    servizi_.imposta_titolo_principale(s_.titolo_programma + s_.stato_connessione);
}

} // namespace vexa
