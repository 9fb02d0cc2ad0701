// The real HID layer without a board: reading a device's IDs from udev, what
// the user is told when a device cannot be opened, which devices count as
// refused, the bookkeeping of arrivals and removals that udev would drive, and
// the hand-over of reports from the reader thread: bursts larger than the
// ring, wake-ups, and what switching reading off or a removal leaves behind.
#include "device/hid/backend_reale.h"
#include "servizi_registro.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vexa;
using vexa::test::consegna;

namespace {

// A board behind a pipe: what the test writes into it are the input reports,
// what the reader sends is kept; `guasto` makes the next read fail.
struct Tubo {
    int fd[2] = {-1, -1};
    std::mutex mutex;
    std::vector<std::array<uint8_t, 9>> scritti;
    std::atomic<bool> guasto{false};
    std::atomic<bool> scrittura_rifiutata{false};
    Tubo() { (void)::pipe(fd); }
    ~Tubo() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    void report(uint8_t primo) {
        std::array<uint8_t, 64> r{};
        r[0] = primo;
        r[63] = static_cast<uint8_t>(~primo);
        QCOMPARE(::write(fd[1], r.data(), r.size()), ssize_t{64});
    }
    // Report number `n` in its first two bytes; from any thread. Blocks while
    // the pipe is full, that is until the reader has taken some.
    bool numerato(int n) {
        std::array<uint8_t, 64> r{};
        r[0] = static_cast<uint8_t>(n);
        r[1] = static_cast<uint8_t>(n >> 8);
        return ::write(fd[1], r.data(), r.size()) == 64;
    }
    bool letto_tutto() const {
        int n = -1;
        return ::ioctl(fd[0], FIONREAD, &n) == 0 && n == 0;
    }
};

class IoTubo : public IoHid {
public:
    explicit IoTubo(Tubo& t) : t_(t) {}
    int apri(const std::string&) override { return 0; }
    int leggi(uint8_t* dati, std::size_t n, int attesa_ms) override {
        if (t_.guasto) return -1;
        pollfd p{t_.fd[0], POLLIN, 0};
        if (::poll(&p, 1, attesa_ms) <= 0) return 0;
        return static_cast<int>(::read(t_.fd[0], dati, n));
    }
    int scrivi(const uint8_t* dati, std::size_t) override {
        if (t_.scrittura_rifiutata) return -1;
        std::lock_guard<std::mutex> l(t_.mutex);
        std::array<uint8_t, 9> b{};
        std::copy(dati, dati + 9, b.begin());
        t_.scritti.push_back(b);
        return 9;
    }
    QString ultimo_errore() override { return QStringLiteral("dispositivo scollegato"); }
    void chiudi() override {}

private:
    Tubo& t_;
};

// What the link window does with HID_LEGGIBILE, down to the reports' numbers.
struct Consumatore {
    std::vector<int> numeri;
    int leggibili = 0;
    explicit Consumatore(BackendHidReale& b) {
        QObject::connect(&b, &IBackendHid::notifica, &b, [this, &b](int evento, HandleHid h) {
            if (evento != HID_LEGGIBILE) return;
            ++leggibili;
            b.LeggiLotto(h, [this](const uint8_t* r) { numeri.push_back(r[0] | r[1] << 8); }, 2000);
        });
    }
    bool in_ordine(int da, int fino_a) const {
        if (numeri.size() != static_cast<std::size_t>(fino_a - da)) return false;
        for (int i = da; i < fino_a; ++i)
            if (numeri[static_cast<std::size_t>(i - da)] != i) return false;
        return true;
    }
};

// Waits for the reader thread without running the event loop, as a UI thread
// busy with something else would.
template <typename F>
bool senza_eventi_finche(F condizione, int ms = 5000) {
    const auto fine = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condizione()) {
        if (std::chrono::steady_clock::now() > fine) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The real backend with notifications on but no udev monitor: the arrivals
// are the test's.
struct BackendSenzaUdev : BackendHidReale {
    using BackendHidReale::BackendHidReale;
    void connetti() { inizia_notifiche(); }
};

} // namespace

class TestBackendReale : public QObject {
    Q_OBJECT
private slots:
    void id_del_dispositivo_hid();
    void testi_di_errore_apertura();
    void nodo_scomparso_segnalato_una_volta();
    void nodo_senza_permessi_rimanda_alla_regola_udev();
    void accessibile_solo_se_il_nodo_non_e_rifiutato();
    void arrivi_e_partenze();
    void collegamento_a_udev();
    void nodo_non_hidraw_non_aperto();
    void report_dal_lettore_in_ordine_e_comandi_inviati();
    void raffica_oltre_l_anello_contata_e_detta_una_volta();
    void lettura_spenta_o_scheda_tolta_svuotano_l_anello();
    void report_sparsi_nessuno_resta_indietro();
    void lettura_fallita_segnalata_solo_se_la_scheda_resta();
};

void TestBackendReale::id_del_dispositivo_hid() {
    int vid = 0, pid = 0;
    QVERIFY(leggi_hid_id("0003:00000461:00000020", vid, pid));
    QCOMPARE(vid, VID_SCHEDA);
    QCOMPARE(pid, PID_SCHEDA);
    QVERIFY(leggi_hid_id("0005:0000046D:0000B33E", vid, pid)); // Bluetooth, upper case
    QCOMPARE(vid, 0x046D);
    for (const char* cattivo : {"", "0003:00000461", "0003:00000461:00000020x", "0003:00100461:00000020",
                                "zz:yy:xx"}) {
        vid = pid = -1;
        QVERIFY2(!leggi_hid_id(cattivo, vid, pid), cattivo);
        QCOMPARE(vid, -1);
    }
    QVERIFY(!leggi_hid_id(nullptr, vid, pid));
}

void TestBackendReale::testi_di_errore_apertura() {
    const QString negato = testo_errore_apertura("/dev/hidraw3", EACCES);
    QVERIFY(negato.contains("/dev/hidraw3"));
    QVERIFY(negato.contains("permesso negato"));
    QVERIFY(negato.contains("70-vexameter.rules"));
    QVERIFY(testo_errore_apertura("/dev/hidraw3", ENODEV).contains("non è più collegata"));
    QVERIFY(testo_errore_apertura("/dev/hidraw3", EBUSY).startsWith("Impossibile aprire la scheda USB"));
}

void TestBackendReale::nodo_scomparso_segnalato_una_volta() {
    QTemporaryDir cartella;
    BackendHidReale b;
    QSignalSpy errori(&b, &IBackendHid::errore);
    QSignalSpy notifiche(&b, &IBackendHid::notifica);
    // Not connected to udev: the arrival is what the monitor would report.
    const HandleHid h = b.arrivo("/sys/x/hidraw9", (cartella.path() + "/hidraw9").toStdString(), VID_SCHEDA,
                                 PID_SCHEDA);
    QCOMPARE(b.GetHandle(VID_SCHEDA, PID_SCHEDA), h);
    QVERIFY(b.SetReadNotify(h, true));
    QTRY_COMPARE_WITH_TIMEOUT(errori.size(), 1, 2000);
    QVERIFY(errori[0][0].toString().contains("non è più collegata"));

    // Commands to it fail (the caller reports that) without a second message.
    const uint8_t buffer[9] = {0, '$', 'F'};
    QVERIFY(!b.WriteEx(VID_SCHEDA, PID_SCHEDA, buffer));
    consegna();
    QCOMPARE(errori.size(), 1);
    QVERIFY(notifiche.isEmpty()); // nothing announced while not connected
}

void TestBackendReale::nodo_senza_permessi_rimanda_alla_regola_udev() {
    if (::geteuid() == 0) QSKIP("root opens any file");
    QTemporaryDir cartella;
    const QString nodo = cartella.path() + "/hidraw0";
    const int fd = ::open(nodo.toLocal8Bit().constData(), O_CREAT | O_WRONLY, 0);
    QVERIFY(fd >= 0);
    ::close(fd);
    BackendHidReale b;
    QSignalSpy errori(&b, &IBackendHid::errore);
    const HandleHid h = b.arrivo("/sys/x/hidraw0", nodo.toStdString(), VID_SCHEDA, PID_SCHEDA);
    QVERIFY(!b.accessibile(h));
    consegna();
    QVERIFY(errori.isEmpty()); // asking is not trying to use it
    const uint8_t buffer[9] = {0, '$', 'D'};
    QVERIFY(b.WriteEx(VID_SCHEDA, PID_SCHEDA, buffer)); // queued before the open is tried
    QTRY_COMPARE_WITH_TIMEOUT(errori.size(), 1, 2000);
    QVERIFY(errori[0][0].toString().contains("70-vexameter.rules"));
    b.partenza("/sys/x/hidraw0");
    QCOMPARE(b.GetVendorID(h), 0);
}

void TestBackendReale::accessibile_solo_se_il_nodo_non_e_rifiutato() {
    // Only a refusal keeps a device out; a node that has gone or is no hidraw
    // is left to the open, which says what is wrong with it.
    std::vector<std::string> provati;
    int aperture = 0;
    BackendHidReale b(
        nullptr,
        [&aperture] {
            ++aperture;
            return io_hidapi();
        },
        [&provati](const std::string& p) {
            provati.push_back(p);
            if (p == "/dev/hidraw1") return EACCES;
            if (p == "/dev/hidraw2") return EPERM;
            if (p == "/dev/hidraw3") return ENOENT;
            if (p == "/dev/hidraw4") return ENOTTY;
            return 0;
        });
    HandleHid h[6] = {};
    for (int i = 1; i <= 5; ++i)
        h[i] = b.arrivo("/sys/y/hidraw" + std::to_string(i), "/dev/hidraw" + std::to_string(i), VID_SCHEDA,
                        PID_SCHEDA);
    QVERIFY(!b.accessibile(h[1]));
    QVERIFY(!b.accessibile(h[2]));
    QVERIFY(b.accessibile(h[3]));
    QVERIFY(b.accessibile(h[4]));
    QVERIFY(b.accessibile(h[5]));
    QCOMPARE(provati.front(), std::string("/dev/hidraw1"));
    QCOMPARE(aperture, 0); // no hidapi on the UI thread
    // Unknown and departed handles: nothing to refuse, nothing tried.
    b.partenza("/sys/y/hidraw1");
    provati.clear();
    QVERIFY(b.accessibile(h[1]));
    QVERIFY(b.accessibile(HandleHid{999}));
    QVERIFY(provati.empty());

    // The default check asks for reading and writing, as the board needs both.
    if (::geteuid() == 0) return;
    QTemporaryDir cartella;
    const QString sola_lettura = cartella.path() + "/hidraw8";
    const QString libero = cartella.path() + "/hidraw9";
    ::close(::open(sola_lettura.toLocal8Bit().constData(), O_CREAT | O_WRONLY, 0400));
    ::close(::open(libero.toLocal8Bit().constData(), O_CREAT | O_WRONLY, 0600));
    QCOMPARE(prova_apertura(sola_lettura.toStdString()), EACCES);
    QCOMPARE(prova_apertura(libero.toStdString()), 0);
    QCOMPARE(prova_apertura((cartella.path() + "/manca").toStdString()), ENOENT);
}

void TestBackendReale::arrivi_e_partenze() {
    BackendHidReale b;
    const HandleHid altro = b.arrivo("/sys/a/hidraw1", "/dev/null-a", 0x046d, 0xc31c);
    const HandleHid scheda = b.arrivo("/sys/a/hidraw2", "/dev/null-b", VID_SCHEDA, PID_SCHEDA);
    QCOMPARE(b.arrivo("/sys/a/hidraw2", "/dev/null-b", VID_SCHEDA, PID_SCHEDA), scheda); // seen twice
    QCOMPARE(b.GetVendorID(altro), 0x046d);
    QCOMPARE(b.GetProductID(scheda), PID_SCHEDA);
    QCOMPARE(b.GetHandle(VID_SCHEDA, PID_SCHEDA), scheda);
    b.partenza("/sys/a/hidraw2");
    b.partenza("/sys/a/hidraw2");
    QCOMPARE(b.GetHandle(VID_SCHEDA, PID_SCHEDA), HandleHid{0});
    QVERIFY(!b.SetReadNotify(scheda, true));
    uint8_t buffer[65] = {};
    QVERIFY(!b.Read(scheda, buffer));
    const uint8_t comando[9] = {0, '$', 'T'};
    QVERIFY(!b.WriteEx(VID_SCHEDA, PID_SCHEDA, comando));
}

void TestBackendReale::collegamento_a_udev() {
    // Whatever this machine has: either udev is watched and the hidraw nodes
    // present are announced, or the user is told why the USB link is unusable.
    BackendHidReale b;
    QSignalSpy errori(&b, &IBackendHid::errore);
    QSignalSpy notifiche(&b, &IBackendHid::notifica);
    for (int giro = 0; giro < 2; ++giro) {
        const bool ok = b.Connect();
        QVERIFY(!b.Connect() || ok); // a second Connect changes nothing
        consegna();
        if (!ok) {
            QCOMPARE(errori.size(), giro + 1);
            QVERIFY(errori.back()[0].toString().contains("USB"));
            QVERIFY(notifiche.isEmpty());
        } else {
            QVERIFY(errori.isEmpty());
            for (const auto& n : notifiche)
                QVERIFY(n[0].toInt() == HID_COLLEGATO || n[0].toInt() == HID_CAMBIATO);
        }
        QVERIFY(b.Disconnect());
        notifiche.clear();
    }
}

void TestBackendReale::nodo_non_hidraw_non_aperto() {
    // Handing such a node to hidapi would crash it; the user gets a message.
    BackendHidReale b;
    QSignalSpy errori(&b, &IBackendHid::errore);
    const HandleHid h = b.arrivo("/sys/x/null", "/dev/null", VID_SCHEDA, PID_SCHEDA);
    QVERIFY(b.SetReadNotify(h, true));
    QTRY_COMPARE_WITH_TIMEOUT(errori.size(), 1, 2000);
    QVERIFY(errori[0][0].toString().contains("non è un dispositivo USB HID"));
}

void TestBackendReale::report_dal_lettore_in_ordine_e_comandi_inviati() {
    Tubo tubo;
    BackendSenzaUdev b(nullptr, [&tubo] { return std::make_unique<IoTubo>(tubo); });
    b.connetti();
    QSignalSpy notifiche(&b, &IBackendHid::notifica);
    const HandleHid h = b.arrivo("/sys/t/hidraw5", "/dev/t5", VID_SCHEDA, PID_SCHEDA);
    consegna();
    QCOMPARE(notifiche.size(), 2); // plugged, list changed
    QVERIFY(b.SetReadNotify(h, true));

    // More than the kernel would keep for a reader that waits on the UI.
    for (int i = 0; i < 200; ++i) tubo.report(static_cast<uint8_t>(i));
    const uint8_t comando[9] = {0, '$', 'F'};
    QVERIFY(b.WriteEx(VID_SCHEDA, PID_SCHEDA, comando));
    QTRY_COMPARE_WITH_TIMEOUT(b.report_in_attesa(h), std::size_t{200}, 5000);
    // The reader may fill the ring before the wait above lets a single event
    // through: the announcement is on its way, and arrives while they wait.
    consegna();
    uint8_t buffer[65];
    for (int i = 0; i < 200; ++i) {
        QVERIFY(b.Read(h, buffer));
        QCOMPARE(buffer[0], uint8_t{0});
        QCOMPARE(buffer[1], static_cast<uint8_t>(i));
        QCOMPARE(buffer[64], static_cast<uint8_t>(~i));
    }
    QVERIFY(!b.Read(h, buffer));
    // Announced while they waited, for this device only; once taken, no more.
    int leggibili = 0;
    for (const auto& n : notifiche) {
        if (n[0].toInt() != HID_LEGGIBILE) continue;
        QCOMPARE(n[1].toUInt(), h);
        ++leggibili;
    }
    QVERIFY(leggibili >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(!b.raccolta_attiva(), 1000);
    const auto prima = notifiche.size();
    test::attendi(5 * BackendHidComune::PERIODO_RACCOLTA_MS);
    QCOMPARE(notifiche.size(), prima);
    QTRY_VERIFY_WITH_TIMEOUT(([&] { std::lock_guard<std::mutex> l(tubo.mutex); return !tubo.scritti.empty(); })(), 2000);
    {
        std::lock_guard<std::mutex> l(tubo.mutex);
        QCOMPARE(tubo.scritti[0][1], uint8_t{'$'});
        QCOMPARE(tubo.scritti[0][2], uint8_t{'F'});
    }

    // A command the device refuses is the user's to hear about, from the UI thread.
    QSignalSpy errori(&b, &IBackendHid::errore);
    tubo.scrittura_rifiutata = true;
    QVERIFY(b.WriteEx(VID_SCHEDA, PID_SCHEDA, comando));
    QTRY_COMPARE_WITH_TIMEOUT(errori.size(), 1, 2000);
    QCOMPARE(errori[0][0].toString(),
             QStringLiteral("Invio del comando alla scheda USB non riuscito: dispositivo scollegato."));
}

void TestBackendReale::raffica_oltre_l_anello_contata_e_detta_una_volta() {
    Tubo tubo;
    BackendSenzaUdev b(nullptr, [&tubo] { return std::make_unique<IoTubo>(tubo); });
    b.connetti();
    const HandleHid h = b.arrivo("/sys/t/hidraw8", "/dev/t8", VID_SCHEDA, PID_SCHEDA);
    consegna();
    QVERIFY(b.SetReadNotify(h, true));
    QSignalSpy errori(&b, &IBackendHid::errore);
    Consumatore letti(b);
    // Each burst is logged, with the running total.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report persi.*: 1000 \\(8000 campioni\\), 1000 in tutto"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report persi.*: 10 .*, 1010 in tutto"));

    // The UI thread is busy while the board sends more than the ring holds:
    // the reader keeps reading, the first 4096 wait, the rest are counted, and
    // the whole burst costs the UI thread one wake-up.
    constexpr int CAPACITA = static_cast<int>(AnelloReport::CAPACITA);
    const uint64_t sveglie = b.sveglie();
    for (int i = 0; i < CAPACITA + 1000; ++i) QVERIFY(tubo.numerato(i));
    QVERIFY(senza_eventi_finche([&] { return b.report_in_attesa(h) + b.report_persi(h) == CAPACITA + 1000u; }));
    QCOMPARE(b.report_in_attesa(h), std::size_t{CAPACITA});
    QCOMPARE(b.report_persi(h), uint64_t{1000});
    QCOMPARE(b.sveglie(), sveglie + 1);
    QVERIFY(letti.numeri.empty());

    // Back to it: the kept ones in order, and the coach told.
    QTRY_VERIFY_WITH_TIMEOUT(b.report_in_attesa(h) == 0 && !b.raccolta_attiva(), 5000);
    QVERIFY(letti.in_ordine(0, CAPACITA));
    QVERIFY2(letti.leggibili >= 3, "a read takes at most 2000"); // announced again while some were left
    QCOMPARE(errori.size(), 1);
    QCOMPARE(errori[0][0].toString(),
             QStringLiteral("Il programma non ha tenuto il passo della scheda USB: 1000 pacchetti di campioni "
                            "(8000 campioni) sono andati persi. L'acquisizione continua."));

    // A second burst: one more wake-up, logged, but the coach has heard it.
    letti.numeri.clear();
    for (int i = 0; i < CAPACITA + 10; ++i) QVERIFY(tubo.numerato(CAPACITA + 1000 + i));
    QVERIFY(senza_eventi_finche([&] { return b.report_persi(h) == 1010; }));
    QCOMPARE(b.sveglie(), sveglie + 2);
    QTRY_VERIFY_WITH_TIMEOUT(b.report_in_attesa(h) == 0 && !b.raccolta_attiva(), 5000);
    QVERIFY(letti.in_ordine(CAPACITA + 1000, 2 * CAPACITA + 1000));
    QCOMPARE(errori.size(), 1);
}

void TestBackendReale::lettura_spenta_o_scheda_tolta_svuotano_l_anello() {
    Tubo tubo;
    BackendSenzaUdev b(nullptr, [&tubo] { return std::make_unique<IoTubo>(tubo); });
    b.connetti();
    const HandleHid h = b.arrivo("/sys/t/hidraw9", "/dev/t9", VID_SCHEDA, PID_SCHEDA);
    consegna();
    QVERIFY(b.SetReadNotify(h, true));
    QSignalSpy errori(&b, &IBackendHid::errore);
    Consumatore letti(b);

    for (int i = 0; i < 50; ++i) QVERIFY(tubo.numerato(i));
    QVERIFY(senza_eventi_finche([&] { return b.report_in_attesa(h) == 50; }));
    // Switched off: what waits goes, and what comes meanwhile is not kept,
    // without being taken for lost.
    QVERIFY(b.SetReadNotify(h, false));
    QCOMPARE(b.report_in_attesa(h), std::size_t{0});
    for (int i = 50; i < 70; ++i) QVERIFY(tubo.numerato(i));
    QVERIFY(senza_eventi_finche([&] { return tubo.letto_tutto(); }));
    test::attendi(3 * BackendHidReale::ATTESA_LETTURA_MS);
    QCOMPARE(b.report_in_attesa(h), std::size_t{0});
    QCOMPARE(b.report_persi(h), uint64_t{0});
    QVERIFY(b.SetReadNotify(h, true));
    for (int i = 70; i < 75; ++i) QVERIFY(tubo.numerato(i));
    QTRY_COMPARE_WITH_TIMEOUT(letti.numeri.size(), std::size_t{5}, 2000);
    QVERIFY(letti.in_ordine(70, 75));

    // Pulled out with reports waiting and a wake-up on its way: they go with
    // it, and no notification about them follows its removal.
    QTRY_VERIFY_WITH_TIMEOUT(!b.raccolta_attiva(), 1000);
    for (int i = 75; i < 105; ++i) QVERIFY(tubo.numerato(i));
    QVERIFY(senza_eventi_finche([&] { return b.report_in_attesa(h) == 30; }));
    QSignalSpy notifiche(&b, &IBackendHid::notifica);
    b.partenza("/sys/t/hidraw9");
    QCOMPARE(b.report_in_attesa(h), std::size_t{0});
    uint8_t buffer[65];
    QVERIFY(!b.Read(h, buffer));
    consegna();
    test::attendi(3 * BackendHidComune::PERIODO_RACCOLTA_MS);
    QCOMPARE(notifiche.size(), 2);
    QCOMPARE(notifiche[0][0].toInt(), int{HID_SCOLLEGATO});
    QCOMPARE(notifiche[1][0].toInt(), int{HID_CAMBIATO});
    QCOMPARE(letti.numeri.size(), std::size_t{5});
    QVERIFY(!b.raccolta_attiva());
    QVERIFY(errori.isEmpty());
}

void TestBackendReale::report_sparsi_nessuno_resta_indietro() {
    // Reports now and then, a few milliseconds apart, so the tick keeps going
    // to sleep just as the next one arrives: a wake-up lost there would leave
    // a report waiting for good.
    Tubo tubo;
    BackendSenzaUdev b(nullptr, [&tubo] { return std::make_unique<IoTubo>(tubo); });
    b.connetti();
    const HandleHid h = b.arrivo("/sys/t/hidraw10", "/dev/t10", VID_SCHEDA, PID_SCHEDA);
    consegna();
    QVERIFY(b.SetReadNotify(h, true));
    Consumatore letti(b);
    constexpr int QUANTI = 300;
    std::atomic<bool> scritti{true};
    std::thread scheda([&] {
        for (int i = 0; i < QUANTI; ++i) {
            scritti = scritti && tubo.numerato(i);
            std::this_thread::sleep_for(std::chrono::microseconds(i * 2377 % 6000));
        }
    });
    QTRY_COMPARE_WITH_TIMEOUT(letti.numeri.size(), std::size_t{QUANTI}, 5000);
    scheda.join();
    QVERIFY(scritti);
    QVERIFY(letti.in_ordine(0, QUANTI));
    QCOMPARE(b.report_persi(h), uint64_t{0});
}

void TestBackendReale::lettura_fallita_segnalata_solo_se_la_scheda_resta() {
    Tubo tubo;
    BackendHidReale b(nullptr, [&tubo] { return std::make_unique<IoTubo>(tubo); });
    QSignalSpy errori(&b, &IBackendHid::errore);
    HandleHid h = b.arrivo("/sys/t/hidraw6", "/dev/t6", VID_SCHEDA, PID_SCHEDA);
    QVERIFY(b.SetReadNotify(h, true));
    tubo.guasto = true;
    QTRY_COMPARE_WITH_TIMEOUT(errori.size(), 1, 3000);
    QVERIFY(errori[0][0].toString().startsWith("Lettura dalla scheda USB non riuscita: dispositivo scollegato"));
    // Not reopened behind the user's back: commands to it are refused.
    const uint8_t comando[9] = {0, '$', 'T'};
    QVERIFY(!b.WriteEx(VID_SCHEDA, PID_SCHEDA, comando));

    // The usual case: the read fails because the board was pulled out, and
    // its removal follows at once. No message for that.
    tubo.guasto = false;
    b.partenza("/sys/t/hidraw6");
    h = b.arrivo("/sys/t/hidraw7", "/dev/t7", VID_SCHEDA, PID_SCHEDA);
    QVERIFY(b.SetReadNotify(h, true));
    tubo.guasto = true;
    test::attendi(50);
    b.partenza("/sys/t/hidraw7");
    test::attendi(BackendHidReale::RITARDO_ERRORE_LETTURA_MS + 200);
    QCOMPARE(errori.size(), 1);
}

QTEST_GUILESS_MAIN(TestBackendReale)
#include "test_backend_reale.moc"
