// The real HID layer without a board: reading a device's IDs from udev, what
// the user is told when a device cannot be opened, and the bookkeeping of
// arrivals and removals that udev would drive.
#include "device/hid/backend_reale.h"
#include "servizi_registro.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;
using vexa::test::consegna;

class TestBackendReale : public QObject {
    Q_OBJECT
private slots:
    void id_del_dispositivo_hid();
    void testi_di_errore_apertura();
    void nodo_scomparso_segnalato_una_volta();
    void nodo_senza_permessi_rimanda_alla_regola_udev();
    void arrivi_e_partenze();
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
    const uint8_t buffer[9] = {0, '$', 'D'};
    QVERIFY(b.WriteEx(VID_SCHEDA, PID_SCHEDA, buffer)); // queued before the open is tried
    QTRY_COMPARE_WITH_TIMEOUT(errori.size(), 1, 2000);
    QVERIFY(errori[0][0].toString().contains("70-vexameter.rules"));
    b.partenza("/sys/x/hidraw0");
    QCOMPARE(b.GetVendorID(h), 0);
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

QTEST_MAIN(TestBackendReale)
#include "test_backend_reale.moc"
