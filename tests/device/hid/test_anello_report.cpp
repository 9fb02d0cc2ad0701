// The ring between a reader thread and the UI thread: order across the wrap,
// what a full or closed ring does with a report, and two real threads trading
// a million reports without one torn, repeated or lost unaccounted.
#include "device/hid/anello_report.h"

#include <QtTest>

#include <cstring>
#include <thread>
#include <vector>

using namespace vexa;

namespace {

// Reports carry their number in the first 8 bytes and, in the other 56, a
// pattern that depends on it: a report torn between two writes, or read
// while being overwritten, does not match its own number.
struct Motivi {
    std::array<std::array<uint8_t, 56>, 256> m{};
    Motivi() {
        for (std::size_t n = 0; n < 256; ++n)
            for (std::size_t i = 0; i < 56; ++i) m[n][i] = static_cast<uint8_t>(n * 31 + i * 7 + 1);
    }
};
const Motivi motivi;

std::array<uint8_t, 64> numerato(uint64_t n) {
    std::array<uint8_t, 64> r;
    std::memcpy(r.data(), &n, sizeof n);
    std::memcpy(r.data() + 8, motivi.m[n & 255].data(), 56);
    return r;
}

// The number the report carries, or ~0 when the rest disagrees with it.
uint64_t numero(const uint8_t* r) {
    uint64_t n = 0;
    std::memcpy(&n, r, sizeof n);
    return std::memcmp(r + 8, motivi.m[n & 255].data(), 56) == 0 ? n : ~uint64_t{0};
}

} // namespace

class TestAnelloReport : public QObject {
    Q_OBJECT
private slots:
    void ordine_giro_pieno_e_chiuso();
    void due_thread_si_scambiano_un_milione_di_report();
};

void TestAnelloReport::ordine_giro_pieno_e_chiuso() {
    AnelloReport a(5);
    QCOMPARE(a.capacita(), std::size_t{8});

    // Uneven steps, so head and tail cross the end of the storage at every offset.
    uint64_t messi = 0, tolti = 0;
    uint8_t r[64];
    for (int giro = 0; giro < 200; ++giro) {
        for (int i = 0; i <= giro % 7; ++i) QVERIFY(a.metti(numerato(messi++).data(), 64));
        QCOMPARE(a.in_attesa(), static_cast<std::size_t>(messi - tolti));
        while (tolti + (giro % 2) < messi) {
            QVERIFY(a.togli(r));
            QCOMPARE(numero(r), tolti++);
        }
    }
    while (a.togli(r)) QCOMPARE(numero(r), tolti++);
    QCOMPARE(tolti, messi);

    // Full: the new ones go and are counted, the kept ones stay untouched.
    for (uint64_t i = 0; i < 10; ++i) a.metti(numerato(i).data(), 64);
    QCOMPARE(a.persi(), uint64_t{2});
    for (uint64_t i = 0; i < 8; ++i) {
        QVERIFY(a.togli(r));
        QCOMPARE(numero(r), i);
    }
    // Closed: nothing kept, and nothing taken for lost, since nobody wanted it.
    a.apri(false);
    QVERIFY(!a.metti(numerato(5).data(), 64));
    QCOMPARE(a.persi(), uint64_t{2});
    a.apri(true);
    // Emptied, it carries on from the next report.
    a.metti(numerato(6).data(), 64);
    a.scarta();
    QVERIFY(!a.togli(r));

    // A short read is padded with zeros, not with the slot's earlier report; a
    // longer one is cut at 64 bytes.
    const uint8_t corto[3] = {7, 8, 9};
    QVERIFY(a.metti(corto, 3));
    std::vector<uint8_t> lungo(100, 0xAB);
    QVERIFY(a.metti(lungo.data(), lungo.size()));
    QVERIFY(a.togli(r));
    QCOMPARE(r[2], uint8_t{9});
    for (int i = 3; i < 64; ++i) QCOMPARE(r[i], uint8_t{0});
    QVERIFY(a.togli(r));
    QCOMPARE(r[63], uint8_t{0xAB});
}

void TestAnelloReport::due_thread_si_scambiano_un_milione_di_report() {
    // First a producer that waits for room, so every report must arrive; then
    // one that does not, as the reader thread does, so drops happen while the
    // consumer is copying: what arrives must still be whole and in order, and
    // what is missing must be exactly what was counted.
    constexpr uint64_t SENZA_PERDITE = 1'000'000;
    constexpr uint64_t CON_PERDITE = 200'000;
    AnelloReport a(1024);
    std::atomic<bool> fine{false};
    uint64_t ricevuti = 0, guasti = 0, fuori_ordine = 0;
    uint64_t atteso = 0;

    std::thread consumatore([&] {
        uint8_t r[64];
        for (;;) {
            if (!a.togli(r)) {
                if (fine.load(std::memory_order_acquire) && a.vuoto()) return;
                std::this_thread::yield();
                continue;
            }
            const uint64_t n = numero(r);
            if (n == ~uint64_t{0}) ++guasti;
            else if (n < atteso) ++fuori_ordine;
            else atteso = n + 1;
            ++ricevuti;
        }
    });
    std::thread produttore([&] {
        for (uint64_t i = 0; i < SENZA_PERDITE; ++i) {
            while (a.in_attesa() == a.capacita()) std::this_thread::yield();
            a.metti(numerato(i).data(), 64);
        }
        for (uint64_t i = SENZA_PERDITE; i < SENZA_PERDITE + CON_PERDITE; ++i) a.metti(numerato(i).data(), 64);
        fine.store(true, std::memory_order_release);
    });
    produttore.join();
    consumatore.join();

    QCOMPARE(guasti, uint64_t{0});
    QCOMPARE(fuori_ordine, uint64_t{0});
    QVERIFY(ricevuti >= SENZA_PERDITE);
    QVERIFY(a.persi() <= CON_PERDITE);
    QCOMPARE(ricevuti + a.persi(), SENZA_PERDITE + CON_PERDITE);
}

QTEST_APPLESS_MAIN(TestAnelloReport)
#include "test_anello_report.moc"
