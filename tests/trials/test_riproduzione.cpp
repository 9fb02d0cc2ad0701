// A capture read piece by piece: any split of the bytes gives the rows of the
// whole capture, a capture cut short says how far it got, and the whole-trial
// file written along the way is the one the finished trial would give while
// holding only a few samples. Also the limits a synthesised set must keep.
#include "trials/riproduzione.h"
#include "analysis/vista_memoria.h"
#include "sim/sintetizzatore.h"
#include "trials/file_prova.h"

#include "confronto_righe.h"

#include <QtTest>

#include <algorithm>
#include <random>

using namespace vexa;

namespace {

std::vector<uint8_t> cattura(const sim::DescrizioneSerie& d, Collegamento c, int tipo = 2) {
    const auto serie = sim::sintetizza(d, tipo, c);
    return c == Collegamento::Seriale ? sim::byte_seriali(serie.record) : sim::report_hid(serie.record);
}

struct Corsa {
    Stato s;
    ProvaMemoria prova;
    Analizzatore a{s, prova.vista};
    std::string errore;
    explicit Corsa(float ampiezza_min = 100) {
        s.ampiezza_min = ampiezza_min;
        s.vel_max = 600;
        s.limite_sup = 110;
        s.limite_inf = 90;
    }
    std::vector<std::string> righe() const {
        std::vector<std::string> r;
        for (int i = 0; i < prova.righe(); ++i) r.push_back(prova.riga(i));
        return r;
    }
};

// Piece sizes that cut records and reports everywhere.
const std::size_t PEZZI[] = {1, 5, 7, 11, 13, 63, 65, 127, 4096};

} // namespace

class TestRiproduzione : public QObject {
    Q_OBJECT
private slots:
    void a_pezzi_come_tutta_intera();
    void cattura_troncata_dice_quanto_precede();
    void byte_spuri_costano_al_piu_una_ripetizione();
    void file_intero_scritto_strada_facendo_data();
    void file_intero_scritto_strada_facendo();
    void descrizioni_fuori_misura_rifiutate();
    void passo_oltre_il_campo_dei_tick();
};

void TestRiproduzione::a_pezzi_come_tutta_intera() {
    sim::DescrizioneSerie d;
    d.rumore = 0.1;
    for (Collegamento c : {Collegamento::Seriale, Collegamento::Hid}) {
        auto dati = cattura(d, c);
        // An odd number of serial records: the last one travels alone.
        if (c == Collegamento::Seriale && dati.size() % 12 == 0) dati.resize(dati.size() - 6);
        Corsa intera;
        QCOMPARE(riproduci_cattura(dati, c, 2, intera.s, intera.prova.vista, intera.a), std::string());
        QCOMPARE(intera.prova.righe(), 5);
        for (std::size_t misura : PEZZI) {
            Corsa p;
            RiproduzioneCattura r(c, 2, p.s, p.prova.vista, p.a);
            for (std::size_t i = 0; i < dati.size(); i += misura)
                r.aggiungi(dati.data() + i, std::min(misura, dati.size() - i));
            QCOMPARE(r.fine(), std::string());
            QCOMPARE(p.righe(), intera.righe());
            QCOMPARE(p.s.tempo_totale, intera.s.tempo_totale);
            QCOMPARE(r.record_analizzati(),
                     static_cast<int64_t>(dati.size() / (c == Collegamento::Seriale ? 6 : 8)));
        }
    }
}

void TestRiproduzione::cattura_troncata_dice_quanto_precede() {
    sim::DescrizioneSerie d;
    const auto seriale = cattura(d, Collegamento::Seriale);
    const std::size_t blocchi = (seriale.size() - 6) / 12; // room for a lone record after them
    {
        // Whole blocks and 3 bytes: nothing of the stray bytes is analysed.
        auto dati = std::vector<uint8_t>(seriale.begin(), seriale.begin() + static_cast<long>(blocchi * 12));
        dati.insert(dati.end(), {1, 2, 3});
        Corsa c;
        const std::string e = riproduci_cattura(dati, Collegamento::Seriale, 2, c.s, c.prova.vista, c.a);
        QVERIFY2(e.find("troncata dopo " + std::to_string(blocchi * 2) + " record") != std::string::npos, e.c_str());
        QVERIFY2(e.find("ultimi 3 byte") != std::string::npos, e.c_str());
        QCOMPARE(c.prova.righe(), 5); // the rows before the fault stand
    }
    {
        // A whole lone record before the stray bytes is still analysed.
        auto dati = std::vector<uint8_t>(seriale.begin(), seriale.begin() + static_cast<long>(blocchi * 12 + 6));
        dati.insert(dati.end(), {9, 9, 9, 9, 9});
        Corsa c;
        RiproduzioneCattura r(Collegamento::Seriale, 2, c.s, c.prova.vista, c.a);
        r.aggiungi(dati.data(), dati.size());
        const std::string e = r.fine();
        QVERIFY2(e.find("dopo " + std::to_string(blocchi * 2 + 1) + " record") != std::string::npos, e.c_str());
        QCOMPARE(r.record_analizzati(), static_cast<int64_t>(blocchi * 2 + 1));
    }
    {
        auto dati = cattura(d, Collegamento::Hid);
        const std::size_t report = dati.size() / 64;
        dati.resize(dati.size() + 10, 0);
        Corsa c;
        const std::string e = riproduci_cattura(dati, Collegamento::Hid, 2, c.s, c.prova.vista, c.a);
        QVERIFY2(e.find("HID troncata dopo " + std::to_string(report) + " report (" + std::to_string(report * 8) +
                        " record)") != std::string::npos,
                 e.c_str());
        QVERIFY2(e.find("ultimi 10 byte") != std::string::npos, e.c_str());
    }
    // An empty capture is whole, and says nothing.
    Corsa c;
    QCOMPARE(riproduci_cattura({}, Collegamento::Hid, 2, c.s, c.prova.vista, c.a), std::string());
}

void TestRiproduzione::byte_spuri_costano_al_piu_una_ripetizione() {
    // A loose connector adds bytes, or loses them, anywhere in a set.
    sim::DescrizioneSerie d;
    d.ripetizioni = 8;
    d.rumore = 0.1;
    const auto pulita = cattura(d, Collegamento::Seriale, 1);
    Corsa rif;
    riproduci_cattura(pulita, Collegamento::Seriale, 1, rif.s, rif.prova.vista, rif.a);
    QCOMPARE(rif.prova.righe(), 7);
    std::mt19937 caso(17);
    for (int n = 1; n <= 11; ++n) {
        for (bool aggiunti : {true, false}) {
            for (int volta = 0; volta < 4; ++volta) {
                auto dati = pulita;
                const auto dove = static_cast<long>(std::uniform_int_distribution<std::size_t>(
                    dati.size() / 10, dati.size() * 9 / 10)(caso));
                if (aggiunti) {
                    std::vector<uint8_t> spuri(static_cast<std::size_t>(n));
                    for (auto& b : spuri) b = static_cast<uint8_t>(caso());
                    dati.insert(dati.begin() + dove, spuri.begin(), spuri.end());
                } else {
                    dati.erase(dati.begin() + dove, dati.begin() + dove + n);
                }
                Corsa c;
                RiproduzioneCattura r(Collegamento::Seriale, 1, c.s, c.prova.vista, c.a);
                r.aggiungi(dati.data(), dati.size());
                r.fine();
                const std::string come = std::to_string(n) + (aggiunti ? " aggiunti" : " tolti") + " al byte " +
                                         std::to_string(dove) + ": ";
                const std::string e = test::oltre_una_ripetizione(rif.prova, c.prova);
                QVERIFY2(e.empty(), (come + e).c_str());
                // Every stray byte dropped and counted.
                QVERIFY2(aggiunti ? r.byte_scartati() >= n : n % 6 == 0 || r.byte_scartati() > 0, come.c_str());
            }
        }
    }
}

void TestRiproduzione::file_intero_scritto_strada_facendo_data() {
    QTest::addColumn<int>("collegamento");
    QTest::addColumn<float>("ampiezza_min");
    QTest::addColumn<int>("ripetizioni");
    QTest::addColumn<int>("soglia");
    QTest::addColumn<int>("ricomincia"); // times the written samples are taken back
    for (int link : {0, 1}) {
        const char* n = link ? "hid" : "seriale";
        // Written out before the first counted top, then taken back at it.
        QTest::addRow("%s, soglia bassa", n) << link << 100.0f << 6 << 40 << 1;
        // No top counts: everything stays, nothing is taken back.
        QTest::addRow("%s, nessuna ripetizione", n) << link << 2000.0f << 3 << 40 << 0;
        QTest::addRow("%s, soglia 0", n) << link << 100.0f << 2 << 0 << 1;
        QTest::addRow("%s, mai scaricato", n) << link << 100.0f << 6 << 1000000 << 0;
        // No movement at all: the two header lines.
        QTest::addRow("%s, vuota", n) << link << 100.0f << 0 << 0 << 0;
    }
}

void TestRiproduzione::file_intero_scritto_strada_facendo() {
    QFETCH(int, collegamento);
    QFETCH(float, ampiezza_min);
    QFETCH(int, ripetizioni);
    QFETCH(int, soglia);
    QFETCH(int, ricomincia);
    const Collegamento c = collegamento ? Collegamento::Hid : Collegamento::Seriale;
    sim::DescrizioneSerie d;
    d.ripetizioni = ripetizioni;
    d.movimento_finale_mm = ripetizioni ? 40 : 0;
    auto dati = cattura(d, c);
    FormatoLocale f;
    f.separatore = ',';

    // The trial as the program holds it at the end, nothing written before.
    Corsa intera(ampiezza_min);
    intera.s.registrazione_attiva = true;
    QCOMPARE(riproduci_cattura(dati, c, 2, intera.s, intera.prova.vista, intera.a), std::string());
    const std::string atteso = testo_file_intero(intera.s.campioni, intera.s.n_campioni, f);

    for (std::size_t misura : {std::size_t{7}, std::size_t{64}, std::size_t{1000}}) {
        Corsa p(ampiezza_min);
        p.s.registrazione_attiva = true;
        std::string scritto;
        int ricominciato = 0;
        ProvaInteraInCorso file(
            f, [&](std::string_view t) { scritto += t; },
            [&] {
                scritto.clear();
                ++ricominciato;
            },
            static_cast<std::size_t>(soglia));
        RiproduzioneCattura r(c, 2, p.s, p.prova.vista, p.a);
        std::size_t piu_campioni = 0;
        for (std::size_t i = 0; i < dati.size(); i += misura) {
            r.aggiungi(dati.data() + i, std::min(misura, dati.size() - i));
            file.scarica(p.s);
            piu_campioni = std::max(piu_campioni, p.s.campioni.size());
        }
        QCOMPARE(r.fine(), std::string());
        file.chiudi(p.s);
        QCOMPARE(scritto, atteso);
        QCOMPARE(p.righe(), intera.righe());
        // Held: at most the threshold plus what one piece of bytes brings.
        QVERIFY(piu_campioni <= static_cast<std::size_t>(soglia) + misura / 6 + 2);
        QCOMPARE(ricominciato, ricomincia);
    }
}

void TestRiproduzione::descrizioni_fuori_misura_rifiutate() {
    struct Caso {
        const char* testo;
        const char* messaggio;
    };
    const Caso casi[] = {
        {"ampiezza=1e9", "fuori intervallo, da 1 a 3000 mm"},
        {"vconc=1e-9", "fuori intervallo, da 1 a 5000 mm/s"},
        {"pausa_alto=1000", "fuori intervallo, da 0 a 60 s"},
        {"pausa_basso=-1", "da 0 a 60 s"},
        {"ampiezza=-500", "escursione, non puo' essere negativa"},
        {"finale=-40", "escursione, non puo' essere negativa"},
        {"vecc=-400", "velocita' media senza segno, non puo' essere negativa"},
        {"ripetizioni=2.5", "numero intero da 0 a 1000"},
        {"ripetizioni=1001", "da 0 a 1000"},
        {"rumore=0.6", "da 0 a 0.5"},
        {"inizio=20000", "da -10000 a 10000 mm"},
        {"vconc=tanto", "serve un numero da 1 a 5000 mm/s"},
        {"colore=rosso", "voce sconosciuta: colore"},
    };
    for (const Caso& c : casi) {
        sim::DescrizioneSerie d;
        const std::string e = sim::leggi_descrizione(c.testo, d);
        QVERIFY2(e.find(c.messaggio) != std::string::npos, (std::string(c.testo) + " -> " + e).c_str());
    }
    sim::DescrizioneSerie d;
    QCOMPARE(sim::leggi_descrizione("ripetizioni=3,inizio=-10000,ampiezza=3000,finale=3000,seme=4294967295,vconc=5000", d),
             std::string());
    QCOMPARE(d.seme, 4294967295u);
    // The extremes still fit every board: positions and steps.
    for (int tipo : {1, 2, 3, 7})
        for (Collegamento c : {Collegamento::Seriale, Collegamento::Hid})
            QCOMPARE(sim::verifica_serie(d, tipo, c), std::string());
}

void TestRiproduzione::passo_oltre_il_campo_dei_tick() {
    // Movements shorter than a serial record's six counts send no record at
    // all: the first record after ten such repetitions spans all of them.
    sim::DescrizioneSerie d;
    QVERIFY(sim::leggi_descrizione("ripetizioni=10,ampiezza=5,pausa_alto=60,pausa_basso=60", d).empty());
    const std::string e = sim::verifica_serie(d, 3, Collegamento::Seriale);
    QVERIFY2(e.find("campo dei tick") != std::string::npos && e.find("al massimo 179.0") != std::string::npos,
             e.c_str());
    // Type 1's coarser tick holds 429 s, still too little.
    QVERIFY(!sim::verifica_serie(d, 1, Collegamento::Seriale).empty());
    // On HID every count is a record: the longest step is one pause.
    QCOMPARE(sim::verifica_serie(d, 3, Collegamento::Hid), std::string());
    for (const auto& r : sim::sintetizza(d, 3, Collegamento::Hid).record)
        QVERIFY(std::abs(static_cast<int64_t>(r.intervallo)) < INT32_MAX);
}

QTEST_APPLESS_MAIN(TestRiproduzione)
#include "test_riproduzione.moc"
