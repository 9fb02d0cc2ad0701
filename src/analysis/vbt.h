// Velocity-based training figures: the mean propulsive velocity, the mean and
// peak power, and the velocity loss within the set, from the very samples the
// repetition analysis sees (docs/indici_vbt.md defines each one). A sample
// costs the live path three stores; a repetition's figures are worked out once,
// when it is listed, and nothing is allocated.
#pragma once

#include "stato.h"

#include <array>
#include <cstdint>

namespace vexa {

inline constexpr double GRAVITA = 9.81; // m/s²
// Acceleration is taken over at least this long (s): step to step, the
// jitter of a real sensor would decide where the propulsive phase ends.
inline constexpr double FINESTRA_ACCELERAZIONE = 0.020;

// (migliore - vmedia) / migliore × 100; 0 when there is no best yet.
double perdita_velocita(float migliore, float vmedia);
// Whether a loss reaches the threshold (never when the threshold is 0). A
// loss a billionth of a percent short still counts: a loss that is exactly
// the threshold on paper must not be missed through binary rounding (0.57 ×
// 100 comes out 56.99999999999999).
bool soglia_raggiunta(double perdita, float soglia);

// What the figures drive besides the values list: the window of the figures,
// the stop alert and its tone. The values list and Stato::indici_vbt are
// already up to date when it is called.
class IPannelloVbt {
public:
    virtual ~IPannelloVbt() = default;
    // A repetition has been listed with these figures.
    virtual void aggiungi(const IndiciVbt& indici) = 0;
    // The values list has been emptied: a new trial.
    virtual void cancella() = 0;
    // The loss of this repetition reached the athlete's threshold: stop the
    // set. Once per trial.
    virtual void stop(const IndiciVbt& indici) = 0;
};

// The part of the figures that follows the samples. Each sample is only
// written down (three numbers in a fixed ring, nothing else on the live path);
// the figures of a repetition are worked out from its concentric phase when
// it is listed, once per repetition. Nothing is allocated.
class CalcoloVbt {
public:
    // Every sample, first thing: its position (mm), velocity (mm/s) and the
    // movement time after it (s).
    void campione(double posizione, float velocita, float tempo) {
        anello_[n_ & MASCHERA] = {tempo, velocita, static_cast<float>(posizione)};
        ++n_;
    }
    // The sample just given was a change of direction or a counted top: the
    // next concentric phase begins after it.
    void nuova_fase() { inizio_fase_ = n_; }
    // The time base restarts after the sample just given: nothing before it
    // is looked back at for an acceleration again. The analysis says so at
    // the first counted top; a new acquisition needs nothing, as what comes
    // before its first top is never listed, and a replay that starts at that
    // top calls azzera().
    void nuova_base() { base_ = n_; }
    void azzera() {
        nuova_base();
        nuova_fase();
    }

    // The figures of repetition P, numbered n, whose concentric phase is the
    // samples given since the last nuova_fase, the last of them its top. The
    // loss is left at 0: it belongs to the trial, not to the samples.
    IndiciVbt indici(const Ripetizione& P, int32_t n, float carico_kg) const;
    // The same with a top still to come: a sample at rest where the last one
    // stands, in the same movement time, as a bar held at the top gives.
    IndiciVbt indici_con_cima_ferma(const Ripetizione& P, int32_t n, float carico_kg) const;

    bool fase_vuota() const { return n_ == inizio_fase_; }
    // The last sample given (position as the analysis stores it, in Single).
    float ultima_posizione() const { return n_ ? anello_[(n_ - 1) & MASCHERA].posizione : 0; }
    float ultimo_tempo() const { return n_ ? anello_[(n_ - 1) & MASCHERA].tempo : 0; }

private:
    struct Grezzo {
        float tempo, velocita, posizione;
    };
    IndiciVbt calcola(const Ripetizione& P, int32_t n, float carico_kg, const Grezzo* cima) const;

    // The time base so far, newest last: the phase and the 20 ms before it.
    // A rise of more steps than this is beyond any board (16 m in 1 mm
    // steps); past it, the figures come from its last part, and the first
    // samples kept take their accelerations from what the ring still holds.
    static constexpr std::size_t CAPACITA = 16384;
    static constexpr uint64_t MASCHERA = CAPACITA - 1;
    std::array<Grezzo, CAPACITA> anello_{};
    uint64_t n_ = 0;           // samples given
    uint64_t base_ = 0;        // the first of the time base
    uint64_t inizio_fase_ = 0; // the first of the concentric phase
};

} // namespace vexa
