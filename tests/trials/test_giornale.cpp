// The recording journal's bytes: what goes in comes back, a torn or damaged
// record stops the reading at the last whole one, and the trial recovered
// from a journal is the one the live analysis recorded and listed.
#include "analysis/vista_memoria.h"
#include "sim/sintetizzatore.h"
#include "trials/giornale.h"
#include "trials/riproduzione.h"

#include <QtTest>

using namespace vexa;

class TestGiornale : public QObject {
    Q_OBJECT
  private slots:
    void tutto_torna_fino_all_ultimo_record_intero();
    void prova_recuperata_come_registrata_dal_vivo();
};

void TestGiornale::tutto_torna_fino_all_ultimo_record_intero() {
    IntestazioneGiornale i;
    i.nome_atleta = "Niccolò \\ Rossi\nsecondo";
    i.carico_kg = 82.5f;
    i.scala_tempo = 0.0000833333f;
    std::vector<Campione> c(100, Campione{600, 0.01f, 0.5f, 600});
    c[99].intervallo = -0.3f;
    const std::string testa = inizio_giornale(i);
    // 60 samples, then the analysis starts the recording again (the first
    // counted top) and records 40 more.
    const std::string primo = record_campioni(0, c.data(), 60);
    const std::string g = testa + primo + record_campioni(0, c.data() + 60, 40);
    const GiornaleLetto l = leggi_giornale(g);
    QVERIFY(l.integro);
    QCOMPARE(l.intestazione.nome_atleta, i.nome_atleta);
    QCOMPARE(l.intestazione.carico_kg, 82.5f);
    QCOMPARE(l.intestazione.scala_tempo, 0.0000833333f);
    QCOMPARE(l.n_campioni, 40);
    QCOMPARE(l.campioni[39].intervallo, -0.3f);
    // Cut anywhere: whole records only, and the cut told apart from a whole file.
    for (std::size_t n = testa.size(); n < g.size(); ++n) {
        const GiornaleLetto t = leggi_giornale(std::string_view(g).substr(0, n));
        QCOMPARE(t.n_campioni, n >= testa.size() + primo.size() ? 60 : 0);
        QCOMPARE(t.integro, n == testa.size() || n == testa.size() + primo.size());
    }
    // A byte changed inside the second record: its checksum says so.
    std::string guasto = g;
    guasto[testa.size() + primo.size() + 30] ^= 0x40;
    const GiornaleLetto d = leggi_giornale(guasto);
    QVERIFY(!d.integro);
    QCOMPARE(d.n_campioni, 60);
    QCOMPARE(d.byte_validi, testa.size() + primo.size());
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
    const DataOra inizio{2024, 3, 5, 9, 7, 3};
    std::string g;
    a.su_campione = [&](int32_t i, const Campione& c) {
        if (g.empty()) g = inizio_giornale(intestazione_da_stato(s, inizio));
        g += record_campioni(i, &c, 1);
    };
    sim::DescrizioneSerie d;
    d.rumore = 0.1;
    const auto cattura = sim::byte_seriali(sim::sintetizza(d, 1, Collegamento::Seriale).record);
    QCOMPARE(riproduci_cattura(cattura, Collegamento::Seriale, 1, s, prova.vista, a),
             std::string());
    QCOMPARE(prova.righe(), 5);

    const ProvaRecuperata r = ricostruisci_prova(leggi_giornale(g), f);
    QCOMPARE(r.intero, testo_file_intero(s.campioni, s.n_campioni, f));
    QCOMPARE(r.dati, testo_file_dati("Mario Rossi", "squat", 60,
                                     righe_risultati(prova.vista, s.ripetizioni), inizio, f));
}

QTEST_APPLESS_MAIN(TestGiornale)
#include "test_giornale.moc"
