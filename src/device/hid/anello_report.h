// The hand-over of one device's input reports from its reader thread to the
// UI thread: a fixed ring of 64-byte reports with one producer and one
// consumer, no lock and no allocation after construction.
//
// The reader must never wait on the UI: the kernel keeps only 64 reports per
// open device and, when they are not read in time, drops the newer ones
// without telling anybody. So when the UI has fallen a whole ring behind, the
// ring drops the new report itself and counts it, and the UI side can say so.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vexa {

class AnelloReport {
public:
    static constexpr std::size_t BYTE_REPORT = 64;
    // About four seconds of the board at its full rate of 1,000 reports a
    // second: room for the UI thread to be busy with something else (a file
    // saved, a window drawn) without a sample lost.
    static constexpr std::size_t CAPACITA = 4096;

    // `capacita` is rounded up to a power of two (at least 2). A new ring is open.
    explicit AnelloReport(std::size_t capacita = CAPACITA);
    AnelloReport(const AnelloReport&) = delete;
    AnelloReport& operator=(const AnelloReport&) = delete;

    std::size_t capacita() const { return maschera_ + 1; }

    // Producer. Keeps the report (at most 64 bytes; a shorter one is padded
    // with zeros). False when it was not kept: the ring is closed (nobody
    // wants it, not a loss) or full (a loss, counted in `persi`).
    bool metti(const uint8_t* dati, std::size_t n);

    // Consumer. Takes the oldest report into `report64`; false when none waits.
    bool togli(uint8_t* report64);
    // Consumer. Drops every report waiting.
    void scarta();

    // From either side: on the consumer's at least this many can be taken (more
    // may be arriving); on the producer's at most this many are waiting (some
    // may be being taken), so "not full" there is safe to trust.
    std::size_t in_attesa() const;
    bool vuoto() const { return in_attesa() == 0; }

    // A closed ring keeps nothing. Opened and closed by the consumer's side;
    // a report already on its way when the ring closes may still go in.
    void apri(bool aperto) { aperto_.store(aperto, std::memory_order_release); }
    bool aperto() const { return aperto_.load(std::memory_order_acquire); }

    // Reports dropped because the ring was full, since construction.
    uint64_t persi() const { return persi_.load(std::memory_order_relaxed); }

private:
    using Report = std::array<uint8_t, BYTE_REPORT>;

    std::size_t maschera_;
    std::unique_ptr<Report[]> slot_;
    // Both counters only grow; each is stored by one side only. Apart, so the
    // two threads do not fight over one cache line at every report.
    // The head is stored (metti) and read (in_attesa) sequentially consistent:
    // a producer that moves it and then looks at a flag, and a consumer that
    // raises the flag and then finds the ring empty, cannot both miss each
    // other. The layer's wake-up relies on that (BackendHidComune::raccogli).
    alignas(64) std::atomic<std::size_t> testa_{0}; // next slot to write (producer)
    alignas(64) std::atomic<std::size_t> coda_{0};  // next slot to read (consumer)
    alignas(64) std::atomic<uint64_t> persi_{0};
    std::atomic<bool> aperto_{true};
};

} // namespace vexa
