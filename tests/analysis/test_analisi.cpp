// The repetition analysis on hand-made sample streams whose results can be
// worked out on paper.
#include "banco_analisi.h"

#include <QtTest>

using vexa::test::BancoAnalisi;

class TestAnalisi : public QObject {
    Q_OBJECT
private slots:
    void una_ripetizione_completa_con_i_suoi_quindici_valori();
    void isteresi_20_15_lascia_lo_stato_tra_le_soglie();
    void entro_il_primo_secondo_la_fine_della_salita_e_un_cambio_di_direzione();
    void ampiezza_uguale_al_minimo_e_scartata_e_i_picchi_proseguono();
    void colore_ai_bordi_della_fascia();
    void beep_a_ogni_nuovo_picco_in_discesa_e_mai_senza_discesa();
    void record_riusato_non_porta_valori_vecchi();
    void azzera_prova_svuota_liste_grafici_e_campioni();
};

void TestAnalisi::una_ripetizione_completa_con_i_suoi_quindici_valori() {
    BancoAnalisi b;
    b.ripetizione(600, 100);
    // The first good top only starts the time base.
    QCOMPARE(b.righe(), 0);
    QCOMPARE(b.s.rip_corrente, 1);
    QCOMPARE(b.s.tempo_movimento, 0.0f);
    QCOMPARE(b.prova.grafico0.cancellazioni, 2); // the reset, then the time base
    b.ripetizione(600, 100);
    QCOMPARE(b.righe(), 1);
    // Down 500 mm at 400 mm/s in 10 steps of 0.125 s, rest, up at 500 mm/s in
    // 10 steps of 0.1 s, rest. The reversal is seen at the first rising sample
    // (150 mm, movement time 1.35 s) and the top at the rest after the rise.
    QCOMPARE(QString::fromStdString(b.prova.riga(0)),
             QString("1;0.00;0.90;450;500;500;1.35;150;1.35;-450;-333;-400;0.13;50;"));
    QCOMPARE(b.prova.num_vel.storia_colori.back(), vexa::COLORE_ROSSO);
    QCOMPARE(b.prova.slide.v, 500.0);
    QCOMPARE(b.prova.slide.colori.at(1), vexa::COLORE_ROSSO);
    // The new row is selected and refreshed in every column.
    for (const auto& c : b.prova.colonne) {
        QCOMPARE(c.selezionata, 0);
        QVERIFY(c.aggiornamenti > 0);
    }
    // Repetitions graph: x counts the rows from 0, duration to plot 1, mean to plot 2.
    QCOMPARE(b.prova.grafico1.plot.at(1).size(), std::size_t{1});
    QCOMPARE(b.prova.grafico1.plot.at(1)[0].y, 0.9f);
    QCOMPARE(b.prova.grafico1.plot.at(2)[0].y, 500.0);
    QCOMPARE(b.prova.grafico1.plot.at(2)[0].x, 0.0);
    // The cursors frame the repetition just ended: its start and the next one's.
    QCOMPARE(b.prova.grafico0.cursore_x(2), 0.0);
    QCOMPARE(b.prova.grafico0.cursore_x(1), static_cast<double>(b.s.ripetizioni[2].tempo));

    b.ripetizione(600, 100);
    QCOMPARE(b.righe(), 2);
    QCOMPARE(QString::fromStdString(b.cella(1, 0)), QString("2"));
    // Rest time counts in the total time only: 3.25 s per repetition.
    QCOMPARE(QString::fromStdString(b.cella(1, 1)), QString("3.25"));
    QCOMPARE(b.prova.grafico1.plot.at(2)[1].x, 1.0);
}

void TestAnalisi::isteresi_20_15_lascia_lo_stato_tra_le_soglie() {
    BancoAnalisi b;
    b.campione(0, 100, 0.01f);
    QCOMPARE(b.s.fase[0], int16_t{0});
    for (float v : {20.0f, 15.0f, 17.5f}) {
        b.campione(0, v, 0.01f);
        QCOMPARE(b.s.fase[0], int16_t{0});
    }
    b.campione(0, 14.99f, 0.01f);
    QCOMPARE(b.s.fase[0], int16_t{1});
    for (float v : {15.0f, 20.0f}) {
        b.campione(0, v, 0.01f);
        QCOMPARE(b.s.fase[0], int16_t{1});
    }
    b.campione(0, 20.01f, 0.01f);
    QCOMPARE(b.s.fase[0], int16_t{0});
}

void TestAnalisi::entro_il_primo_secondo_la_fine_della_salita_e_un_cambio_di_direzione() {
    BancoAnalisi b;
    b.muovi(0, 500, 500, 8); // steps of 0.125 s: exactly one second of movement
    QVERIFY(b.s.tempo_movimento == 1.0f);
    b.ferma(500);
    QCOMPARE(b.s.rip_corrente, 0);
    QCOMPARE(b.s.pos_inversione, 500.0f);
    QCOMPARE(b.s.ripetizioni[0].t_inversione, b.s.tempo_movimento);
    // Past the first second the same stop is a top.
    b.muovi(500, 400, -500, 2);
    b.muovi(400, 700, 500, 8);
    QVERIFY(b.s.tempo_movimento > 1);
    b.ferma(700);
    QCOMPARE(b.s.rip_corrente, 1);
}

void TestAnalisi::ampiezza_uguale_al_minimo_e_scartata_e_i_picchi_proseguono() {
    BancoAnalisi b;
    b.ripetizione(600, 100); // time base
    // A repetition whose rise is exactly the minimum amplitude: the reversal is
    // seen at the first rising sample, 10 mm above the bottom. The descent is
    // slow so that the stop comes past the first second of movement and is
    // judged as a top, on its amplitude alone.
    b.muovi(600, 490, -100, 11);
    b.ferma(490);
    b.muovi(490, 600, 300, 11);
    QCOMPARE(b.s.ripetizioni[1].pos_inversione, 500.0f);
    QVERIFY(b.s.tempo_movimento > 1);
    const float vmin = b.a.vmin_rip, vmax = b.a.vmax_rip;
    QCOMPARE(vmax, 300.0f);
    b.ferma(600);
    QCOMPARE(b.s.pos_inizio_rip, 600.0f); // a top, not a change of direction
    QCOMPARE(b.s.ripetizioni[1].pos_inversione, 500.0f);
    QCOMPARE(b.s.rip_corrente, 1); // rejected, still measuring repetition 1
    QCOMPARE(b.righe(), 0);
    QCOMPARE(b.a.vmin_rip, vmin);
    QCOMPARE(b.a.vmax_rip, vmax);
    // The least float above is enough, and the peaks of the whole stretch count.
    b.muovi(600, 500, -50, 10);
    b.ferma(500);
    // A grinding rise: every step is too slow to add movement time, so the
    // concentric duration is 0 and no mean can be taken from it; the rejected
    // top's must not stand in for it.
    b.muovi(500, 610, 21, 11); // reversal at 510
    b.ferma(static_cast<double>(std::nextafter(610.0f, 1000.0f)));
    QCOMPARE(b.righe(), 1);
    QCOMPARE(QString::fromStdString(b.cella(0, 2)), QString("0.00"));
    QCOMPARE(QString::fromStdString(b.cella(0, 4)), QString("0"));
    QVERIFY(b.s.ripetizioni[1].spost_conc < 100.001f);
    QCOMPARE(QString::fromStdString(b.cella(0, 3)), QString("100"));
    QCOMPARE(QString::fromStdString(b.cella(0, 5)), QString("300")); // vmax from before the rejected top
    QCOMPARE(QString::fromStdString(b.cella(0, 11)), QString("-100"));
    // Neither reversal was more than the minimum below the top (100 and 90 mm):
    // no eccentric phase is measured.
    QCOMPARE(QString::fromStdString(b.cella(0, 8)), QString("0.00"));
    QCOMPARE(QString::fromStdString(b.cella(0, 9)), QString("0"));
}

void TestAnalisi::colore_ai_bordi_della_fascia() {
    using vexa::colore_limiti;
    QCOMPARE(colore_limiti(1100, 1000, 110, 90), vexa::COLORE_VERDE);
    QCOMPARE(colore_limiti(1100.001f, 1000, 110, 90), vexa::COLORE_GIALLO);
    QCOMPARE(colore_limiti(1101, 1000, 110, 90), vexa::COLORE_GIALLO);
    QCOMPARE(colore_limiti(900, 1000, 110, 90), vexa::COLORE_VERDE);
    QCOMPARE(colore_limiti(899.999f, 1000, 110, 90), vexa::COLORE_ROSSO);
    QCOMPARE(colore_limiti(899, 1000, 110, 90), vexa::COLORE_ROSSO);
    // Limits that are not exact in binary: 0.7 * 730 rounds to the float 511.
    QCOMPARE(colore_limiti(511, 730, 100, 70), vexa::COLORE_VERDE);
    // A published repetition in the band is green on both indicators.
    BancoAnalisi b;
    b.s.vel_max = 500;
    b.s.limite_sup = 100;
    b.s.limite_inf = 100;
    b.ripetizione(600, 100);
    b.ripetizione(600, 100);
    QCOMPARE(b.prova.num_vel.c, vexa::COLORE_VERDE);
    QCOMPARE(b.prova.slide.colori.at(1), vexa::COLORE_VERDE);
}

void TestAnalisi::beep_a_ogni_nuovo_picco_in_discesa_e_mai_senza_discesa() {
    BancoAnalisi b;
    b.muovi(0, 500, 400);
    b.campione(500, 10, 0.5f);
    b.campione(500, 0, 0.5f);
    QCOMPARE(b.prova.suono.beep_suonati, 0);
    // -100, -300, -200 (not a new low), -300 (equal, not lower), -350.
    for (float v : {-100.0f, -300.0f, -200.0f, -300.0f, -350.0f}) b.campione(400, v, 0.05f);
    QCOMPARE(b.prova.suono.beep_suonati, 3);
}

void TestAnalisi::record_riusato_non_porta_valori_vecchi() {
    BancoAnalisi b;
    for (int i = 0; i < 3; ++i) b.ripetizione(600, 100);
    QCOMPARE(b.righe(), 2);
    b.s.ripetizioni[1].nota = "ginocchio";
    QVERIFY(b.s.ripetizioni[1].durata_ecc > 0);
    // A new trial whose first repetition barely goes down (slowly, so that the
    // top still comes after the first second): its eccentric phase stays
    // within the minimum amplitude, so nothing of it is measured.
    vexa::azzera_prova(b.s, b.prova.vista);
    vexa::azzera_tempi(b.s);
    b.ripetizione(600, 100);
    b.muovi(600, 550, -40, 20);
    b.ferma(550);
    b.muovi(550, 700, 500, 10);
    b.ferma(700);
    b.ripetizione(700, 100);
    QCOMPARE(b.righe(), 2);
    QCOMPARE(QString::fromStdString(b.cella(0, 3)), QString("135"));
    QCOMPARE(QString::fromStdString(b.cella(0, 14)), QString(""));
    QCOMPARE(QString::fromStdString(b.cella(0, 8)), QString("0.00")); // durata_ecc
    QCOMPARE(QString::fromStdString(b.cella(0, 9)), QString("0"));    // spost_ecc
    QCOMPARE(QString::fromStdString(b.cella(0, 10)), QString("0"));   // vmedia_ecc
}

void TestAnalisi::azzera_prova_svuota_liste_grafici_e_campioni() {
    BancoAnalisi b;
    b.ripetizione(600, 100);
    b.ripetizione(600, 100);
    b.s.campioni.resize(5);
    b.s.n_campioni = 4;
    const auto dimensione = b.s.ripetizioni.size();
    vexa::azzera_prova(b.s, b.prova.vista);
    QCOMPARE(b.righe(), 0);
    QCOMPARE(b.s.rip_corrente, 0);
    QCOMPARE(b.s.n_campioni, 0);
    QCOMPARE(b.s.campioni.size(), std::size_t{1});
    QCOMPARE(b.s.pos_inizio_rip, 0.0f);
    QCOMPARE(b.s.ripetizioni.size(), dimensione); // kept, overwritten as the new trial goes
    QVERIFY(b.prova.grafico1.plot.empty());
    QCOMPARE(b.prova.slide.v, 0.0);
    // Graph 0 restarts from one zero point on velocity and position.
    QCOMPARE(b.prova.grafico0.plot.size(), std::size_t{2});
    QCOMPARE(b.prova.grafico0.plot.at(1).size(), std::size_t{1});
    QCOMPARE(b.prova.grafico0.plot.at(6)[0].x, 0.0);
    vexa::azzera_tempi(b.s);
    QCOMPARE(b.s.fase[0], int16_t{1});
    QCOMPARE(b.s.fase[1], int16_t{0});
}

QTEST_APPLESS_MAIN(TestAnalisi)
#include "test_analisi.moc"
