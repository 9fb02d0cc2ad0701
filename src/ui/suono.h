// The acoustic signal. The system beep is silent on most Linux desktops, and
// the coach relies on hearing each new falling-velocity peak, so a short tone
// is played through the audio output; without one the system beep is the
// fallback. Nothing here ever blocks or fails for lack of audio.
#pragma once

#include "analysis/controlli.h"

#include <QObject>

#include <memory>

namespace vexa {

class SuonoQt : public QObject, public ISuono {
    Q_OBJECT
public:
    // frequenza in Hz, durata in ms.
    explicit SuonoQt(QObject* parent = nullptr, int frequenza = 1760, int durata_ms = 60);
    ~SuonoQt() override;

    // Starts the tone, or does nothing while one is still sounding: a burst of
    // peaks merges into one tone instead of queueing behind the board.
    void beep() override;

    // Whether an audio output was found (otherwise the system beep is used).
    bool audio_disponibile() const;
    // Tones started and system beeps given, for the tests.
    int toni() const;
    int beep_di_sistema() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace vexa
