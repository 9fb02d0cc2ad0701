#include "porta_seriale.h"

#include "registro.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace vexa {

QString cartella_porte_predefinita() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/ports");
}

PortaSeriale::PortaSeriale(QObject* parent) : QObject(parent) {
    seriale_.setReadBufferSize(0);
    connect(&seriale_, &QSerialPort::readyRead, this, &PortaSeriale::dati_pronti);
    connect(&seriale_, &QSerialPort::errorOccurred, this, &PortaSeriale::errore_seriale);
}

PortaSeriale::~PortaSeriale() {
    // Nothing may call back into an owner that is being torn down.
    su_dati = nullptr;
    OnComm_ricezione = nullptr;
    su_perdita = nullptr;
    seriale_.close();
}

QString PortaSeriale::cartella_porte() const {
    return cartella_porte_.isEmpty() ? cartella_porte_predefinita() : cartella_porte_;
}

QString PortaSeriale::percorso_porta(int porta) const {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(porta);
#else
    const QString cartella = cartella_porte();
    if (QDir(cartella).exists()) {
        const QString voce = cartella + QStringLiteral("/com%1").arg(porta);
        return QFileInfo::exists(voce) ? voce : QString();
    }
    // A stable order, so a number keeps meaning the same adapter between runs.
    QStringList sistema;
    for (const auto& info : QSerialPortInfo::availablePorts()) sistema << info.systemLocation();
    std::sort(sistema.begin(), sistema.end());
    return porta >= 1 && porta <= sistema.size() ? sistema.at(porta - 1) : QString();
#endif
}

std::string PortaSeriale::dispositivo(int16_t porta) const {
    const QString percorso = percorso_porta(porta);
    if (percorso.isEmpty()) return {};
    const QFileInfo info(percorso);
    return (info.isSymLink() ? info.symLinkTarget() : percorso).toStdString();
}

void PortaSeriale::setCommPort(int16_t porta) {
    if (seriale_.isOpen()) throw ErroreRuntime(ERR_PORTA_GIA_APERTA, "Porta già aperta");
    if (porta < 1 || porta > 255) throw ErroreRuntime(ERR_PORTA_NON_VALIDA, "Numero di porta non valido");
    porta_ = porta;
}

std::string PortaSeriale::Settings() const {
    return campi_.velocita + ',' + campi_.parita + ',' + campi_.bit_dati + ',' + campi_.bit_stop;
}

void PortaSeriale::setSettings(const std::string& impostazioni) {
    CampiImpostazioni campi;
    if (!scomponi_impostazioni(impostazioni, campi))
        throw ErroreRuntime(ERR_VALORE_NON_VALIDO, "Valore della proprietà non valido: " + impostazioni);
    const CampiImpostazioni prima = campi_;
    campi_ = campi;
    if (seriale_.isOpen()) {
        try {
            applica_impostazioni();
        } catch (const ErroreRuntime&) {
            campi_ = prima;
            try {
                applica_impostazioni();
            } catch (const ErroreRuntime&) {
            }
            throw;
        }
    }
}

void PortaSeriale::applica_impostazioni() {
    bool ok = seriale_.setBaudRate(std::stoi(campi_.velocita));
    const int bit = std::stoi(campi_.bit_dati);
    ok = ok && bit >= 5 && seriale_.setDataBits(static_cast<QSerialPort::DataBits>(bit));
    QSerialPort::Parity p = QSerialPort::NoParity;
    switch (campi_.parita) {
    case 'e': p = QSerialPort::EvenParity; break;
    case 'o': p = QSerialPort::OddParity; break;
    case 'm': p = QSerialPort::MarkParity; break;
    case 's': p = QSerialPort::SpaceParity; break;
    default: break;
    }
    ok = ok && seriale_.setParity(p);
    const auto stop = campi_.bit_stop == "2"     ? QSerialPort::TwoStop
                      : campi_.bit_stop == "1.5" ? QSerialPort::OneAndHalfStop
                                                 : QSerialPort::OneStop;
    ok = ok && seriale_.setStopBits(stop);
    if (!ok) {
        const std::string dettaglio = seriale_.errorString().toStdString();
        seriale_.clearError();
        throw ErroreRuntime(ERR_IMPOSTAZIONI_PORTA,
                            "Impostazioni " + Settings() + " non accettate dalla porta: " + dettaglio);
    }
}

void PortaSeriale::setHandshaking(int16_t flusso) {
    if (flusso < FLUSSO_NESSUNO || flusso > FLUSSO_XON_RTS)
        throw ErroreRuntime(ERR_VALORE_NON_VALIDO, "Valore della proprietà non valido");
    const int16_t prima = flusso_;
    flusso_ = flusso;
    if (seriale_.isOpen()) {
        try {
            applica_flusso();
        } catch (const ErroreRuntime&) {
            flusso_ = prima;
            throw;
        }
    }
}

void PortaSeriale::applica_flusso() {
    // Qt has no XON/XOFF together with RTS/CTS; the hardware lines win, as they
    // are the ones that stop a board from overrunning the adapter.
    const auto controllo = flusso_ == FLUSSO_XON_XOFF ? QSerialPort::SoftwareControl
                           : flusso_ >= FLUSSO_RTS   ? QSerialPort::HardwareControl
                                                     : QSerialPort::NoFlowControl;
    if (!seriale_.setFlowControl(controllo)) {
        const std::string dettaglio = seriale_.errorString().toStdString();
        seriale_.clearError();
        throw ErroreRuntime(ERR_IMPOSTAZIONI_PORTA, "Controllo di flusso non accettato dalla porta: " + dettaglio);
    }
}

void PortaSeriale::applica_linea(bool dtr, bool attivo) {
    if (!seriale_.isOpen()) return;
    // With RTS/CTS flow control the driver owns RTS.
    if (!dtr && seriale_.flowControl() == QSerialPort::HardwareControl) return;
    const bool ok = dtr ? seriale_.setDataTerminalReady(attivo) : seriale_.setRequestToSend(attivo);
    if (ok) return;
    const auto errore = seriale_.error();
    const std::string dettaglio = seriale_.errorString().toStdString();
    seriale_.clearError();
    // A pseudo-terminal or a bare adapter has no modem lines: nothing to switch.
    if (errore == QSerialPort::UnsupportedOperationError) return;
    throw ErroreRuntime(ERR_IMPOSTAZIONI_PORTA, "Linea " + std::string(dtr ? "DTR" : "RTS") +
                                                    " non impostabile: " + dettaglio);
}

void PortaSeriale::setDTREnable(bool attivo) {
    dtr_ = attivo;
    applica_linea(true, attivo);
}

void PortaSeriale::setRTSEnable(bool attivo) {
    rts_ = attivo;
    applica_linea(false, attivo);
}

void PortaSeriale::setPortOpen(bool aperta) {
    if (!aperta) {
        seriale_.close();
        ingresso_.clear();
        return;
    }
    const std::string nome = "com" + std::to_string(porta_);
    if (seriale_.isOpen()) throw ErroreRuntime(ERR_PORTA_GIA_APERTA, "Porta già aperta");
    const QString percorso = percorso_porta(porta_);
    if (percorso.isEmpty()) throw ErroreRuntime(ERR_PORTA_NON_VALIDA, "Numero di porta non valido: " + nome);
    seriale_.setPortName(percorso);
    ingresso_.clear();
    if (!seriale_.open(QIODevice::ReadWrite)) {
        const auto errore = seriale_.error();
        const std::string dettaglio = seriale_.errorString().toStdString();
        seriale_.clearError();
        qCInfo(lcSeriale) << QString::fromStdString(nome) << percorso << "non si apre:" << QString::fromStdString(dettaglio);
        if (errore == QSerialPort::DeviceNotFoundError)
            throw ErroreRuntime(ERR_PORTA_NON_VALIDA, "Numero di porta non valido: " + nome);
        throw ErroreRuntime(ERR_PORTA_OCCUPATA, "Impossibile aprire " + nome + ": " + dettaglio);
    }
    try {
        applica_impostazioni();
        applica_flusso();
        applica_linea(true, dtr_);
        applica_linea(false, rts_);
    } catch (const ErroreRuntime& e) {
        qCWarning(lcSeriale) << QString::fromStdString(nome) << percorso
                             << "aperta ma impostazioni rifiutate:" << QString::fromStdString(e.descrizione);
        seriale_.close();
        throw;
    }
    qCInfo(lcSeriale) << QString::fromStdString(nome) << "aperta su" << percorso << QString::fromStdString(Settings());
    // Whatever the device held from before is not for us.
    seriale_.clear(QSerialPort::Input);
}

[[noreturn]] void PortaSeriale::chiusa() const {
    throw ErroreRuntime(ERR_PORTA_CHIUSA, "Porta com" + std::to_string(porta_) +
                                              " chiusa: operazione possibile solo con la porta aperta");
}

int PortaSeriale::InBufferCount() const {
    if (!seriale_.isOpen()) chiusa();
    return static_cast<int>(ingresso_.size());
}

std::vector<uint8_t> PortaSeriale::Input() {
    if (!seriale_.isOpen()) chiusa();
    const qsizetype n = lunghezza_ == 0 ? ingresso_.size() : std::min<qsizetype>(lunghezza_, ingresso_.size());
    std::vector<uint8_t> out(ingresso_.begin(), ingresso_.begin() + n);
    ingresso_.remove(0, n);
    return out;
}

void PortaSeriale::Output(const std::string& testo) {
    if (!seriale_.isOpen()) chiusa();
    const auto scritti = seriale_.write(testo.data(), static_cast<qint64>(testo.size()));
    if (scritti != static_cast<qint64>(testo.size())) {
        qCWarning(lcSeriale) << QStringLiteral("com%1:").arg(porta_) << "scrittura non riuscita:" << seriale_.errorString();
        throw ErroreRuntime(ERR_SCRITTURA, "Scrittura sulla porta non riuscita: " + seriale_.errorString().toStdString());
    }
}

void PortaSeriale::dati_pronti() {
    QByteArray arrivati = seriale_.readAll();
    if (scarta_nul_) arrivati.replace('\0', QByteArray());
    if (arrivati.isEmpty()) return;
    ingresso_.append(arrivati);
    if (ingresso_.size() > limite_) {
        // Nobody has read for a long while (a babbling board, a stuck program):
        // the oldest bytes go, and the log says how many.
        // Whole units, rounded up, so the cap still holds and the front stays
        // on a record's first byte.
        qsizetype persi = ingresso_.size() - limite_;
        persi = std::min(ingresso_.size(), (persi + unita_ - 1) / unita_ * unita_);
        byte_scartati_ += persi;
        ingresso_.remove(0, persi);
        qCWarning(lcSeriale) << QStringLiteral("com%1:").arg(porta_) << persi << "byte in ingresso scartati (non letti in tempo),"
                             << byte_scartati_ << "in tutto";
    }
    if (auto f = su_dati) f();
    // A handler above may have closed the port or drained the buffer.
    if (seriale_.isOpen() && soglia_ > 0 && ingresso_.size() >= soglia_)
        if (auto f = OnComm_ricezione) f();
}

void PortaSeriale::errore_seriale(QSerialPort::SerialPortError errore) {
    // An unplugged adapter gives ResourceError; a pseudo-terminal whose other end
    // hung up gives ReadError again and again without closing. Either way the
    // device is gone: close now so nothing spins on it.
    if (errore != QSerialPort::ResourceError && errore != QSerialPort::ReadError) return;
    if (!seriale_.isOpen()) return;
    qCWarning(lcSeriale) << QStringLiteral("com%1").arg(porta_) << seriale_.portName() << "perso:" << seriale_.errorString();
    const ErroreRuntime perdita(ERR_COLLEGAMENTO_PERSO,
                                "Collegamento con com" + std::to_string(porta_) + " perso: " +
                                    seriale_.errorString().toStdString());
    seriale_.close();
    seriale_.clearError();
    ingresso_.clear();
    // Waiting replies end at once (the port is closed now); the owner hears of
    // the loss after this signal has unwound, never inside QSerialPort's own call.
    if (auto f = su_dati) f();
    QTimer::singleShot(0, this, [this, perdita] {
        if (auto f = su_perdita) f(perdita);
    });
}

} // namespace vexa
