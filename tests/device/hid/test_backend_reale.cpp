// The real HID layer without a board: reading a device's IDs from udev, what
// the user is told when a device cannot be opened, which devices count as
// refused, and the bookkeeping of arrivals and removals that udev would drive.
#include "device/hid/backend_reale.h"
#include "servizi_registro.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
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
    uint8_t buffer[65];
    for (int i = 0; i < 200; ++i) {
        QVERIFY(b.Read(h, buffer));
        QCOMPARE(buffer[0], uint8_t{0});
        QCOMPARE(buffer[1], static_cast<uint8_t>(i));
        QCOMPARE(buffer[64], static_cast<uint8_t>(~i));
    }
    QVERIFY(!b.Read(h, buffer));
    consegna();
    int leggibili = 0;
    for (const auto& n : notifiche) leggibili += n[0].toInt() == HID_LEGGIBILE && n[1].toUInt() == h;
    QCOMPARE(leggibili, 200);
    QTRY_VERIFY_WITH_TIMEOUT(([&] { std::lock_guard<std::mutex> l(tubo.mutex); return !tubo.scritti.empty(); })(), 2000);
    std::lock_guard<std::mutex> l(tubo.mutex);
    QCOMPARE(tubo.scritti[0][1], uint8_t{'$'});
    QCOMPARE(tubo.scritti[0][2], uint8_t{'F'});
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
