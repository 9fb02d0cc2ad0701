// The port settings window against a scripted port: stored values, how the
// lists show the port's settings, the OK button and the automatic search.
#include "porta_memoria.h"

#include "device/frm_seriale.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace vexa;
using namespace vexa::prova;

namespace {

void memorizza(const char* chiave, const QString& valore) {
    QSettings s("vexameter", "vexameter");
    s.setValue(QStringLiteral("Properties/") + chiave, valore);
}
QString memorizzato(const char* chiave) {
    return QSettings("vexameter", "vexameter").value(QStringLiteral("Properties/") + chiave).toString();
}

struct Banco {
    Stato s;
    PortaMemoria p;
    ServiziRegistro sv;
    Protocollo pr{s, p, sv};
    std::unique_ptr<frm_seriale> f;
    Banco() {
        s.seriale_attiva = true;
        pr.attesa_apertura_ms = 0;
    }
    frm_seriale& carica() {
        f = std::make_unique<frm_seriale>(s, p, pr, sv);
        return *f;
    }
};

} // namespace

class TestFrmSeriale : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        isola_impostazioni(dir_.path());
    }
    void init() { QSettings("vexameter", "vexameter").clear(); }

    void caricamento_con_valori_memorizzati_data() {
        QTest::addColumn<QString>("impostazioni");
        QTest::addColumn<QString>("velocita");
        QTest::addColumn<QString>("parita");
        QTest::addColumn<QString>("dati");
        QTest::addColumn<QString>("stop");
        QTest::newRow("9600,e,7,2") << "9600,e,7,2" << "9600" << "Even" << "7" << "2";
        QTest::newRow("19200,n,8,1.5") << "19200,n,8,1.5" << "19200" << "Nessuna" << "8" << "1,5";
        QTest::newRow("maiuscola") << "57600,O,5,1" << "57600" << "Odd" << "5" << "1";
        // A speed the list lacks still shows.
        QTest::newRow("250000,s,8,1") << "250000,s,8,1" << "250000" << "Space" << "8" << "1";
    }
    void caricamento_con_valori_memorizzati() {
        QFETCH(QString, impostazioni);
        QFETCH(QString, velocita);
        QFETCH(QString, parita);
        QFETCH(QString, dati);
        QFETCH(QString, stop);
        memorizza("Settings", impostazioni);
        memorizza("CommPort", "3");
        memorizza("Handshaking", "2"); // stored, but loading always means no flow control
        Banco b;
        b.p.setHandshaking(2);
        auto& f = b.carica();
        QCOMPARE(QString::fromStdString(b.p.Settings()), impostazioni.toLower());
        QCOMPARE(b.p.CommPort(), int16_t(3));
        QCOMPARE(b.p.Handshaking(), int16_t(0));
        QVERIFY(!b.p.scarta_nul);
        QVERIFY(!b.p.PortOpen());
        QCOMPARE(f.cboSpeed->currentText(), velocita);
        QCOMPARE(f.cboParity->currentText(), parita);
        QCOMPARE(f.cboDataBits->currentText(), dati);
        QCOMPARE(f.cboStopBits->currentText(), stop);
        QCOMPARE(f.cboPort->currentText(), QString("Com3  (/dev/ttyFINTA)"));
        QVERIFY(f.optFlow[0]->isChecked());
        QCOMPARE(f.windowTitle(), QString("Proprietà porta di comunicazione"));
        QCOMPARE(f.cboPort->count(), 16);
        QCOMPARE(f.cboParity->itemText(2), QString("Nessuna"));
    }

    void valori_memorizzati_non_validi() {
        memorizza("Settings", "115200,x,8,1");
        memorizza("CommPort", "5");
        Banco b;
        auto& f = b.carica();
        QCOMPARE(b.sv.messaggi.size(), std::size_t(1));
        QCOMPARE(b.sv.messaggi[0].icona, Icona::Esclamazione);
        QCOMPARE(b.p.CommPort(), int16_t(1)); // the rest is not applied
        QCOMPARE(f.cboSpeed->currentText(), QString("115200"));

        memorizza("Settings", "");
        memorizza("CommPort", "23"); // beyond the list: shown all the same
        Banco c;
        auto& g = c.carica();
        QVERIFY(c.sv.messaggi.empty());
        QCOMPARE(c.p.CommPort(), int16_t(23));
        QCOMPARE(g.cboPort->currentText(), QString("Com23"));
    }

    void pulsante_ok() {
        Banco b;
        auto& f = b.carica();
        b.p.setPortOpen(true);
        f.show();
        f.cboSpeed->setCurrentText("115200");
        f.cboParity->setCurrentText("Odd");
        f.cboDataBits->setCurrentText("8");
        f.cboStopBits->setCurrentText("1,5");
        f.cboPort->setCurrentIndex(5);
        f.optFlow[3]->click();
        f.cmdOK->click();
        QCOMPARE(b.p.impostazioni_applicate.back(), std::string("115200,O,8,1.5"));
        QCOMPARE(b.p.CommPort(), int16_t(6));
        QVERIFY(b.p.PortOpen()); // reopened on the new port
        QCOMPARE(b.p.Handshaking(), int16_t(3));
        QCOMPARE(memorizzato("Settings"), QString("115200,o,8,1.5"));
        QCOMPARE(memorizzato("CommPort"), QString("6"));
        QCOMPARE(memorizzato("Handshaking"), QString("3"));
        QCOMPARE(memorizzato("Echo"), QString("False"));
        QVERIFY(f.isHidden());
    }

    void pulsante_ok_su_porta_che_non_apre() {
        Banco b;
        auto& f = b.carica();
        b.p.setPortOpen(true);
        f.show();
        b.p.esiste = false;
        f.cboPort->setCurrentIndex(7);
        f.cmdOK->click();
        QCOMPARE(b.sv.messaggi.size(), std::size_t(1));
        QCOMPARE(b.p.CommPort(), int16_t(1)); // the old number is back
        QVERIFY(!b.p.PortOpen());
        QVERIFY(memorizzato("CommPort").isEmpty());
        QVERIFY(f.isVisible());

        b.p.esiste = true;
        f.cboPort->setCurrentIndex(0);
        f.cboDataBits->setCurrentText("4"); // refused by the port
        b.p.risposte.clear();
        f.cmdOK->click();
        QVERIFY(f.isVisible());
        QCOMPARE(b.sv.messaggi.size(), std::size_t(2));
        QVERIFY(memorizzato("Settings").isEmpty());
        f.cmdCancel->click();
        QVERIFY(f.isHidden());
    }

    void ricerca_senza_scheda() {
        Banco b;
        b.s.stato_connessione = " non connesso";
        auto& f = b.carica();
        f.show();
        b.p.rispondi("$", byte("$"));
        b.p.porta_esiste = [](int16_t n) { return n == 2 || n == 30; }; // each costs a 500 ms wait
        QTimer::singleShot(100, [&] { f.Cmd_Auto->click(); }); // impatient user: ignored
        f.Cmd_Auto_Click();
        QCOMPARE(b.p.aperture.size(), std::size_t(30));
        QCOMPARE(f.Lbl_info->text(), QString("Scheda non trovata!"));
        QCOMPARE(b.p.CommPort(), int16_t(30));
        QVERIFY(b.p.PortOpen()); // port 30 exists, so it stays open
        QCOMPARE(b.sv.beep_fatti, 0);
        QCOMPARE(b.s.stato_connessione, std::string(" non connesso"));
        QVERIFY(f.isVisible());
        QCOMPARE(f.Cmd_Auto->text(), QString("Auto Set"));

        // Under a running acquisition the port is neither probed nor moved;
        // OK with nothing changed still just closes the window.
        b.s.acquisizione_in_corso = true;
        f.LoadPropertySettings(); // the window shows what the port has
        f.cmdOK->click();
        QVERIFY(f.isHidden());
        QVERIFY(b.sv.messaggi.empty());
        f.show();
        f.Cmd_Auto_Click();
        f.cboPort->setCurrentIndex(0);
        f.cmdOK->click();
        QCOMPARE(b.p.aperture.size(), std::size_t(30));
        QCOMPARE(b.p.CommPort(), int16_t(30));
        QCOMPARE(b.sv.messaggi.size(), std::size_t(2));
        QVERIFY(f.isVisible());
    }
};

QTEST_MAIN(TestFrmSeriale)
#include "test_frm_seriale.moc"
