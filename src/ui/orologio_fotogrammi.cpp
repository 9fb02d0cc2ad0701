#include "orologio_fotogrammi.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace vexa {

namespace {

// About 60 frames a second: fast enough to look live, slow enough that a board
// at 8,000 records a second lands in batches of a hundred or more per plot.
constexpr int PERIODO_MS = 16;
// A graph's redraws may take at most this share of the UI thread: where one
// costs more (a slow machine, a dense trace at the wire rate) the clock slows
// down, to no fewer than 10 frames a second, instead of the UI falling behind.
constexpr double QUOTA_DISEGNO = 0.08;
constexpr int PERIODO_MASSIMO_MS = 100;
// The cost is followed over about twenty frames, a third of a second: one
// frame that draws everything anew (a new set, a resize) does not slow the
// frames after it, a cost that lasts does within a fraction of a second.
constexpr double PESO_FOTOGRAMMA = 0.05;

} // namespace

OrologioFotogrammi::OrologioFotogrammi(std::function<void()> fotogramma) {
    timer_.setSingleShot(true);
    timer_.setInterval(PERIODO_MS);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(fotogramma));
}

double OrologioFotogrammi::ms_processore() {
#ifdef CLOCK_THREAD_CPUTIME_ID
    timespec t{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) == 0)
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
#endif
    static QElapsedTimer orologio;
    if (!orologio.isValid()) orologio.start();
    return static_cast<double>(orologio.nsecsElapsed()) / 1e6;
}

double OrologioFotogrammi::costo_iniziale_ms() { return PERIODO_MS * QUOTA_DISEGNO; }

void OrologioFotogrammi::regola(double ms) {
    costo_ms_ = (1 - PESO_FOTOGRAMMA) * costo_ms_ + PESO_FOTOGRAMMA * ms;
    const long periodo = std::lround(costo_ms_ / QUOTA_DISEGNO);
    timer_.setInterval(static_cast<int>(std::clamp<long>(periodo, PERIODO_MS, PERIODO_MASSIMO_MS)));
}

} // namespace vexa
