// The trial files without a display: both layouts byte for byte against
// hand-written files, the readers of "Apri..." on good and broken input, and
// a recorded trial replayed from its file against the live analysis.
#include "trials/riproduzione.h"
#include "analysis/vista_memoria.h"
#include "sim/sintetizzatore.h"
#include "trials/file_prova.h"
#include "trials/file_vbt.h"

#include <QtTest>

#include <cstring>
#include <fstream>
#include <sstream>

using namespace vexa;

namespace {

std::string fixture(const char* nome) {
    std::string percorso = __FILE__;
    percorso = percorso.substr(0, percorso.find_last_of("/\\") + 1) + "../fixtures/prove/" + nome;
    std::ifstream f(percorso, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

FormatoLocale formato(char separatore) {
    FormatoLocale f;
    f.separatore = separatore;
    return f;
}

const std::vector<Campione> TRE_CAMPIONI = {
    {600.0f, 0.0125f, 0.0125f, 0.0f},
    {593.5f, -0.01f, 1.5f, -412.25f},
    {-3.0f, 0.00005f, 2.25f, 5000.0f},
};

std::vector<RigaRisultati> due_righe(char sep) {
    auto t = [sep](std::string s) {
        for (char& c : s)
            if (c == '.') c = sep;
        return s;
    };
    RigaRisultati a, b;
    a.colonne = {"1", t("0.00"), t("0.90"), "450", "500", "500", t("1.35"), "150", t("1.35"),
                 "-450", "-333", "-400", t("0.13"), "50", ""};
    b.colonne = {"2", t("3.25"), t("0.88"), "451", "512", "-0", t("1.3"), "149", t("1.36"),
                 "-451", "-332", "-401", t("0.12"), "51", "buona ripetizione, pi\xC3\xB9 veloce"};
    b.nota = "buona ripetizione, pi\xC3\xB9 veloce";
    return {a, b};
}

const DataOra QUANDO{2024, 3, 5, 9, 7, 3};

int righe_di(const std::string& t) {
    int n = 0;
    for (std::size_t i = 0; (i = t.find("\r\n", i)) != std::string::npos; i += 2) ++n;
    return n;
}

// A recording as the live path makes it: the capture goes through the
// analysis with recording on from the start.
struct Registrazione {
    Stato s;
    ProvaMemoria prova;
    Analizzatore a{s, prova.vista};
    Registrazione(const sim::DescrizioneSerie& d, int tipo, Collegamento c, float ampiezza_min, char sep) {
        imposta(s, ampiezza_min);
        s.registrazione_attiva = true;
        a.separatore = sep;
        const auto serie = sim::sintetizza(d, tipo, c);
        const auto dati = c == Collegamento::Seriale ? sim::byte_seriali(serie.record) : sim::report_hid(serie.record);
        riproduci_cattura(dati, c, tipo, s, prova.vista, a);
    }
    static void imposta(Stato& s, float ampiezza_min) {
        s.ampiezza_min = ampiezza_min;
        s.vel_max = 600;
        s.limite_sup = 110;
        s.limite_inf = 90;
    }
};

// The recording's file read back and replayed into a fresh trial whose
// program knows nothing of the link that recorded it.
struct Riapertura {
    Stato s;
    ProvaMemoria prova;
    Analizzatore a{s, prova.vista};
    EsitoRiproduzione esito;
    std::string file;
    Riapertura(const Registrazione& r, float ampiezza_min, char sep) {
        Registrazione::imposta(s, ampiezza_min);
        a.separatore = sep;
        file = testo_file_intero(r.s.campioni, r.s.n_campioni, formato(sep));
        auto letta = leggi_file_prova(file);
        if (auto* p = std::get_if<ProvaLetta>(&letta)) esito = riproduci_campioni(p->campioni, s, prova.vista, a);
    }
};

} // namespace

class TestFileProva : public QObject {
    Q_OBJECT
private slots:
    void file_intero_byte_per_byte_data();
    void file_intero_byte_per_byte();
    void file_intero_scrive_ogni_campione();
    void file_dati_byte_per_byte_data();
    void file_dati_byte_per_byte();
    void file_dati_casi_limite();
    void nomi_dei_file();
    void file_vbt_nei_due_separatori();
    void lettura_file_intero_tollerante();
    void lettura_file_intero_danneggiato();
    void lettura_pesi01();
    void riproduzione_rende_la_prova_data();
    void riproduzione_rende_la_prova();
    void riproduzione_senza_cima_e_con_zeri_in_testa();
};

void TestFileProva::file_intero_byte_per_byte_data() {
    QTest::addColumn<char>("separatore");
    QTest::addColumn<QString>("atteso");
    QTest::newRow("punto") << '.' << "intero_punto.csv";
    QTest::newRow("virgola") << ',' << "intero_virgola.csv";
}

void TestFileProva::file_intero_byte_per_byte() {
    QFETCH(char, separatore);
    QFETCH(QString, atteso);
    const std::string file = fixture(atteso.toLatin1().constData());
    QVERIFY(!file.empty());
    QCOMPARE(testo_file_intero(TRE_CAMPIONI, 3, formato(separatore)), file);

    // Read back: the written values, either separator.
    auto letta = leggi_file_prova(file);
    QVERIFY(std::holds_alternative<ProvaLetta>(letta));
    const ProvaLetta& p = std::get<ProvaLetta>(letta);
    QCOMPARE(p.formato, ProvaLetta::Formato::Vexa01);
    QCOMPARE(p.campioni.size(), std::size_t{3});
    QCOMPARE(p.campioni[1].tempo, 1.5f);
    QCOMPARE(p.campioni[1].posizione, 594.0f);
    QCOMPARE(p.campioni[1].velocita, -412.25f);
    QCOMPARE(p.campioni[1].intervallo, -0.01f);
    QCOMPARE(p.campioni[2].posizione, -3.0f);
}

void TestFileProva::file_intero_scrive_ogni_campione() {
    // The whole buffer, first and last sample included; n beyond the buffer
    // takes what there is, n short of it only the front.
    const std::string vuoto = fixture("intero_vuoto.csv");
    QCOMPARE(testo_file_intero({}, 0, formato('.')), vuoto);
    QCOMPARE(testo_file_intero(std::vector<Campione>(1), 0, formato('.')), vuoto);
    QCOMPARE(righe_di(testo_file_intero(TRE_CAMPIONI, 99, formato('.'))), 5);
    const std::string uno = testo_file_intero(TRE_CAMPIONI, 1, formato('.'));
    QCOMPARE(uno, vuoto + "0.0125;600;0.0000;0.01250\r\n");
    // A buffer of one zeroed record (recording just switched on) is one line.
    QCOMPARE(testo_file_intero(std::vector<Campione>(1), 1, formato(',')), vuoto + "0,0000;0;0,0000;0,00000\r\n");
}

void TestFileProva::file_dati_byte_per_byte_data() {
    QTest::addColumn<char>("separatore");
    QTest::addColumn<QString>("atteso");
    QTest::newRow("punto") << '.' << "dati_punto.csv";
    QTest::newRow("virgola") << ',' << "dati_virgola.csv";
}

void TestFileProva::file_dati_byte_per_byte() {
    QFETCH(char, separatore);
    QFETCH(QString, atteso);
    const std::string file = fixture(atteso.toLatin1().constData());
    QVERIFY(!file.empty());
    QCOMPARE(testo_file_dati("Mario Rossi", "Squat", 82.5f, due_righe(separatore), QUANDO, formato(separatore)), file);
}

void TestFileProva::file_dati_casi_limite() {
    const std::string intestazione = fixture("dati_punto.csv").substr(0, fixture("dati_punto.csv").find("Mario"));
    // No repetitions: the two header lines.
    QCOMPARE(testo_file_dati("Mario Rossi", "Squat", 82.5f, {}, QUANDO, formato('.')), intestazione);

    // A note with line breaks stays on its repetition's line; the time
    // separator is the locale's.
    RigaRisultati r = due_righe('.')[0];
    r.nota = "prima\r\nseconda\nterza";
    FormatoLocale f = formato('.');
    f.separatore_ora = ".";
    const std::string t = testo_file_dati("A", "B", 0, {r}, {2024, 12, 31, 23, 59, 59}, f);
    QCOMPARE(righe_di(t), 3);
    QVERIFY(t.starts_with("31 12 2024;23.59.59;\r\n"));
    QVERIFY(t.ends_with(";prima  seconda terza;\r\n"));

    // The rows come from the values list and the notes from the repetition records.
    ProvaMemoria p;
    std::vector<Ripetizione> rip(3);
    rip[2].nota = "seconda";
    for (const auto& riga : due_righe('.'))
        for (std::size_t j = 0; j < riga.colonne.size(); ++j) p.colonne[j].aggiungi(riga.colonne[j]);
    const auto righe = righe_risultati(p.vista, rip);
    QCOMPARE(righe.size(), std::size_t{2});
    QCOMPARE(righe[1].colonne[3], std::string("451"));
    QCOMPARE(righe[0].nota, std::string());
    QCOMPARE(righe[1].nota, std::string("seconda"));
}

void TestFileProva::nomi_dei_file() {
    FormatoLocale f;
    QCOMPARE(nome_automatico(QUANDO, f), std::string("2024  mar 05  9:07:3"));
    f.separatore_ora = ".";
    QCOMPARE(nome_automatico({2023, 12, 1, 23, 59, 0}, f), std::string("2023  dic 01  23.59.0"));
    QCOMPARE(nome_proposto_dati("Squat", QUANDO), std::string("Squat 2024 03 05 09 07 03"));
}

void TestFileProva::file_vbt_nei_due_separatori() {
    const std::vector<IndiciVbt> indici = {{1, 512.5f, 587.49f, 803.2f, 421.5, 1305.49, 0},
                                           {2, 470.0f, 470.0f, 700.0f, 0, -12.5, 8.25}};
    QCOMPARE(testo_file_vbt(indici, formato(',')),
             std::string("N\xB0Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;\r\n"
                         "1;513;587;803;422;1305;0,0;\r\n"
                         "2;470;470;700;0;-13;8,3;\r\n"));
    const std::string punto = testo_file_vbt(indici, formato('.'));
    QVERIFY(punto.find("2;470;470;700;0;-13;8.3;\r\n") != std::string::npos);
    QCOMPARE(testo_file_vbt({}, formato('.')), std::string("N\xB0Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;\r\n"));
    QCOMPARE(nome_file_vbt("/p/2024  mar 05  9:07:3 dati.csv"), std::string("/p/2024  mar 05  9:07:3 dati vbt.csv"));
    QCOMPARE(nome_file_vbt("squat.CSV"), std::string("squat vbt.csv"));
    QCOMPARE(nome_file_vbt("squat.txt"), std::string("squat.txt vbt.csv"));
}

void TestFileProva::lettura_file_intero_tollerante() {
    // LF line ends, a byte order mark, blanks after the header, a trailing
    // ";" and blank lines: still the same three samples.
    std::string t = fixture("intero_virgola.csv");
    std::string lf;
    for (char c : t)
        if (c != '\r') lf += c;
    lf.insert(lf.find("dt") + 2, "  ");
    lf.insert(lf.find("0,01250") + 7, ";");
    auto letta = leggi_file_prova("\xEF\xBB\xBF" + lf + "\n\n");
    QVERIFY(std::holds_alternative<ProvaLetta>(letta));
    const auto& c = std::get<ProvaLetta>(letta).campioni;
    QCOMPARE(c.size(), std::size_t{3});
    QCOMPARE(c[0].intervallo, 0.0125f);
    QCOMPARE(c[2].velocita, 5000.0f);
    // Only the two header lines: a trial with no samples.
    letta = leggi_file_prova(fixture("intero_vuoto.csv"));
    QVERIFY(std::holds_alternative<ProvaLetta>(letta));
    QVERIFY(std::get<ProvaLetta>(letta).campioni.empty());
}

void TestFileProva::lettura_file_intero_danneggiato() {
    const std::string testa = "Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n";
    struct Caso {
        std::string corpo;
        const char* atteso;
    };
    const Caso casi[] = {
        {"0.1;1;2\r\n", "riga 3: servono quattro valori"},
        {"0.1;1;2;3\r\n0.2;1;2;3;4;5\r\n", "riga 4: servono quattro valori"},
        {"0.1;1;2;x3\r\n", "riga 3: \"x3\" non \xC3\xA8 un numero"},
        {"0.1;1;2;1,5.2\r\n", "\"1,5.2\" non \xC3\xA8 un numero"},
        {"0.1;1e39;2;3\r\n", "\"1e39\" \xC3\xA8 fuori dall'intervallo"},
        {"0.1;nan;2;3\r\n", "\"nan\" non \xC3\xA8 un numero"},
        {"0.1;1;2;-431\r\n", "riga 3: il passo di \"-431\" s supera i 430 s"},
    };
    for (const Caso& c : casi) {
        auto letta = leggi_file_prova(testa + c.corpo);
        QVERIFY2(std::holds_alternative<std::string>(letta), c.corpo.c_str());
        QVERIFY2(std::get<std::string>(letta).find(c.atteso) != std::string::npos, std::get<std::string>(letta).c_str());
    }
    // Without the two header lines it is not a whole-trial file, and the older
    // format's rule refuses it.
    for (const std::string& t : {std::string("Vexa01;\r\n0.1;1;2;3\r\n"), std::string("Vexa01;"),
                                 std::string("vexa01;\r\nTempo;Posizione;Velocita;dt\r\n"), std::string(),
                                 std::string("\x00\xff\r\n", 4)}) {
        auto letta = leggi_file_prova(t);
        QVERIFY(std::holds_alternative<std::string>(letta));
        QCOMPARE(std::get<std::string>(letta), std::string(" File non compatibile!"));
    }
}

void TestFileProva::lettura_pesi01() {
    auto letta = leggi_file_prova(fixture("pesi01.txt"));
    QVERIFY(std::holds_alternative<ProvaLetta>(letta));
    QCOMPARE(std::get<ProvaLetta>(letta).formato, ProvaLetta::Formato::Pesi01);
    QCOMPARE(std::get<ProvaLetta>(letta).tempo_campionamento, 150);
    QVERIFY(std::get<ProvaLetta>(letta).campioni.empty());

    // Only the sampling time, quoted tag, empty items (read as 0).
    for (const char* t : {"pesi01\r\n25\r\n", "\"pesi01\",25", "pesi01,25,,1\n"}) {
        letta = leggi_file_prova(t);
        QVERIFY2(std::holds_alternative<ProvaLetta>(letta), t);
        QCOMPARE(std::get<ProvaLetta>(letta).tempo_campionamento, 25);
    }

    struct Caso {
        const char* testo;
        const char* atteso;
    };
    const Caso casi[] = {
        {"Pesi01\r\n25\r\n", " File non compatibile!"},
        {"pesi01x\r\n25\r\n", " File non compatibile!"},
        {"pesi01\r\n", "manca il tempo di campionamento"},
        {"pesi01\r\n12.5\r\n", "riga 2: il tempo di campionamento \"12.5\" non \xC3\xA8 un numero intero"},
        {"pesi01\r\n25\r\n1.5\r\nabc\r\n", "riga 4: \"abc\" non \xC3\xA8 un numero"},
        {"pesi01\r\n25\r\n1e40\r\n", "fuori dall'intervallo"},
    };
    for (const Caso& c : casi) {
        letta = leggi_file_prova(c.testo);
        QVERIFY2(std::holds_alternative<std::string>(letta), c.testo);
        QVERIFY2(std::get<std::string>(letta).find(c.atteso) != std::string::npos, std::get<std::string>(letta).c_str());
    }
}

void TestFileProva::riproduzione_rende_la_prova_data() {
    QTest::addColumn<int>("collegamento");
    QTest::addColumn<int>("tipo");
    QTest::addColumn<QString>("descrizione");
    QTest::addColumn<char>("separatore");
    // Rests shorter than the 0.22 s movement-time cut, noisy steps, slow and
    // fast sets, and a load that starts below zero.
    const char* serie[] = {
        "ripetizioni=5",
        "ripetizioni=6,rumore=0.25,seme=7,pausa_alto=0.15,pausa_basso=0.1,vconc=900,vecc=700",
        "ripetizioni=4,ampiezza=350,vconc=180,vecc=120,rumore=0.1,seme=3,inizio=-100",
        "ripetizioni=7,perdita=6,rumore=0.3,seme=11,pausa_alto=0.9,pausa_basso=0.05",
    };
    for (int c = 0; c < 2; ++c)
        for (int tipo = 1; tipo <= 3; ++tipo)
            for (int k = 0; k < 4; ++k)
                QTest::addRow("%s tipo %d serie %d", c ? "hid" : "seriale", tipo, k)
                    << c << tipo << QString(serie[k]) << ((k + tipo) % 2 ? ',' : '.');
}

void TestFileProva::riproduzione_rende_la_prova() {
    QFETCH(int, collegamento);
    QFETCH(int, tipo);
    QFETCH(QString, descrizione);
    QFETCH(char, separatore);
    const Collegamento c = collegamento ? Collegamento::Hid : Collegamento::Seriale;
    sim::DescrizioneSerie d;
    QCOMPARE(sim::leggi_descrizione(descrizione.toStdString(), d), std::string());
    const Registrazione live(d, tipo, c, 100, separatore);
    QVERIFY(live.prova.righe() >= 3);

    Riapertura r(live, 100, separatore);
    QVERIFY(r.esito.collegamento_noto);
    QCOMPARE(r.esito.collegamento, c);
    QCOMPARE(r.esito.tipo_scheda, tipo);
    QVERIFY(r.esito.dalla_cima);
    QCOMPARE(r.esito.campioni_stimati, 0);

    // The values list row for row, all fifteen columns as text.
    QCOMPARE(r.prova.righe(), live.prova.righe());
    for (int i = 0; i < live.prova.righe(); ++i)
        QCOMPARE(QString::fromStdString(r.prova.riga(i)), QString::fromStdString(live.prova.riga(i)));
    // The repetitions graph and the limit display.
    for (int plot : {1, 2}) {
        const auto& a = live.prova.grafico1.plot.at(plot);
        const auto& b = r.prova.grafico1.plot.at(plot);
        QCOMPARE(b.size(), a.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            QCOMPARE(b[i].x, a[i].x);
            QVERIFY(std::fabs(b[i].y - a[i].y) <= 1e-4 * std::max(1.0, std::fabs(a[i].y)));
        }
    }
    QCOMPARE(r.prova.num_vel.c, live.prova.num_vel.c);
    // The time graph holds the recorded samples: the same positions as live,
    // after the few points of the live block that held the first top.
    const auto& pos_live = live.prova.grafico0.plot.at(PLOT_POSIZIONE);
    const auto& pos = r.prova.grafico0.plot.at(PLOT_POSIZIONE);
    QCOMPARE(pos.size(), static_cast<std::size_t>(live.s.n_campioni));
    QVERIFY(pos_live.size() >= pos.size() && pos_live.size() - pos.size() < 8);
    for (std::size_t i = 0; i < pos.size(); ++i) QCOMPARE(pos[i].y, pos_live[pos_live.size() - pos.size() + i].y);

    // The replayed trial holds its samples again and saves the same file; the
    // program's own link, scales and recording switch are given back.
    QCOMPARE(r.s.n_campioni, live.s.n_campioni);
    QCOMPARE(testo_file_intero(r.s.campioni, r.s.n_campioni, formato(separatore)), r.file);
    QVERIFY(!r.s.seriale_attiva && !r.s.hid_attivo && !r.s.registrazione_attiva);
    QCOMPARE(r.s.scala_posizione, 0.0f);
}

void TestFileProva::riproduzione_senza_cima_e_con_zeri_in_testa() {
    // A set whose rises never exceed the minimum amplitude: the recording is
    // the whole acquisition, and the replay starts where the acquisition did.
    sim::DescrizioneSerie d;
    d.ripetizioni = 3;
    d.ampiezza_mm = 200;
    const Registrazione live(d, 2, Collegamento::Hid, 300, '.');
    QCOMPARE(live.prova.righe(), 0);
    Riapertura r(live, 300, '.');
    QVERIFY(!r.esito.dalla_cima);
    QCOMPARE(r.prova.righe(), 0);
    QCOMPARE(r.s.rip_corrente, live.s.rip_corrente);
    QCOMPARE(r.s.tempo_totale, live.s.tempo_totale);

    // Recording switched on in the middle of an acquisition leaves zeroed
    // records in front: they are kept in the buffer and not analysed, so the
    // trial comes out as the samples after them make it.
    std::vector<Campione> c(5);
    const sim::DescrizioneSerie d2;
    const Registrazione dopo(d2, 1, Collegamento::Seriale, 100, '.');
    c.insert(c.end(), dopo.s.campioni.begin(), dopo.s.campioni.begin() + dopo.s.n_campioni);
    auto letta = leggi_file_prova(testo_file_intero(c, static_cast<int32_t>(c.size()), formato('.')));
    QVERIFY(std::holds_alternative<ProvaLetta>(letta));
    Stato s;
    Registrazione::imposta(s, 100);
    ProvaMemoria p;
    Analizzatore a(s, p.vista);
    const EsitoRiproduzione e = riproduci_campioni(std::get<ProvaLetta>(letta).campioni, s, p.vista, a);
    QVERIFY(e.dalla_cima);
    QCOMPARE(s.n_campioni, static_cast<int32_t>(c.size()));
    QCOMPARE(std::memcmp(&s.campioni[4], &c[4], sizeof(Campione)), 0);
    QCOMPARE(p.righe(), dopo.prova.righe());
    for (int i = 0; i < p.righe(); ++i) QCOMPARE(p.riga(i), dopo.prova.riga(i));
}

QTEST_APPLESS_MAIN(TestFileProva)
#include "test_file_prova.moc"
