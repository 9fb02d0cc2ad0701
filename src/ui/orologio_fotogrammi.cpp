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

void OrologioFotogrammi::regola(double ms) {
    costo_ms_ = costo_ms_ <= 0 ? ms : 0.8 * costo_ms_ + 0.2 * ms;
    const long periodo = std::lround(costo_ms_ / QUOTA_DISEGNO);
    timer_.setInterval(static_cast<int>(std::clamp<long>(periodo, PERIODO_MS, PERIODO_MASSIMO_MS)));
}

} // namespace vexa
