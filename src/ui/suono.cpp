#include "suono.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QByteArray>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>
#include <QtDebug>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vexa {

namespace {

// Without a ramp the first and last samples jump from and to silence, and the
// speaker answers with a click louder than the tone itself.
constexpr int RAMPA_MS = 5;
// The tone reaches the speaker this much after it is handed over; the next one
// waits for it, so a burst of peaks is a train of whole tones, not a stutter.
constexpr int CODA_MS = 80;
// What the sound server is asked to buffer ahead (the delay before a peak is
// heard), and the silence after each tone that fills that buffer and more.
constexpr int BUFFER_MS = 100;
constexpr int SILENZIO_MS = 150;
// An open stream keeps the sound server and the card awake: closed after this
// long without peaks.
constexpr int RIPOSO_MS = 3000;
// Loud enough to hear beside a rack, not so loud that it saturates small
// laptop speakers into a buzz.
constexpr double AMPIEZZA = 0.6;

QAudioFormat formato(int frequenza_campioni, int canali, QAudioFormat::SampleFormat campione) {
    QAudioFormat f;
    f.setSampleRate(frequenza_campioni);
    f.setChannelCount(canali);
    f.setSampleFormat(campione);
    return f;
}

// 16-bit PCM is what we generate first; a device that refuses it still gets
// its own preferred format, converted sample by sample below.
QAudioFormat scegli_formato(const QAudioDevice& dispositivo) {
    const QAudioFormat preferito = dispositivo.preferredFormat();
    const int frequenza = preferito.sampleRate() > 0 ? preferito.sampleRate() : 48000;
    const int canali = std::max(1, preferito.channelCount());
    for (const QAudioFormat& f :
         {formato(frequenza, 1, QAudioFormat::Int16),
          formato(frequenza, canali, QAudioFormat::Int16), formato(48000, 1, QAudioFormat::Int16),
          formato(44100, 1, QAudioFormat::Int16)}) {
        if (dispositivo.isFormatSupported(f)) return f;
    }
    return preferito;
}

void scrivi_campione(char* dove, QAudioFormat::SampleFormat tipo, double x) {
    switch (tipo) {
    case QAudioFormat::UInt8: {
        const auto v = static_cast<quint8>(std::lround(127.5 + x * 127.0));
        std::memcpy(dove, &v, sizeof v);
        break;
    }
    case QAudioFormat::Int16: {
        const auto v = static_cast<qint16>(std::lround(x * 32767.0));
        std::memcpy(dove, &v, sizeof v);
        break;
    }
    case QAudioFormat::Int32: {
        const auto v = static_cast<qint32>(std::lround(x * 2147483647.0));
        std::memcpy(dove, &v, sizeof v);
        break;
    }
    case QAudioFormat::Float: {
        const auto v = static_cast<float>(x);
        std::memcpy(dove, &v, sizeof v);
        break;
    }
    default:
        break;
    }
}

// The tone, then silence: a sound server holds a short stream back until its
// pre-buffer fills, and a tone shorter than that may never start at all.
QByteArray genera_tono(const QAudioFormat& f, int frequenza, int durata_ms) {
    const int per_campione = f.bytesPerSample();
    const int canali = f.channelCount();
    const int campioni = static_cast<int>(static_cast<qint64>(f.sampleRate()) * durata_ms / 1000);
    const int silenzio = static_cast<int>(static_cast<qint64>(f.sampleRate()) * SILENZIO_MS / 1000);
    if (per_campione <= 0 || canali <= 0 || campioni <= 0) return {};
    const int rampa = std::max(1, std::min(campioni / 4, f.sampleRate() * RAMPA_MS / 1000));

    QByteArray pcm(static_cast<qsizetype>(campioni + silenzio) * canali * per_campione, '\0');
    char* p = pcm.data();
    const double passo = 2.0 * std::numbers::pi * frequenza / f.sampleRate();
    for (int i = 0; i < campioni + silenzio; ++i) {
        double inviluppo = 0.0;
        if (i < rampa)
            inviluppo = static_cast<double>(i) / rampa;
        else if (i < campioni - rampa)
            inviluppo = 1.0;
        else if (i < campioni)
            inviluppo = static_cast<double>(campioni - 1 - i) / rampa;
        const double x = AMPIEZZA * inviluppo * std::sin(passo * i);
        for (int c = 0; c < canali; ++c, p += per_campione)
            scrivi_campione(p, f.sampleFormat(), x);
    }
    return pcm;
}

} // namespace

struct SuonoQt::Impl {
    int frequenza;
    int durata_ms;
    int toni = 0;
    int beep_di_sistema = 0;
    bool suona = false; // a tone or a system beep is in its time slot
    bool dispositivi_cambiati = false;
    bool guasta = false;  // the sink failed; the system beep stands in
    QElapsedTimer inizio; // when the current tone or beep began
    QMediaDevices* dispositivi = nullptr;
    QTimer riposo; // gives the stream back once the peaks stop
    QByteArray pcm;
    QAudioSink* uscita = nullptr;

    Impl(int f, int d) : frequenza(f), durata_ms(d) {
        riposo.setSingleShot(true);
        riposo.setInterval(RIPOSO_MS);
        QObject::connect(&riposo, &QTimer::timeout, [this] {
            if (uscita && !in_corso()) uscita->stop();
        });
    }
    ~Impl() { chiudi_uscita(); }

    bool in_corso() const { return suona && inizio.elapsed() < durata_ms + CODA_MS; }

    void chiudi_uscita() {
        riposo.stop();
        if (uscita) {
            QObject::disconnect(uscita, nullptr, nullptr, nullptr);
            uscita->stop();
            // The sink's destructor runs the event loop; from inside beep(), called
            // by the analysis, that would re-enter it.
            uscita->deleteLater();
            uscita = nullptr;
        }
    }

    void apri_uscita(QObject* proprietario) {
        chiudi_uscita();
        const QAudioDevice dispositivo = QMediaDevices::defaultAudioOutput();
        if (dispositivo.isNull()) return;
        const QAudioFormat f = scegli_formato(dispositivo);
        // Frequencies near Nyquist alias into a rasp; keep the tone well inside.
        const int nota = std::clamp(frequenza, 50, std::max(50, f.sampleRate() / 4));
        QByteArray nuovo = genera_tono(f, nota, durata_ms);
        if (nuovo.isEmpty()) return;
        pcm = std::move(nuovo);
        uscita = new QAudioSink(dispositivo, f);
        uscita->setBufferSize(f.bytesForDuration(qint64{BUFFER_MS} * 1000));
        QObject::connect(
            uscita, &QAudioSink::stateChanged, proprietario, [this](QAudio::State stato) {
                // Idle only means the tone has been handed to the sound server, not
                // that it has been heard: stopping there would cut it short.
                if (stato != QAudio::StoppedState || !uscita) return;
                const QAudio::Error e = uscita->error();
                if (e != QAudio::NoError && e != QAudio::UnderrunError && !guasta) {
                    qWarning("vexa: audio output failed (error %d); using the system beep",
                             static_cast<int>(e));
                    guasta =
                        true; // dropped on the next beep, not from inside the sink's own signal
                }
            });
    }
};

SuonoQt::SuonoQt(QObject* parent, int frequenza, int durata_ms)
    : QObject(parent),
      d_(std::make_unique<Impl>(frequenza > 0 ? frequenza : 1760,
                                std::clamp(durata_ms > 0 ? durata_ms : 60, 10, 2000))) {
    if (!QCoreApplication::instance()) return;
    d_->dispositivi = new QMediaDevices(this);
    connect(d_->dispositivi, &QMediaDevices::audioOutputsChanged, this,
            [this] { d_->dispositivi_cambiati = true; });
    d_->apri_uscita(this);
}

SuonoQt::~SuonoQt() = default;

void SuonoQt::beep() {
    Impl& d = *d_;
    // The common case during a burst: one clock read and back.
    if (d.in_corso()) return;

    if (d.guasta) {
        d.chiudi_uscita();
        d.guasta = false;
    }
    if (d.dispositivi_cambiati) {
        // Headphones plugged in or the sound server restarted: follow the new default.
        d.dispositivi_cambiati = false;
        d.apri_uscita(this);
    }

    d.inizio.start();
    d.suona = true;
    if (d.uscita) {
        // Pushed whole, in one call: a pulled tone is fed a slice per timer tick,
        // and a busy event loop starves it into a stutter. Starting closes the
        // previous, finished stream.
        QIODevice* flusso = d.uscita->start();
        if (flusso) flusso->write(d.pcm);
        const QAudio::Error e = d.uscita->error();
        if (flusso && !d.guasta && (e == QAudio::NoError || e == QAudio::UnderrunError)) {
            ++d.toni;
            d.riposo.start();
            return;
        }
        if (!d.guasta)
            qWarning("vexa: audio output cannot start (error %d); using the system beep",
                     static_cast<int>(e));
        d.guasta = false;
        d.chiudi_uscita();
    }
    // QApplication::beep needs the GUI side of the application; a console tool
    // that shares the analysis only counts.
    ++d.beep_di_sistema;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) QApplication::beep();
}

bool SuonoQt::audio_disponibile() const {
    return d_->uscita != nullptr && !d_->guasta;
}

int SuonoQt::toni() const {
    return d_->toni;
}

int SuonoQt::beep_di_sistema() const {
    return d_->beep_di_sistema;
}

} // namespace vexa
