// The recording journal's bytes: what goes in comes back, a torn or damaged
// record stops the reading at the last whole one, and the trial recovered
// from a journal is the one the live analysis recorded and listed.
#include "trials/giornale.h"
#include "analysis/vista_memoria.h"
#include "sim/sintetizzatore.h"
#include "trials/riproduzione.h"

#include <QtTest>

using namespace vexa;

namespace {

IntestazioneGiornale intestazione() {
    IntestazioneGiornale i;
    i.inizio = {2024, 3, 5, 9, 7, 3};
    i.nome_atleta = "Niccolò \\ Rossi\nsecondo";
    i.esercizio = "squat";
    i.cartella_atleta = "/dati/Squadra A/Niccolò";
    i.carico_kg = 82.5f;
    i.vel_max = 520;
    i.limite_sup = 110;
    i.limite_inf = 90;
    i.ampiezza_min = 100;
    i.seriale = true;
    i.tipo_scheda = 3;
    i.scala_posizione = 1;
    i.scala_tempo = 0.0000833333f;
    return i;
}

} // namespace

class TestGiornale : public QObject {
    Q_OBJECT
private slots:
    void tutto_torna_anche_dopo_una_ripartenza();
    void fine_strappata_o_danneggiata();
    void prova_recuperata_come_registrata_dal_vivo();
};

void TestGiornale::tutto_torna_anche_dopo_una_ripartenza() {
    const std::vector<Campione> c = {{600, 0.0125f, 0.0125f, 617.3f}, {607, 0.01f, 0.0225f, 772.8f},
                                     {614, -0.3f, 0.3225f, 0}};
    // Two samples, then the analysis starts the recording again at the first counted top.
    const std::string g = inizio_giornale(intestazione()) + record_campioni(0, c.data(), 2) +
                          record_campioni(0, c.data() + 2, 1) + record_campioni(1, c.data(), 1);
    const GiornaleLetto l = leggi_giornale(g);
    QVERIFY(l.integro);
    QVERIFY(l.intestazione_letta);
    QCOMPARE(l.byte_validi, g.size());
    const IntestazioneGiornale& i = l.intestazione;
    QCOMPARE(i.nome_atleta, intestazione().nome_atleta);
    QCOMPARE(i.cartella_atleta, intestazione().cartella_atleta);
    QCOMPARE(i.inizio.secondo, 3);
    QCOMPARE(i.carico_kg, 82.5f);
    QCOMPARE(i.scala_tempo, 0.0000833333f);
    QVERIFY(i.seriale && !i.hid);
    QCOMPARE(l.n_campioni, 2);
    QCOMPARE(l.campioni[0].intervallo, -0.3f);
    QCOMPARE(l.campioni[1].velocita, 617.3f);
}

void TestGiornale::fine_strappata_o_danneggiata() {
    std::vector<Campione> c(100);
    for (int k = 0; k < 100; ++k) c[static_cast<std::size_t>(k)] = {static_cast<float>(k), 0.01f, 0.01f * k, 600};
    const std::string testa = inizio_giornale(intestazione());
    const std::string primo = record_campioni(0, c.data(), 60);
    const std::string g = testa + primo + record_campioni(60, c.data() + 60, 40);
    // Cut anywhere: whole records only, and the cut is told apart from a whole file.
    for (std::size_t n = testa.size(); n < g.size(); ++n) {
        const GiornaleLetto l = leggi_giornale(std::string_view(g).substr(0, n));
        const bool dopo_il_primo = n >= testa.size() + primo.size();
        QCOMPARE(l.n_campioni, dopo_il_primo ? 60 : 0);
        QCOMPARE(l.integro, n == testa.size() || n == testa.size() + primo.size());
        QCOMPARE(l.byte_validi, dopo_il_primo ? testa.size() + primo.size() : testa.size());
    }
    // A byte changed inside the second record: its checksum says so.
    std::string guasto = g;
    guasto[testa.size() + primo.size() + 30] ^= 0x40;
    const GiornaleLetto l = leggi_giornale(guasto);
    QVERIFY(!l.integro);
    QCOMPARE(l.n_campioni, 60);
    QVERIFY(l.guasto.find("danneggiato") != std::string::npos);
    // Not a journal at all.
    QVERIFY(!leggi_giornale("Vexa01;\r\n").intestazione_letta);
}

void TestGiornale::prova_recuperata_come_registrata_dal_vivo() {
    // A set recorded through the analysis, every sample also journaled.
    Stato s;
    s.ampiezza_min = 100;
    s.vel_max = 520;
    s.limite_sup = 110;
    s.limite_inf = 90;
    s.nome_atleta = "Mario Rossi";
    s.esercizio = "squat";
    s.carico_kg = 60;
    s.registrazione_attiva = true;
    ProvaMemoria prova;
    Analizzatore a(s, prova.vista);
    FormatoLocale f;
    f.separatore = ',';
    a.separatore = f.separatore;
    std::string g;
    a.su_campione = [&](int32_t i, const Campione& c) {
        if (g.empty()) g = inizio_giornale(intestazione_da_stato(s, {2024, 3, 5, 9, 7, 3}));
        g += record_campioni(i, &c, 1);
    };
    sim::DescrizioneSerie d;
    d.rumore = 0.1;
    QCOMPARE(riproduci_cattura(sim::byte_seriali(sim::sintetizza(d, 1, Collegamento::Seriale).record),
                               Collegamento::Seriale, 1, s, prova.vista, a),
             std::string());
    QCOMPARE(prova.righe(), 5);

    const ProvaRecuperata r = ricostruisci_prova(leggi_giornale(g), f);
    QCOMPARE(r.intero, testo_file_intero(s.campioni, s.n_campioni, f));
    QCOMPARE(r.righe, 5);
    QCOMPARE(r.dati, testo_file_dati("Mario Rossi", "squat", 60, righe_risultati(prova.vista, s.ripetizioni),
                                     {2024, 3, 5, 9, 7, 3}, f));
}

QTEST_APPLESS_MAIN(TestGiornale)
#include "test_giornale.moc"
