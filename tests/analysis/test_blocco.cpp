// The block decoder: velocities with their clamps, accelerations across block
// boundaries, the two time totals, recording, and the live-plot hysteresis.
#include "banco_analisi.h"

#include <QtTest>

using vexa::test::BancoAnalisi;

namespace {

struct Blocco {
    std::vector<double> pos;
    std::vector<float> dt;
    // `quanti` records from `da` to `a_pos`, each `ms` long (signed by direction).
    Blocco& passi(double da, double a_pos, float ms, int quanti) {
        for (int i = 1; i <= quanti; ++i) {
            pos.push_back(da + (a_pos - da) * i / quanti);
            dt.push_back(ms);
        }
        return *this;
    }
    void elabora(BancoAnalisi& b) const {
        b.a.Elabora_blocco(static_cast<int>(pos.size()) - 1, pos.data(), dt.data());
    }
};

// Velocity the decoder plotted for the last record (plot 1 of graph 0).
double ultima_velocita(const BancoAnalisi& b) { return b.prova.grafico0.plot.at(1).back().y; }

} // namespace

class TestBlocco : public QObject {
    Q_OBJECT
private slots:
    void velocita_per_collegamento_con_limiti_e_soglia();
    void accelerazione_usa_la_velocita_del_blocco_precedente();
    void tempi_di_movimento_e_totale();
    void registrazione_dei_campioni();
    void registrazione_ripartita_dal_primo_vertice();
    void grafico_dal_vivo_con_isteresi_dell_arretrato();
};

void TestBlocco::velocita_per_collegamento_con_limiti_e_soglia() {
    struct Caso {
        bool seriale, hid;
        float scala, dt, attesa;
    };
    const Caso casi[] = {
        {true, false, 1.288f, 1, 5000},        // 7728 clamped
        {true, false, 1.288f, -1, -5000},
        {true, false, 1.0f, 100, 60},          // six counts a record
        {true, false, 1.0f, 500, 12},          // exactly 12: kept
        {false, true, 1.0f, -50, -20},
        {false, true, 1.0f, -100, 0},          // below 12 in size
        {false, true, 1.0f, 80, 12.5f},
        {false, true, 1.0f, 1000.0f / 12, 0}, // 11.9999996: just under the threshold
        {false, true, 1.0f, 0, 0},
        {false, false, 1.0f, 10, 0},           // no link, no velocity
    };
    for (const Caso& c : casi) {
        BancoAnalisi b;
        b.s.seriale_attiva = c.seriale;
        b.s.hid_attivo = c.hid;
        b.s.scala_posizione = c.scala;
        b.s.grafico_live = true;
        Blocco{{0}, {c.dt}}.elabora(b);
        QVERIFY2(std::fabs(ultima_velocita(b) - static_cast<double>(c.attesa)) < 1e-3,
                 qPrintable(QString("dt %1 -> %2").arg(static_cast<double>(c.dt)).arg(ultima_velocita(b))));
    }
}

void TestBlocco::accelerazione_usa_la_velocita_del_blocco_precedente() {
    BancoAnalisi b;
    b.s.hid_attivo = true;
    b.s.scala_posizione = 1;
    b.s.grafico_live = true;
    Blocco{{0, 1}, {10, 5}}.elabora(b); // 100 then 200 mm/s
    const auto& acc = b.prova.grafico0.plot.at(5);
    QCOMPARE(acc[0].y, 10.0);  // from the previous trial's last velocity, 0
    QCOMPARE(acc[1].y, 20.0);  // (200 - 100) / 5
    QCOMPARE(b.a.vel_precedente, 200.0);
    Blocco{{2}, {4}}.elabora(b); // a block of one record: 250 mm/s
    QCOMPARE(acc.back().y, 12.5); // (250 - 200) / 4
    Blocco{{2}, {0}}.elabora(b);  // zero interval: no velocity, no acceleration
    QCOMPARE(acc.back().y, 0.0);
    QCOMPARE(b.a.vel_precedente, 0.0);
}

void TestBlocco::tempi_di_movimento_e_totale() {
    BancoAnalisi b;
    b.s.hid_attivo = true;
    b.s.scala_posizione = 1;
    b.s.grafico_live = true;
    Blocco{{0, 1, 2, 3}, {100, -219.99f, 220, -0}}.elabora(b);
    QCOMPARE(b.s.tempo_movimento, 0.1f + 0.21999f);
    QCOMPARE(b.s.tempo_totale, 0.1f + 0.21999f + 0.22f);
    // The plotted x advances by every step, pauses included.
    QCOMPARE(b.prova.grafico0.plot.at(6).back().x, static_cast<double>(0.1f) +
                                                   static_cast<double>(0.21999f) +
                                                   static_cast<double>(0.22f));
}

void TestBlocco::registrazione_dei_campioni() {
    BancoAnalisi b;
    b.s.hid_attivo = true;
    b.s.scala_posizione = 1;
    b.s.registrazione_attiva = true;
    Blocco blocco;
    for (int i = 0; i < 10; ++i) {
        blocco.pos.push_back(100 + i);
        blocco.dt.push_back(i % 2 ? 20.0f : -25.0f);
    }
    blocco.elabora(b);
    QCOMPARE(b.s.n_campioni, 10);
    QCOMPARE(b.s.campioni.size(), std::size_t{10});
    const vexa::Campione& c = b.s.campioni[3];
    QCOMPARE(c.posizione, 103.0f);
    QCOMPARE(c.intervallo, 0.02f);
    QCOMPARE(c.velocita, 50.0f);
    QCOMPARE(b.s.campioni[0].intervallo, -0.025f);
    QCOMPARE(b.s.campioni[0].velocita, -40.0f);
    QCOMPARE(b.s.campioni[9].tempo, b.s.tempo_totale);
    b.s.registrazione_attiva = false;
    blocco.elabora(b);
    QCOMPARE(b.s.n_campioni, 10);
}

void TestBlocco::registrazione_ripartita_dal_primo_vertice() {
    // The first good top starts the time base: what was recorded before it is
    // dropped, and recording starts again from a time of zero.
    BancoAnalisi b;
    b.s.hid_attivo = true;
    b.s.scala_posizione = 10; // 10000 / dt mm/s
    b.s.registrazione_attiva = true;
    Blocco fino_al_vertice;
    fino_al_vertice.passi(600, 100, -25, 25)  // down at 400 mm/s
        .passi(100, 100, 1000, 1)             // rest
        .passi(100, 600, 20, 25)              // up at 500 mm/s, 1.125 s of movement in all
        .passi(600, 600, 1000, 1);            // rest: the top
    fino_al_vertice.elabora(b);
    QCOMPARE(b.s.rip_corrente, 1);
    QCOMPARE(b.s.n_campioni, 0);
    QCOMPARE(b.s.campioni.size(), std::size_t{1});
    QCOMPARE(b.s.campioni[0].tempo, 0.0f);
    QCOMPARE(b.s.campioni[0].posizione, 0.0f);
    Blocco dopo;
    dopo.passi(600, 540, -25, 3).elabora(b);
    QCOMPARE(b.s.n_campioni, 3);
    QCOMPARE(b.s.campioni.size(), std::size_t{3});
    QCOMPARE(b.s.campioni[0].posizione, 580.0f);
    QCOMPARE(b.s.campioni[0].tempo, 0.025f);
    QCOMPARE(b.s.campioni[2].tempo, 3 * 0.025f);
}

void TestBlocco::grafico_dal_vivo_con_isteresi_dell_arretrato() {
    BancoAnalisi b;
    b.s.seriale_attiva = true;
    b.s.scala_posizione = 1;
    b.s.grafico_live = true;
    int arretrato = 0;
    b.a.arretrato = [&] { return arretrato; };
    const Blocco blocco{{0, 6}, {50, 50}};
    auto punti = [&] { return b.prova.grafico0.plot.at(1).size(); };
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{3}); // the reset's zero point plus two
    arretrato = 399;
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{5});
    QVERIFY(b.s.grafico_live);
    arretrato = 400;
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{5});
    QVERIFY(!b.s.grafico_live);
    arretrato = 50; // draining, not yet drained
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{5});
    QVERIFY(!b.s.grafico_live);
    arretrato = 49; // drawing resumes from the next block
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{5});
    QVERIFY(b.s.grafico_live);
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{7});
    // A hidden graph is not drawn; with no backlog the flag comes straight back.
    arretrato = 0;
    b.prova.grafico0.e_visibile = false;
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{7});
    QVERIFY(b.s.grafico_live);
    // The analysis never skips a sample while drawing does.
    QCOMPARE(b.s.tempo_totale, 7 * 2 * 0.05f);
    // Over HID there is no serial backlog, whatever the port says.
    b.prova.grafico0.e_visibile = true;
    b.s.seriale_attiva = false;
    b.s.hid_attivo = true;
    arretrato = 1000;
    blocco.elabora(b);
    QCOMPARE(punti(), std::size_t{9});
    QVERIFY(b.s.grafico_live);
}

QTEST_APPLESS_MAIN(TestBlocco)
#include "test_blocco.moc"
