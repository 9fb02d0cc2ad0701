// A graph's display clock. Appended points only wait; one tick about every
// 16 ms moves what arrived into the plots and redraws once, so a fast board
// costs one redraw per frame, never one per record. Nothing to draw, no tick.
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

namespace vexa {

class OrologioFotogrammi {
public:
    explicit OrologioFotogrammi(std::function<void()> fotogramma);

    // A tick within the period, unless one is already due.
    void avvia() {
        if (!timer_.isActive()) timer_.start();
    }
    void ferma() { timer_.stop(); }

    // Redraws, timed with the painting included: the period follows what a
    // frame costs the UI thread, in its own processor time; the wall clock
    // would also count the board's reader and every other program taking
    // turns on the same cores.
    template <class F> void misura(F&& ridisegno) {
        const double t0 = ms_processore();
        ridisegno();
        regola(ms_processore() - t0);
    }
    // The calling thread's processor time (ms), or the wall clock where the
    // system keeps none per thread.
    static double ms_processore();

    // 16 ms, longer while a frame costs more than a small share of the UI thread.
    int intervallo_ms() const { return timer_.interval(); }

private:
    void regola(double ms);
    // Until frames are measured, one is taken to cost what the period allows.
    static double costo_iniziale_ms();

    QTimer timer_;
    double costo_ms_ = costo_iniziale_ms(); // smoothed cost of a frame
};

} // namespace vexa
