// The velocity-training figures: against a literal, sample-by-sample reading of
// their definitions on synthesised sets, on streams worked out on paper, and
// through the replay of a saved trial.
#include "analysis/decodifica.h"
#include "banco_analisi.h"
#include "sim/sintetizzatore.h"
#include "trials/riproduzione.h"

#include <QtTest>

#include <cmath>
#include <tuple>

using namespace vexa;
using vexa::test::BancoAnalisi;

namespace {

struct Punto {
    double pos;
    float v, t;
};

// The figures of the repetition just listed, straight from the definitions,
// over the samples of the time base and the index where its phase began.
IndiciVbt riferimento(const std::vector<Punto>& c, std::size_t inizio, const Ripetizione& P, float carico) {
    const auto d = [](float x) { return static_cast<double>(x); };
    const auto acc = [&](std::size_t k) {
        for (std::size_t j = k; j-- > 0;)
            if (d(c[k].t) - d(c[j].t) >= 0.020) return (d(c[k].v) - d(c[j].v)) / (d(c[k].t) - d(c[j].t)) / 1000;
        return 0.0;
    };
    std::size_t picco = inizio, e = c.size() - 1;
    while (picco < e && c[picco].v != P.vmax_conc) ++picco;
    if (c[picco].v != P.vmax_conc) picco = inizio;
    for (std::size_t k = picco + 1; k < c.size() && e == c.size() - 1; ++k)
        if (acc(k) < -9.81) e = k - 1;
    IndiciVbt f;
    const float ds = static_cast<float>(c[e].pos) - P.pos_inversione;
    const float dt = c[e].t - P.t_inversione;
    f.vmp = ds / dt;
    const double v = std::max(0.0, d(c[e].v) / 1000);
    f.potenza_media = carico * (9.81 * d(ds) / 1000 + 0.5 * v * v) / d(dt);
    f.potenza_picco = -1e300;
    for (std::size_t i = inizio; i <= e; ++i)
        f.potenza_picco = std::max(f.potenza_picco, carico * (9.81 + acc(i)) * d(c[i].v) / 1000);
    return f;
}

// A synthesised set fed one record at a time, each listed repetition checked
// against the reference; `indici` gets the figures listed.
void confronta(const sim::DescrizioneSerie& d, int tipo, Collegamento link, float carico,
               std::vector<IndiciVbt>& indici) {
    BancoAnalisi b;
    const ScalaScheda sc = scala_per_tipo(tipo);
    b.s.scala_posizione = sc.posizione;
    b.s.seriale_attiva = link == Collegamento::Seriale;
    b.s.hid_attivo = !b.s.seriale_attiva;
    b.s.carico_kg = carico;
    std::vector<Punto> base;
    std::size_t inizio = 0;
    for (const sim::RecordScheda& r : sim::sintetizza(d, tipo, link).record) {
        const double pos = posizione_mm(r.posizione, sc.posizione);
        const float dt = intervallo_ms(r.intervallo, sc.tempo);
        const auto fase = b.s.fase[0];
        const auto rip = b.s.rip_corrente;
        b.a.Elabora_blocco(0, &pos, &dt);
        base.push_back({pos, static_cast<float>(velocita_passo(sc.posizione, b.s.seriale_attiva, b.s.hid_attivo, dt)),
                        b.s.tempo_movimento});
        if (b.s.rip_corrente != rip) {
            if (rip == 0) { // the first top: a new time base, without the top
                base.clear();
                inizio = 0;
                continue;
            }
            const IndiciVbt atteso = riferimento(base, inizio, b.s.ripetizioni[static_cast<std::size_t>(rip)], carico);
            const IndiciVbt& f = b.s.indici_vbt.back();
            QCOMPARE(f.vmp, atteso.vmp);
            QCOMPARE(f.potenza_media, atteso.potenza_media);
            QVERIFY(qFuzzyCompare(f.potenza_picco, atteso.potenza_picco));
            inizio = base.size();
        } else if (b.s.fase[0] != fase && !(b.s.fase[0] == 1 && b.s.tempo_movimento > 1)) {
            inizio = base.size(); // a change of direction: the phase begins after it
        }
    }
    indici = b.s.indici_vbt;
}

} // namespace

class TestVbt : public QObject {
    Q_OBJECT
private slots:
    void propulsione_fino_alla_frenata_o_alla_cima();
    void perdita_soglia_e_stop_una_volta_per_prova();
    void cima_provvisoria_alla_fine_della_serie();
    void riaperta_la_prova_gli_indici_tornano_uguali();
};

void TestVbt::propulsione_fino_alla_frenata_o_alla_cima() {
    // A half-sine rise of 500 mm at 1600 mm/s brakes harder than gravity over
    // its last third, at 500 mm/s never: then the end is the top, and VMP the
    // mean concentric velocity to the digit, through the demonstration's jitter.
    sim::DescrizioneSerie d;
    for (auto [vconc, rumore, tipo, link] : {std::tuple{1600.0, 0.05, 2, Collegamento::Hid},
                                             std::tuple{1600.0, 0.05, 1, Collegamento::Seriale},
                                             std::tuple{500.0, 0.1, 3, Collegamento::Hid}}) {
        d.vel_conc = vconc;
        d.rumore = rumore;
        std::vector<IndiciVbt> indici;
        confronta(d, tipo, link, 80, indici);
        QCOMPARE(indici.size(), std::size_t{5});
        for (const IndiciVbt& f : indici) {
            if (vconc > 1000)
                QVERIFY2(f.vmp > f.vmedia_conc * 1.05f && f.potenza_picco > f.potenza_media, qPrintable(QString::number(f.vmp)));
            else
                QCOMPARE(f.vmp, f.vmedia_conc);
        }
    }

    // Rise of 450 mm in 9 steps of 50/512 s, ending at rest: with no velocity at
    // the top, the mean power is the lift alone.
    BancoAnalisi b;
    b.s.carico_kg = 80;
    for (int i = 0; i < 2; ++i) b.ripetizione(600, 100, -400, 512);
    QCOMPARE(b.s.indici_vbt.at(0).vmp, 512.0f);
    QCOMPARE(b.s.indici_vbt.at(0).potenza_media, 80 * 9.81 * 0.45 / (9 * 50 / 512.0));
    // The listed peak reached at the change of direction, before the phase:
    // the first sample of the phase stands for it; steady 400 mm/s after.
    b.muovi(600, 100, -400);
    b.ferma(100);
    b.campione(150, 800, 0.0625f);
    b.muovi(150, 600, 400, 9);
    b.ferma(600);
    QCOMPARE(b.s.indici_vbt.back().vmax_conc, 800.0f);
    QCOMPARE(b.s.indici_vbt.back().potenza_picco, 80 * (9.81 * 400) / 1000);
}

void TestVbt::perdita_soglia_e_stop_una_volta_per_prova() {
    // Step times that are exact in binary, so each mean is exact: 512, then
    // the best (640) in the middle, 576, exactly 20 % below the best, below again.
    BancoAnalisi b;
    b.ripetizione(600, 100);
    for (float v : {512.0f, 640.0f, 576.0f, 512.0f, 400.0f}) b.ripetizione(600, 100, -400, v);
    const auto& f = b.s.indici_vbt;
    QCOMPARE(b.prova.vbt.aggiunti.size(), std::size_t{5});
    QVERIFY(f[0].perdita == 0 && f[1].perdita == 0 && std::fabs(f[2].perdita - 10) < 1e-3);
    QCOMPARE(f[3].perdita, 20.0);
    QCOMPARE(f[4].perdita, 37.5);
    // Load 0 (as here): no power at all.
    QVERIFY(f[1].potenza_media == 0 && f[1].potenza_picco == 0 && f[1].vmp == 640.0f);
    // The default 20 % is reached exactly at the fourth: one alert, not two.
    QCOMPARE(b.prova.vbt.stop_dati.size(), std::size_t{1});
    QCOMPARE(b.prova.vbt.stop_dati[0].numero, 4);

    // A new trial (its first top starts the time base again) alerts again; a
    // threshold of 0 never does.
    azzera_prova(b.s, b.prova.vista);
    QVERIFY(b.s.indici_vbt.empty() && b.prova.vbt.aggiunti.empty());
    for (float v : {400.0f, 640.0f, 512.0f, 512.0f}) b.ripetizione(600, 100, -400, v);
    QCOMPARE(b.prova.vbt.stop_dati.size(), std::size_t{2});
    QCOMPARE(b.prova.vbt.stop_dati.back().numero, 2);
    azzera_prova(b.s, b.prova.vista);
    b.s.soglia_perdita = 0;
    for (float v : {400.0f, 640.0f, 512.0f, 400.0f}) b.ripetizione(600, 100, -400, v);
    QCOMPARE(b.s.indici_vbt.back().perdita, 37.5);
    QCOMPARE(b.prova.vbt.stop_dati.size(), std::size_t{2});

    // Exactly on the threshold on paper, a hair under it in binary.
    QVERIFY(soglia_raggiunta(0.57 * 100, 57));
    QVERIFY(!soglia_raggiunta(56.99, 57));
}

void TestVbt::cima_provvisoria_alla_fine_della_serie() {
    BancoAnalisi b;
    b.s.hid_attivo = true;
    b.s.scala_posizione = 1; // one step of 1 mm: below 15 mm/s after 1/15 s
    b.s.carico_kg = 70;
    for (int i = 0; i < 2; ++i) b.ripetizione(600, 100, -400, 512);
    // The last repetition rises and the bar is racked: no record ends it.
    b.muovi(600, 100, -400);
    b.ferma(100);
    QVERIFY(!b.a.ripetizione_provvisoria(1).has_value()); // not rising
    b.muovi(100, 560, 400);
    QVERIFY(!b.a.ripetizione_provvisoria(0.06).has_value());
    const auto p = b.a.ripetizione_provvisoria(0.07);
    QVERIFY(p.has_value());
    QCOMPARE(p->numero, 2);
    QCOMPARE(b.righe(), 1);
    // Its figures are those the listing gives once the top comes at rest there.
    b.ferma(560);
    QCOMPARE(b.righe(), 2);
    QVERIFY(*p == b.s.indici_vbt.back());
    // A rise that stays within the minimum amplitude is no repetition.
    b.muovi(560, 300, -400);
    b.ferma(300);
    b.muovi(300, 390, 400);
    QVERIFY(!b.a.ripetizione_provvisoria(std::numeric_limits<double>::infinity()).has_value());
}

void TestVbt::riaperta_la_prova_gli_indici_tornano_uguali() {
    sim::DescrizioneSerie d;
    d.vel_conc = 1500;
    d.perdita_pct = 6;
    d.rumore = 0.1;
    for (Collegamento link : {Collegamento::Seriale, Collegamento::Hid}) {
        BancoAnalisi dal_vivo;
        dal_vivo.s.carico_kg = 100;
        dal_vivo.s.registrazione_attiva = true;
        const auto serie = sim::sintetizza(d, 2, link);
        riproduci_cattura(link == Collegamento::Seriale ? sim::byte_seriali(serie.record)
                                                        : sim::report_hid(serie.record),
                          link, 2, dal_vivo.s, dal_vivo.prova.vista, dal_vivo.a);
        const std::vector<Campione> campioni(dal_vivo.s.campioni.begin(),
                                             dal_vivo.s.campioni.begin() + dal_vivo.s.n_campioni);
        BancoAnalisi riaperta;
        riaperta.s.carico_kg = 100;
        // A trial measured before leaves nothing behind in the figures.
        for (int i = 0; i < 3; ++i) riaperta.ripetizione(600, 100, -400, 512);
        riproduci_campioni(campioni, riaperta.s, riaperta.prova.vista, riaperta.a);
        QCOMPARE(riaperta.s.indici_vbt.size(), std::size_t{5});
        QVERIFY(riaperta.s.indici_vbt == dal_vivo.s.indici_vbt);
    }
}

QTEST_APPLESS_MAIN(TestVbt)
#include "test_vbt.moc"
