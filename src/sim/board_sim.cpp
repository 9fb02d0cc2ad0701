#include "board_sim.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vexa::sim {

namespace {
QByteArray byte_di(std::initializer_list<char> b) {
    return QByteArray(b.begin(), static_cast<qsizetype>(b.size()));
}
} // namespace

bool leggi_guasto(const QString& nome, Guasto& g) {
    if (nome == QLatin1String("none")) g = Guasto::Nessuno;
    else if (nome == QLatin1String("silent")) g = Guasto::Muta;
    else if (nome == QLatin1String("bad-first-byte")) g = Guasto::PrimoByteErrato;
    else if (nome == QLatin1String("short-probe")) g = Guasto::SondaTroncata;
    else if (nome == QLatin1String("garbage")) g = Guasto::Spazzatura;
    else if (nome == QLatin1String("hangup")) g = Guasto::Riaggancio;
    else if (nome == QLatin1String("drop")) g = Guasto::Perdita;
    else return false;
    return true;
}

SchedaSimulata::SchedaSimulata(const OpzioniScheda& opzioni, QObject* parent)
    : QObject(parent), op_(opzioni) {
    serie_ = sintetizza(op_.serie, op_.tipo, Collegamento::Seriale);
    byte_ = byte_seriali(serie_.record);
    // Each record leaves the board once its step is over.
    const double ms_per_tick = static_cast<double>(scala_per_tipo(op_.tipo).tempo);
    double t = 0;
    istanti_.reserve(serie_.record.size());
    for (const auto& r : serie_.record) {
        t += std::fabs(static_cast<double>(r.intervallo)) * ms_per_tick;
        istanti_.push_back(t);
    }
    attesa_dollaro_.setSingleShot(true);
    attesa_dollaro_.setInterval(30);
    connect(&attesa_dollaro_, &QTimer::timeout, this, [this] {
        dollaro_ = false;
        comandi_ << QStringLiteral("$");
        rispondi(QByteArray("$"));
        emit comando_servito(QStringLiteral("$"));
    });
    flusso_.setInterval(5);
    flusso_.setTimerType(Qt::PreciseTimer);
    connect(&flusso_, &QTimer::timeout, this, &SchedaSimulata::passo_flusso);
}

SchedaSimulata::~SchedaSimulata() {
    chiudi();
}

bool SchedaSimulata::apri(QString* errore) {
    auto fallisci = [&](const char* dove) {
        if (errore) *errore = QStringLiteral("%1: %2").arg(QLatin1String(dove), QString::fromLocal8Bit(std::strerror(errno)));
        chiudi();
        return false;
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return fallisci("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fallisci("grantpt/unlockpt");
    const char* nome = ::ptsname(master_);
    if (!nome) return fallisci("ptsname");
    terminale_ = QString::fromLocal8Bit(nome);
    schiavo_ = ::open(nome, O_RDWR | O_NOCTTY);
    if (schiavo_ < 0) return fallisci("open");
    // Raw bytes both ways, as a serial line carries them.
    termios t{};
    if (::tcgetattr(schiavo_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(schiavo_, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    lettura_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(lettura_, &QSocketNotifier::activated, this, &SchedaSimulata::leggibile);
    scrittura_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    scrittura_->setEnabled(false);
    connect(scrittura_, &QSocketNotifier::activated, this, &SchedaSimulata::svuota_uscita);
    return true;
}

bool SchedaSimulata::collega(const QString& collegamento, QString* errore) {
    const QFileInfo info(collegamento);
    QDir().mkpath(info.absolutePath());
    if (info.isSymLink()) QFile::remove(collegamento);
    if (QFileInfo::exists(collegamento)) {
        if (errore) *errore = QStringLiteral("%1 esiste già e non è un collegamento").arg(collegamento);
        return false;
    }
    if (!QFile::link(terminale_, collegamento)) {
        if (errore) *errore = QStringLiteral("impossibile creare il collegamento %1").arg(collegamento);
        return false;
    }
    collegamento_ = collegamento;
    return true;
}

void SchedaSimulata::chiudi() {
    flusso_.stop();
    attesa_dollaro_.stop();
    delete lettura_;
    lettura_ = nullptr;
    delete scrittura_;
    scrittura_ = nullptr;
    if (!collegamento_.isEmpty() && QFileInfo(collegamento_).isSymLink()) QFile::remove(collegamento_);
    collegamento_.clear();
    if (schiavo_ >= 0) ::close(schiavo_);
    if (master_ >= 0) ::close(master_);
    schiavo_ = master_ = -1;
    uscita_.clear();
}

void SchedaSimulata::leggibile() {
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            for (ssize_t i = 0; i < n && master_ >= 0; ++i) servi(buf[i]);
            if (master_ < 0) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return; // EAGAIN: all read
    }
}

void SchedaSimulata::servi(char c) {
    if (dollaro_) {
        attesa_dollaro_.stop();
        dollaro_ = false;
        if (c == '?') { // "$?" in one go: the lone '$' is answered first
            rispondi(QByteArray("$"));
            comandi_ << QStringLiteral("$");
        } else {
            esegui(c);
            return;
        }
    }
    if (c == '$') {
        dollaro_ = true;
        attesa_dollaro_.start();
    } else if (c == '?') {
        comandi_ << QStringLiteral("?");
        rispondi(op_.guasto == Guasto::SondaTroncata ? QByteArray("?YE") : QByteArray("?YES"));
        emit comando_servito(QStringLiteral("?"));
    }
}

void SchedaSimulata::esegui(char lettera) {
    const QString nome = QStringLiteral("$") + QLatin1Char(lettera);
    const char primo = op_.guasto == Guasto::PrimoByteErrato ? '#' : '$';
    switch (lettera) {
    case 'T':
        flusso_.stop();
        rispondi(byte_di({primo, 'T'}));
        break;
    case 'F':
        rispondi(byte_di({primo, 'F'}));
        avvia_flusso();
        break;
    case 'Z':
        rispondi(byte_di({primo, 'Z'}));
        break;
    case 'D':
        rispondi(byte_di({'$', 'D', static_cast<char>(op_.tipo & 0xff)}));
        break;
    case 'i': {
        const int t = op_.tempo_campionamento;
        rispondi(byte_di({'$', 'i', 2, static_cast<char>(op_.maschera_canali), static_cast<char>(t & 0xff),
                          static_cast<char>((t >> 8) & 0xff)}));
        break;
    }
    default:
        return; // not a command of this board
    }
    comandi_ << nome;
    emit comando_servito(nome);
}

void SchedaSimulata::rispondi(const QByteArray& byte) {
    if (op_.guasto == Guasto::Muta || master_ < 0) return;
    uscita_.append(byte);
    svuota_uscita();
}

void SchedaSimulata::svuota_uscita() {
    while (!uscita_.isEmpty() && master_ >= 0) {
        const ssize_t n = ::write(master_, uscita_.constData(), static_cast<size_t>(uscita_.size()));
        if (n > 0) {
            uscita_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break; // the line is full: go on when it drains
    }
    if (scrittura_) scrittura_->setEnabled(!uscita_.isEmpty());
}

void SchedaSimulata::avvia_flusso() {
    prossimo_ = 0;
    guasto_fatto_ = false;
    da_saltare_ = 0;
    orologio_.start();
    flusso_.start();
}

void SchedaSimulata::invia_record(std::size_t da, std::size_t a) {
    std::size_t inizio = da * BYTE_RECORD_SERIALE;
    const std::size_t fine = a * BYTE_RECORD_SERIALE;
    const std::size_t saltati = std::min(da_saltare_, fine - std::min(inizio, fine));
    da_saltare_ -= saltati;
    inizio += saltati;
    if (inizio < fine)
        rispondi(QByteArray(reinterpret_cast<const char*>(&byte_[inizio]), static_cast<qsizetype>(fine - inizio)));
}

void SchedaSimulata::passo_flusso() {
    const double ora = static_cast<double>(orologio_.nsecsElapsed()) / 1e6 * op_.velocita;
    const std::size_t punto = static_cast<std::size_t>(static_cast<double>(istanti_.size()) * op_.punto_guasto);
    const std::size_t inizio = prossimo_;
    while (prossimo_ < istanti_.size() && istanti_[prossimo_] <= ora) {
        if (!guasto_fatto_ && prossimo_ >= punto) {
            if (op_.guasto == Guasto::Riaggancio) {
                guasto_fatto_ = true;
                invia_record(inizio, prossimo_);
                chiudi();
                emit riagganciata();
                return;
            }
            if (op_.guasto == Guasto::Spazzatura) {
                guasto_fatto_ = true;
                invia_record(inizio, prossimo_);
                // Bytes no record holds, as a noisy line makes them.
                static const char schema[] = "\xA5\x5A\xFF\x00\x7E\x13\xC6";
                QByteArray spuri;
                for (int i = 0; i < op_.byte_guasto; ++i) spuri.append(schema[i % 7]);
                rispondi(spuri);
                passo_flusso();
                return;
            }
            if (op_.guasto == Guasto::Perdita) {
                guasto_fatto_ = true;
                da_saltare_ = static_cast<std::size_t>(std::max(op_.byte_guasto, 0));
            }
        }
        ++prossimo_;
    }
    if (prossimo_ > inizio) invia_record(inizio, prossimo_);
    if (prossimo_ >= istanti_.size()) {
        flusso_.stop();
        emit flusso_finito();
    }
}

} // namespace vexa::sim
