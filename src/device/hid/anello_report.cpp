#include "anello_report.h"

#include <algorithm>
#include <bit>

namespace vexa {

AnelloReport::AnelloReport(std::size_t capacita)
    : maschera_(std::bit_ceil(std::max<std::size_t>(capacita, 2)) - 1),
      slot_(std::make_unique<Report[]>(maschera_ + 1)) {}

bool AnelloReport::metti(const uint8_t* dati, std::size_t n) {
    if (!aperto()) return false;
    const std::size_t t = testa_.load(std::memory_order_relaxed);
    // Acquire: the consumer has finished copying out the slot about to be reused.
    if (t - coda_.load(std::memory_order_acquire) > maschera_) {
        persi_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    Report& r = slot_[t & maschera_];
    const std::size_t k = std::min(n, BYTE_REPORT);
    std::copy(dati, dati + k, r.begin());
    std::fill(r.begin() + static_cast<std::ptrdiff_t>(k), r.end(), uint8_t{0});
    testa_.store(t + 1, std::memory_order_seq_cst);
    return true;
}

bool AnelloReport::togli(uint8_t* report64) {
    const std::size_t c = coda_.load(std::memory_order_relaxed);
    if (c == testa_.load(std::memory_order_acquire)) return false;
    const Report& r = slot_[c & maschera_];
    std::copy(r.begin(), r.end(), report64);
    coda_.store(c + 1, std::memory_order_release);
    return true;
}

void AnelloReport::scarta() { coda_.store(testa_.load(std::memory_order_acquire), std::memory_order_release); }

std::size_t AnelloReport::in_attesa() const {
    // The tail first: the head it is compared with can only be newer, so the
    // difference never goes negative whichever thread asks.
    const std::size_t c = coda_.load(std::memory_order_acquire);
    return testa_.load(std::memory_order_seq_cst) - c;
}

} // namespace vexa
