// The load-velocity profile and the saved sets it is drawn from, without a
// database or a display: the figures of sets whose velocities are known, the
// reasons given instead of a number, and results files read back under either
// decimal separator with their velocity-training figures.
#include "storico/profilo.h"
#include "storico/serie_letta.h"

#include "serie_storico.h"

#include <QtTest>

using namespace vexa;
using namespace vexa::prova;

namespace {

SerieLetta leggi(const std::string& dati, std::optional<std::string> vbt = {}) {
    std::optional<std::string_view> v;
    if (vbt) v = *vbt;
    auto r = leggi_serie(dati, v);
    if (auto* e = std::get_if<std::string>(&r)) qFatal("serie non letta: %s", e->c_str());
    return std::get<SerieLetta>(r);
}

std::string errore(const std::string& dati) {
    auto r = leggi_serie(dati);
    return std::holds_alternative<std::string>(r) ? std::get<std::string>(r) : std::string();
}

bool contiene(const std::string& t, const char* pezzo) { return t.find(pezzo) != std::string::npos; }

} // namespace

class TestProfilo : public QObject {
    Q_OBJECT
private slots:
    void retta_e_massimale_esatti();
    void stima_rifiutata_con_il_motivo();
    void una_stima_per_settimana();
    void serie_rilette_con_entrambi_i_separatori();
    void file_delle_velocita_che_non_combacia();
    void file_dei_risultati_rotti();
    void profilo_esportato();
};

void TestProfilo::retta_e_massimale_esatti() {
    // 1400 - 10 kg, with two sets at 60 kg either side of the line: the
    // line stays, R² falls below 1 by the residuals.
    const std::vector<PuntoProfilo> p = {{40, 1000}, {50, 900}, {60, 810}, {60, 790}, {80, 600}, {100, 400}};
    const Profilo r = calcola_profilo(p, 300);
    QCOMPARE(r.punti, 6);
    QCOMPARE(r.carichi_distinti, 5);
    QVERIFY(r.pendenza && *r.pendenza == -10.0);
    QVERIFY(r.intercetta && *r.intercetta == 1400.0);
    QVERIFY(r.massimale && *r.massimale == 110.0);
    QVERIFY(r.r2);
    QCOMPARE(*r.r2, 1.0 - 200.0 / 235200.0);
    QVERIFY(r.motivo.empty());
    // The threshold moves the estimate along the same line.
    QVERIFY(*calcola_profilo(p, 500).massimale == 90.0);
    // Loads far from zero keep every digit of the slope.
    const Profilo lontano = calcola_profilo({{1000000, 700}, {1000002, 680}}, 300);
    QVERIFY(*lontano.pendenza == -10.0);
    QVERIFY(*lontano.massimale == 1000040.0);
}

void TestProfilo::stima_rifiutata_con_il_motivo() {
    const Profilo vuoto = calcola_profilo({}, 300);
    QVERIFY(!vuoto.pendenza && !vuoto.massimale);
    QVERIFY(contiene(vuoto.motivo, "Nessuna serie"));

    const Profilo un_carico = calcola_profilo({{80, 620}, {80, 600}}, 300);
    QCOMPARE(un_carico.carichi_distinti, 1);
    QVERIFY(!un_carico.pendenza && !un_carico.massimale);
    QVERIFY(contiene(un_carico.motivo, "due carichi diversi"));

    const Profilo sale = calcola_profilo({{60, 700}, {80, 750}}, 300);
    QVERIFY(sale.pendenza && *sale.pendenza > 0);
    QVERIFY(!sale.massimale);
    QVERIFY(contiene(sale.motivo, "non cala"));

    const Profilo piatta = calcola_profilo({{60, 700}, {80, 700}}, 300);
    QVERIFY(!piatta.massimale && !piatta.r2);
    QVERIFY(contiene(piatta.motivo, "non cala"));

    // A threshold above the line's velocity at no load would give a load
    // below zero.
    const Profilo sopra = calcola_profilo({{40, 1000}, {80, 600}}, 1500);
    QVERIFY(sopra.pendenza && !sopra.massimale);
    QVERIFY(contiene(sopra.motivo, "carico nullo"));
}

void TestProfilo::una_stima_per_settimana() {
    QCOMPARE(lunedi_della_settimana(0), int64_t(-3));          // Thursday 1 January 1970
    QCOMPARE(lunedi_della_settimana(20765), int64_t(20759));   // Sunday 8 November 2026
    QCOMPARE(lunedi_della_settimana(20759), int64_t(20759));
    QCOMPARE(lunedi_della_settimana(-10), int64_t(-10));       // a Monday before 1970
    // The week of 2 November has two loads; the next one only one.
    const auto stime = stime_settimanali({{20766, {60, 800}}, {20761, {50, 900}}, {20759, {40, 1000}}}, 300);
    QCOMPARE(stime.size(), std::size_t(1));
    QCOMPARE(stime[0].lunedi, int64_t(20759));
    QVERIFY(*stime[0].profilo.massimale == 110.0);
}

void TestProfilo::serie_rilette_con_entrambi_i_separatori() {
    for (char sep : {'.', ','}) {
        SerieDiProva s;
        s.atleta = "Niccol\xC3\xB2";
        s.carico = 82.5f;
        s.quando = {2026, 11, 2, 9, 7, 3};
        s.vmedia = {950, 1004, 980};
        s.separatore = sep;
        s.nota = "buona; veloce";
        const std::vector<FigureDiProva> figure = {{951, 1100, 0}, {1003, 1150, 0}, {979, 1120, 2.4f}};
        const SerieLetta l = leggi(testo_dati(s), testo_vbt(figure, sep));
        QCOMPARE(l.atleta, s.atleta);
        QCOMPARE(l.esercizio, std::string("Squat"));
        QCOMPARE(l.carico_kg, 82.5);
        QCOMPARE(l.quando.giorno, 2);
        QCOMPARE(l.quando.mese, 11);
        QCOMPARE(l.quando.anno, 2026);
        QCOMPARE(l.quando.ora, 9);
        QCOMPARE(l.quando.secondo, 3);
        QCOMPARE(l.ripetizioni.size(), std::size_t(3));
        QCOMPARE(l.ripetizioni[2].numero, 3);
        QCOMPARE(*l.ripetizioni[1].valore(ColonnaRisultati::tempo), 3.1);
        QCOMPARE(*l.ripetizioni[1].valore(ColonnaRisultati::spost_ecc), -450.0);
        QCOMPARE(l.ripetizioni[2].nota, std::string("buona; veloce"));
        QVERIFY(l.con_vbt && l.avviso.empty());
        QCOMPARE(*l.vmedia_migliore(), 1004.0);
        QCOMPARE(*l.vmp_migliore(), 1150.0);
        QCOMPARE(*l.perdita_finale(), 2.4);
        QCOMPARE(*l.ripetizioni[0].vbt.pmax, 950.0);
    }
    // Without its velocity-training file a set has no VMP and no loss.
    SerieDiProva s;
    s.carico = 60;
    s.vmedia = {800};
    s.quando = {2026, 11, 9, 18, 0, 0};
    const SerieLetta l = leggi(testo_dati(s));
    QVERIFY(!l.con_vbt && !l.vmp_migliore() && !l.perdita_finale());
    QCOMPARE(*l.vmedia_migliore(), 800.0);
}

void TestProfilo::file_delle_velocita_che_non_combacia() {
    SerieDiProva s;
    s.carico = 60;
    s.vmedia = {800, 780};
    s.quando = {2026, 11, 9, 18, 0, 0};
    // A repetition the results do not list: none of the figures is taken.
    const SerieLetta in_piu = leggi(testo_dati(s), testo_vbt({{800, 900, 0}, {780, 880, 1}, {700, 800, 9}}, '.'));
    QVERIFY(!in_piu.con_vbt);
    QVERIFY(contiene(in_piu.avviso, "riga 4"));
    QVERIFY(!in_piu.ripetizioni[0].vbt.vmp);
    const SerieLetta altro = leggi(testo_dati(s), std::string("Vexa01;\r\n"));
    QVERIFY(!altro.con_vbt && contiene(altro.avviso, "intestazione"));
    QCOMPARE(*altro.vmedia_migliore(), 800.0);
}

void TestProfilo::file_dei_risultati_rotti() {
    SerieDiProva s;
    s.carico = 60;
    s.vmedia = {800, 780};
    s.quando = {2026, 2, 28, 18, 0, 0};
    const std::string buono = testo_dati(s);
    QVERIFY(sembra_file_dati(buono.substr(0, 200)));
    QVERIFY(!sembra_file_dati("Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n"));
    QVERIFY(contiene(errore("Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n"), "non \xC3\xA8 un file dei risultati"));

    std::string data = buono;
    data.replace(0, 2, "29"); // 29 February 2026
    QVERIFY(contiene(errore(data), "riga 1"));
    std::string numero = buono;
    numero.replace(numero.find("780"), 3, "7x0");
    QVERIFY(contiene(errore(numero), "riga 4: \"7x0.00\""));
    std::string doppia = buono;
    doppia.replace(doppia.find(" 2 "), 3, " 1 ");
    QVERIFY(contiene(errore(doppia), "compare due volte"));
    std::string corta = buono.substr(0, buono.rfind(";-450")) + "\r\n";
    QVERIFY(contiene(errore(corta), "mancano dei campi"));
    // A set without repetitions reads, with nothing in it.
    s.vmedia.clear();
    QVERIFY(leggi(testo_dati(s)).ripetizioni.empty());
}

void TestProfilo::profilo_esportato() {
    IntestazioneProfilo i;
    i.atleta = "Niccol\xC3\xB2";
    i.squadra = "Prima squadra";
    i.esercizio = "Squat";
    i.dal = {2026, 10, 1};
    i.al = {2026, 12, 31};
    const std::vector<PuntoDatato> punti = {{{2026, 11, 2}, "Prima squadra/x dati.csv", {40, 1000}},
                                            {{2026, 11, 16}, "Prima squadra/y dati.csv", {80, 600}}};
    std::vector<PuntoProfilo> p;
    for (const auto& x : punti) p.push_back(x.punto);
    FormatoLocale f;
    f.separatore = ',';
    const std::string t = testo_profilo(i, punti, calcola_profilo(p, 300), f);
    QVERIFY(contiene(t, "Atleta;Niccol\xF2;\r\nSquadra;Prima squadra;\r\n"));
    QVERIFY(contiene(t, "Dal;01 10 2026;\r\nAl;31 12 2026;\r\nVelocita a 1RM (mm/s);300;\r\n"));
    QVERIFY(contiene(t, "\r\n02 11 2026;40,0;1000;Prima squadra/x dati.csv;\r\n"));
    QVERIFY(contiene(t, "Carichi distinti;2;\r\nPendenza (mm/s per kg);-10,00;\r\nIntercetta (mm/s);1400;\r\n"
                        "R2;1,0000;\r\nMassimale stimato (kg);110,0;\r\nMotivo;;\r\n"));
    const std::string rifiutato = testo_profilo(i, {punti[0]}, calcola_profilo({p[0]}, 300), f);
    QVERIFY(contiene(rifiutato, "Pendenza (mm/s per kg);;\r\n"));
    QVERIFY(contiene(rifiutato, "Massimale stimato (kg);;\r\nMotivo;Servono serie"));
}

QTEST_APPLESS_MAIN(TestProfilo)
#include "test_profilo.moc"
