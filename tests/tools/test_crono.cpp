// The stopwatch on a real window offscreen, with the clock and the period
// prompt in the test's hands: no waiting, and any instant can be visited.
#include "tools/frm_crono.h"
#include "analysis/controlli_memoria.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <deque>

using namespace vexa;

namespace {

using Risposta = std::optional<QString>;

} // namespace
Q_DECLARE_METATYPE(Risposta)
namespace {

struct Banco {
    SuonoMemoria suono;
    // Far beyond what a 32-bit millisecond tick count can hold.
    qint64 ora = 5'000'000'000;
    qint64 partenza = 0;
    std::deque<Risposta> risposte;
    QStringList messaggi;
    Frm_crono f{suono};

    Banco() {
        f.orologio_ms = [this] { return ora; };
        f.chiedi_valore = [this](const QString& m) {
            messaggi << m;
            const Risposta r = risposte.front();
            risposte.pop_front();
            return r;
        };
        f.locale = QLocale::c();
        f.show();
    }
    void avvia() {
        partenza = ora;
        f.Command1->click();
    }
    void a(qint64 ms) {
        ora = partenza + ms;
        f.tick();
    }
    void periodo(const Risposta& r) {
        risposte.push_back(r);
        f.cmd_conto_rovescia->click();
    }
    QString campi() const {
        return f.Txt_minuti->text() + ':' + f.Txt_secondi->text() + '.' + f.Txt_decimi->text();
    }
    // Ticks every 100 ms from `da` to `fino` after Start; minutes and seconds shown at each beep.
    QStringList corri(qint64 da, qint64 fino) {
        QStringList beep;
        for (qint64 t = da; t <= fino; t += 100) {
            const int prima = suono.beep_suonati;
            a(t);
            if (suono.beep_suonati != prima) beep << campi().left(5);
        }
        return beep;
    }
};

QString mm_ss(int m, int s) {
    return QStringLiteral("%1:%2").arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
}

// Beeps at each multiple of the period within a minute and at each full minute.
QStringList ogni(int periodo, int minuti) {
    QStringList l;
    for (int m = 0; m < minuti; ++m) {
        for (int s = periodo; s < 60; s += periodo) l << mm_ss(m, s);
        l << mm_ss(m + 1, 0);
    }
    return l;
}

} // namespace

class TestCrono : public QObject {
    Q_OBJECT
private slots:
    void apertura() {
        Banco b;
        QCOMPARE(b.f.windowTitle(), QStringLiteral("Funzioni Tempo"));
        QCOMPARE(b.campi(), QStringLiteral("min:sec.dec"));
        QVERIFY(b.f.Chk_avviso_acustico->isChecked());
        QVERIFY(b.f.Fre_conto_rovescia->isVisible());
        QCOMPARE(b.f.txt_valore_cv->text(), QStringLiteral("5 sec"));
        QVERIFY(!b.f.Timer_1->isActive());
        b.a(3000); // a stray tick before Start changes nothing
        QCOMPARE(b.campi(), QStringLiteral("min:sec.dec"));
        b.avvia();
        QVERIFY(b.f.Timer_1->isActive());
        QCOMPARE(b.f.Timer_1->interval(), 100);
    }

    void campi_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("atteso");
        QTest::newRow("inizio") << qint64(0) << "00:00.0";
        QTest::newRow("75.3 s") << qint64(75300) << "01:15.3";
        QTest::newRow("12.96 s") << qint64(12960) << "00:13.0";
        QTest::newRow("un'ora e più") << qint64(3723400) << "62:03.4";
        // The rounded seconds reach 60 in a minute's last half second.
        QTest::newRow("59.96 s") << qint64(59960) << "01:00.0";
        QTest::newRow("119.5 s") << qint64(119500) << "02:00.5";
    }
    void campi() {
        QFETCH(qint64, ms);
        QFETCH(QString, atteso);
        Banco b;
        b.avvia();
        b.a(ms); // one late tick is enough: time comes from the clock
        QCOMPARE(b.campi(), atteso);
    }

    void beep_data() {
        QTest::addColumn<Risposta>("risposta");
        QTest::addColumn<qint64>("fino");
        QTest::addColumn<QStringList>("attesi");
        QTest::newRow("5") << Risposta() << qint64(125000) << (ogni(5, 2) << "02:05");
        QTest::newRow("7") << Risposta("7") << qint64(121000) << ogni(7, 2);
        QTest::newRow("2.5 vale 2") << Risposta("2.5") << qint64(10000)
                                    << QStringList{"00:02", "00:04", "00:06", "00:08", "00:10"};
        // No second in between is a non-multiple, yet every second beeps, once.
        QTest::newRow("1") << Risposta("1") << qint64(61000) << (ogni(1, 1) << "01:01");
        QTest::newRow("60") << Risposta("60") << qint64(125000) << ogni(60, 2);
        QTest::newRow("90") << Risposta("90") << qint64(125000) << ogni(90, 2);
    }
    void beep() {
        QFETCH(Risposta, risposta);
        QFETCH(qint64, fino);
        QFETCH(QStringList, attesi);
        Banco b;
        if (risposta) b.periodo(risposta);
        b.avvia();
        QCOMPARE(b.corri(0, fino), attesi);
    }

    void periodo_nel_formato_locale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("risposta");
        QTest::addColumn<QString>("mostrato");
        QTest::newRow("punto") << QLocale::c() << "2.5" << "2.5 sec";
        QTest::newRow("italiano, virgola") << QLocale(QLocale::Italian, QLocale::Italy) << "2,5" << "2,5 sec";
        QTest::newRow("italiano, punto") << QLocale(QLocale::Italian, QLocale::Italy) << " 2.5 " << "2,5 sec";
        QTest::newRow("italiano, 1.000 è uno") << QLocale(QLocale::Italian, QLocale::Italy) << "1.000" << "1 sec";
        QTest::newRow("0.6 arrotonda a 1") << QLocale::c() << "0.6" << "0.6 sec";
    }
    void periodo_nel_formato_locale() {
        QFETCH(QLocale, locale);
        QFETCH(QString, risposta);
        QFETCH(QString, mostrato);
        Banco b;
        b.f.locale = locale;
        b.periodo(risposta);
        QCOMPARE(b.messaggi, QStringList{"Inserisci valore in secondi:"});
        QCOMPARE(b.f.txt_valore_cv->text(), mostrato);
    }

    void periodo_rifiutato_data() {
        QTest::addColumn<Risposta>("risposta");
        QTest::newRow("annullato") << Risposta();
        QTest::newRow("vuoto") << Risposta("");
        QTest::newRow("testo") << Risposta("abc");
        QTest::newRow("negativo") << Risposta("-3");
        QTest::newRow("zero") << Risposta("0");
        QTest::newRow("0.4") << Risposta("0.4");
        QTest::newRow("0.5 va al pari, 0") << Risposta("0.5");
        QTest::newRow("nan") << Risposta("nan");
        QTest::newRow("inf") << Risposta("inf");
        QTest::newRow("enorme") << Risposta("1e30");
        QTest::newRow("virgola in locale col punto") << Risposta("2,5");
    }
    void periodo_rifiutato() {
        QFETCH(Risposta, risposta);
        Banco b;
        b.periodo(QStringLiteral("3"));
        b.periodo(risposta);
        QCOMPARE(b.f.periodo(), 3.0f);
        QCOMPARE(b.f.txt_valore_cv->text(), QStringLiteral("3 sec"));
        b.avvia();
        QCOMPARE(b.corri(0, 10000), (QStringList{"00:03", "00:06", "00:09"}));
    }

    void casella_tolta() {
        Banco b;
        b.f.Chk_avviso_acustico->click();
        QVERIFY(!b.f.Fre_conto_rovescia->isVisible());
        b.avvia();
        QVERIFY(b.corri(0, 65000).isEmpty());
        b.periodo(QStringLiteral("1"));
        QVERIFY(b.corri(65000, 70000).isEmpty());
        QCOMPARE(b.campi(), QStringLiteral("01:10.0"));
        b.f.Chk_avviso_acustico->click();
        QVERIFY(b.f.Fre_conto_rovescia->isVisible());
        QCOMPARE(b.corri(70100, 71000), QStringList{"01:11"});
    }

    void stop_e_ripartenza() {
        Banco b;
        b.avvia();
        b.corri(0, 3200);
        b.f.Command2->click();
        QVERIFY(!b.f.Timer_1->isActive());
        QVERIFY(b.corri(3300, 20000).isEmpty()); // frozen and silent past two beeps
        QCOMPARE(b.campi(), QStringLiteral("00:03.2"));

        // Stopped between two beeps: the restart must not beep at zero.
        b.ora += 7000;
        b.avvia();
        b.a(0);
        QCOMPARE(b.campi(), QStringLiteral("00:00.0"));
        QCOMPARE(b.suono.beep_suonati, 0);
        QCOMPARE(b.corri(100, 5000), QStringList{"00:05"});
    }

    void chiusura_ferma() {
        Banco b;
        b.avvia();
        b.f.close();
        QVERIFY(!b.f.Timer_1->isActive());
    }
};

QTEST_MAIN(TestCrono)
#include "test_crono.moc"
