// Synthesised sets through the whole pipeline, on both links and every board
// type, checked against what the movement really was. The analysis sees the
// movement through the sensor's steps, so each value is allowed the error those
// steps explain: the top is seen one record late, the bottom one or two records
// late and off the record grid by up to one more, and the first records after
// a rest fall out of movement time with the rest they end.
#include "analysis/formato.h"
#include "trials/riproduzione.h"
#include "analysis/vista_memoria.h"
#include "sim/sintetizzatore.h"

#include <QtTest>

#include <cmath>
#include <numbers>

using namespace vexa;

namespace {

struct Esito {
    Stato s;
    ProvaMemoria prova;
    std::string errore;
    double valore(int riga, int colonna) const {
        return std::stod(prova.colonne[static_cast<std::size_t>(colonna)].testo(riga));
    }
};

void esegui(Esito& e, const sim::DescrizioneSerie& d, int tipo, Collegamento c, float ampiezza_min) {
    const auto serie = sim::sintetizza(d, tipo, c);
    const auto dati = c == Collegamento::Seriale ? sim::byte_seriali(serie.record) : sim::report_hid(serie.record);
    e.s.ampiezza_min = ampiezza_min;
    e.s.vel_max = 600;
    e.s.limite_sup = 110;
    e.s.limite_inf = 90;
    Analizzatore a(e.s, e.prova.vista);
    e.errore = riproduci_cattura(dati, c, tipo, e.s, e.prova.vista, a);
}

// Time the half-sine profile needs to cover its first `mm` from rest.
double tempo_iniziale(double durata, double ampiezza, double mm) {
    return durata / std::numbers::pi * std::acos(std::max(-1.0, 1 - 2 * mm / ampiezza));
}

} // namespace

class TestSerieSintetica : public QObject {
    Q_OBJECT
private slots:
    void sei_ripetizioni_elencano_le_ultime_cinque_data();
    void sei_ripetizioni_elencano_le_ultime_cinque();
    void sotto_l_ampiezza_minima_non_si_elenca_nulla();
    void perdita_di_velocita_e_rumore();
};

void TestSerieSintetica::sei_ripetizioni_elencano_le_ultime_cinque_data() {
    QTest::addColumn<int>("collegamento");
    QTest::addColumn<int>("tipo");
    for (int tipo : {1, 2, 3}) {
        QTest::addRow("seriale tipo %d", tipo) << 0 << tipo;
        QTest::addRow("hid tipo %d", tipo) << 1 << tipo;
    }
}

void TestSerieSintetica::sei_ripetizioni_elencano_le_ultime_cinque() {
    QFETCH(int, collegamento);
    QFETCH(int, tipo);
    const Collegamento c = collegamento ? Collegamento::Hid : Collegamento::Seriale;
    sim::DescrizioneSerie d; // six repetitions of 500 mm, 500 up, 400 down, standing start at the top
    Esito e;
    esegui(e, d, tipo, c, 100);
    QCOMPARE(e.errore, std::string());
    QCOMPARE(e.prova.righe(), 5);

    const auto verita = sim::sintetizza(d, tipo, c).verita;
    const double passo = sim::conteggi_per_record(c) * static_cast<double>(scala_per_tipo(tipo).posizione);
    const double rom = verita[0].spost_conc_mm;
    const double tol_spost = 4 * passo + 0.5;
    for (int r = 0; r < 5; ++r) {
        const auto& v = verita[static_cast<std::size_t>(r) + 1]; // the first repetition starts the time base
        const QString riga = QString::fromStdString(e.prova.riga(r));
        QCOMPARE(e.valore(r, 0), r + 1.0);
        // Start time against the top that began it, counted from the first top.
        const double t_atteso = v.inizio_s - verita[1].inizio_s;
        QVERIFY2(std::fabs(e.valore(r, 1) - t_atteso) <= tempo_iniziale(v.durata_ecc_s, rom, passo) + 0.01,
                 qPrintable(riga));
        const double spost = e.valore(r, 3);
        QVERIFY2(spost <= rom + 0.5 && spost >= rom - tol_spost, qPrintable(riga));
        const double tol_t = tempo_iniziale(v.durata_conc_s, rom, 3 * passo) + 0.01;
        const double durata = e.valore(r, 2);
        QVERIFY2(durata <= v.durata_conc_s + 0.01 && durata >= v.durata_conc_s - tol_t, qPrintable(riga));
        const double vmedia = e.valore(r, 4);
        QVERIFY2(vmedia >= (rom - tol_spost) / v.durata_conc_s - 1 &&
                     vmedia <= rom / (v.durata_conc_s - tol_t) + 1,
                 qPrintable(riga));
        // The peak of a half-sine is pi/2 times its mean; a record averages over its step.
        QVERIFY2(std::fabs(e.valore(r, 5) - v.vpicco_conc) <= 0.03 * v.vpicco_conc, qPrintable(riga));
        QVERIFY2(std::fabs(e.valore(r, 11) - v.vpicco_ecc) <= 0.03 * -v.vpicco_ecc, qPrintable(riga));
        const double tol_te = tempo_iniziale(v.durata_ecc_s, rom, passo) + tol_t;
        QVERIFY2(std::fabs(e.valore(r, 8) - v.durata_ecc_s) <= tol_te, qPrintable(riga));
        QVERIFY2(e.valore(r, 9) <= -(rom - tol_spost) && e.valore(r, 9) >= -rom - 0.5, qPrintable(riga));
        // The peaks come mid-phase: half the phase and half the displacement. The
        // profile is so flat there that the tick rounding alone can move the
        // highest step by a few percent of the range either way.
        QVERIFY2(std::fabs(e.valore(r, 6) - v.durata_conc_s / 2) <= tol_t + 0.03 * v.durata_conc_s,
                 qPrintable(riga));
        QVERIFY2(std::fabs(e.valore(r, 7) - rom / 2) <= tol_spost + 0.03 * rom, qPrintable(riga));
        QVERIFY2(std::fabs(e.valore(r, 13) - rom / 2) <= tol_spost + 0.03 * rom, qPrintable(riga));
    }
    QCOMPARE(e.prova.colonne[1].testo(0), std::string("0.00"));
}

void TestSerieSintetica::sotto_l_ampiezza_minima_non_si_elenca_nulla() {
    sim::DescrizioneSerie d;
    d.ampiezza_mm = 90;
    d.vel_conc = 150;
    d.vel_ecc = 150;
    for (Collegamento c : {Collegamento::Seriale, Collegamento::Hid}) {
        Esito e;
        esegui(e, d, 2, c, 100);
        QCOMPARE(e.errore, std::string());
        QCOMPARE(e.prova.righe(), 0);
        QCOMPARE(e.s.rip_corrente, 0);
    }
    // The same set with a lower threshold is listed.
    Esito e;
    esegui(e, d, 2, Collegamento::Hid, 50);
    QCOMPARE(e.prova.righe(), 5);
}

void TestSerieSintetica::perdita_di_velocita_e_rumore() {
    sim::DescrizioneSerie d;
    d.ripetizioni = 8;
    d.perdita_pct = 5;
    for (double rumore : {0.0, 0.2}) {
        d.rumore = rumore;
        for (Collegamento c : {Collegamento::Seriale, Collegamento::Hid}) {
            Esito e;
            esegui(e, d, 3, c, 100);
            QCOMPARE(e.prova.righe(), 7);
            // 5 % a repetition out of 500 mm/s: each row about 25 mm/s slower.
            // Jitter of 20 % on each step averages out over a phase to a few mm/s.
            const double margine = rumore > 0 ? 15 : 8;
            for (int r = 1; r < 7; ++r) {
                const double calo = e.valore(r - 1, 4) - e.valore(r, 4);
                QVERIFY2(std::fabs(calo - 27) < margine, qPrintable(QString::fromStdString(e.prova.riga(r))));
            }
            const double totale = e.valore(0, 4) - e.valore(6, 4);
            QVERIFY2(std::fabs(totale - 160) < 20, qPrintable(QString::number(totale)));
            // The colour follows the band of each row.
            for (int r = 0; r < 7; ++r)
                QCOMPARE(e.prova.num_vel.storia_colori[static_cast<std::size_t>(r)],
                         colore_limiti(static_cast<float>(e.valore(r, 4)), 600, 110, 90));
        }
    }
}

QTEST_APPLESS_MAIN(TestSerieSintetica)
#include "test_serie_sintetica.moc"
