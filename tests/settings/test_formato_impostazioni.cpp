// The settings files byte for byte, against files laid out by hand (CR LF,
// Windows-1252, print-form numbers, another system's athlete folder), and the
// free-format reading under them. No display needed.
#include "settings/formato_impostazioni.h"
#include "settings/testo_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <string>

using namespace vexa;
using namespace std::string_literals;

namespace {

std::string fixture(const char* nome) {
    const QString cartella = QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../fixtures/impostazioni"));
    QFile f(QDir(cartella).filePath(QString::fromUtf8(nome)));
    if (!f.open(QIODevice::ReadOnly)) qFatal("fixture mancante: %s", nome);
    return f.readAll().toStdString();
}

// The lists of cartella_dati/ini/pesi.ini, which the LF and BOM files repeat.
ListeValori liste_complete() {
    ListeValori l;
    l[0] = {"Società Sportiva", "Squadra A"};
    l[2] = {"60", "80", "100"};
    l[3] = {"Distensione 30°", "Squat"};
    l[4] = {"900", "1000"};
    l[5] = {"90"};
    l[6] = {"80"};
    l[7] = {"100", "150"};
    return l;
}

ListeValori letto(const std::string& byte) {
    Lettura<ListeValori> l = leggi_pesi(byte);
    if (!l.valore) qWarning("%s", l.errore.c_str());
    return l.valore.value_or(ListeValori{});
}

} // namespace

class TestFormatoImpostazioni : public QObject {
    Q_OBJECT

private slots:
    // --- single-byte text and free-format items

    void code_page_andata_e_ritorno() {
        std::string tutti;
        for (int b = 0; b < 256; ++b) tutti += static_cast<char>(b);
        bool perso = false;
        QCOMPARE(utf8_a_cp1252(cp1252_a_utf8(tutti), &perso), tutti);
        QVERIFY(!perso);
        QCOMPARE(cp1252_a_utf8("\x80\xE0\xB0"), "€à°"s);
        QVERIFY(rappresentabile_cp1252("Società € 30°"));
        QVERIFY(!rappresentabile_cp1252("Дмитрий"));
        QCOMPARE(utf8_a_cp1252("aЖb", &perso), "a?b"s);
        QVERIFY(perso);
    }

    void item_e_fine_riga() {
        // CR LF, LF and CR in one file; blanks before an item skipped, after kept;
        // a quoted item keeps its comma and drops what follows the quote.
        LettoreCampi r("uno\r\n  due ,tre\nquattro\r\"cin,que\" resto,sei\r\n\r\nsette");
        QCOMPARE(r.testo().value(), "uno"s);
        QCOMPARE(r.riga(), 2);
        QCOMPARE(r.testo().value(), "due "s);
        QCOMPARE(r.testo().value(), "tre"s);
        QCOMPARE(r.testo().value(), "quattro"s);
        QCOMPARE(r.riga(), 4);
        QCOMPARE(r.testo().value(), "cin,que"s);
        QCOMPARE(r.testo().value(), "sei"s);
        QCOMPARE(r.testo().value(), ""s); // an empty line in the middle is an item
        QCOMPARE(r.riga(), 6);
        QCOMPARE(r.testo().value(), "sette"s);
        QVERIFY(!r.testo());
        QVERIFY(r.fine());

        // Trailing empty lines: no item for testo(), one empty item each for testo_o_vuoto().
        LettoreCampi a("x\r\n\r\n  \r\n"), b("x\r\n\r\n  \r\n");
        QCOMPARE(a.testo().value(), "x"s);
        QVERIFY(!a.testo());
        QCOMPARE(b.testo().value(), "x"s);
        QCOMPARE(b.testo_o_vuoto().value(), ""s);
        QCOMPARE(b.testo_o_vuoto().value(), ""s);
        QVERIFY(!b.testo_o_vuoto());

        // Line ends inside quotes count, CR alone included.
        LettoreCampi q("\"a\rb\r\nc\nd\"\r\nz");
        QCOMPARE(q.testo().value(), "a\rb\r\nc\nd"s);
        QCOMPARE(q.riga(), 5);

        // A byte order mark makes the bytes UTF-8; without it they are Windows-1252.
        QCOMPARE(LettoreCampi("\xEF\xBB\xBF" "Società\r\n").testo().value(), "Società"s);
        QCOMPARE(LettoreCampi("Societ\xE0\r\n").testo().value(), "Società"s);
    }

    void molte_righe_vuote_in_tempo_lineare() {
        // Each read used to look ahead to the end of the data: a million
        // empty lines before the last item took hours.
        std::string byte(1'000'000, '\n');
        byte += "x";
        LettoreCampi r(byte);
        long n = 0;
        while (auto t = r.testo()) ++n;
        QCOMPARE(n, 1'000'001L);
    }

    void numeri() {
        QCOMPARE(intero_da_testo(" 8 "), std::optional<int32_t>(8));
        QCOMPARE(intero_da_testo("-1 "), std::optional<int32_t>(-1));
        QCOMPARE(intero_da_testo("+5"), std::optional<int32_t>(5));
        QCOMPARE(intero_da_testo("-2147483648"), std::optional<int32_t>(INT32_MIN));
        QCOMPARE(intero_da_testo("2147483647"), std::optional<int32_t>(INT32_MAX));
        for (const char* no : {"2147483648", "99999999999999999999999", "1.5", "", " ", "-", "8 8", "0x10"})
            QVERIFY2(!intero_da_testo(no), no);

        QCOMPARE(testo_numerico_normale("080").value(), "80"s);
        QCOMPARE(testo_numerico_normale("  12.50 ").value(), "12.5"s);
        QCOMPARE(testo_numerico_normale("-0").value(), "0"s);
        QCOMPARE(testo_numerico_normale("1e3").value(), "1000"s);
        QCOMPARE(testo_numerico_normale("+7").value(), "7"s);
        QCOMPARE(testo_numerico_normale("0.000001").value(), "0.000001"s);
        QCOMPARE(testo_numerico_normale("1.2345678e-5").value(), "0.000012345678"s);
        QCOMPARE(testo_numerico_normale("1e20").value(), "1e20"s); // beyond plain form: kept
        for (const char* no : {"abc", "12 kg", "inf", "nan", "0x1A", "1e", "", "1,5"})
            QVERIFY2(!testo_numerico_normale(no), no);

        QCOMPARE(valore_iniziale("12 kg"), 12.0);
        QCOMPARE(valore_iniziale(" -3.5e2x"), -350.0);
        QCOMPARE(valore_iniziale("1e"), 1.0);
        QCOMPARE(valore_iniziale(".5"), 0.5);
        QCOMPARE(valore_iniziale("abc"), 0.0);
        QCOMPARE(valore_iniziale("1e999"), 0.0);
        // A long number is read in full, not cut to a shorter one.
        QVERIFY(valore_iniziale(std::string(100, '1')) > 1e99);

        QCOMPARE(intero_stampa(8), " 8 "s);
        QCOMPARE(intero_stampa(0), " 0 "s);
        QCOMPARE(intero_stampa(-1), "-1 "s);
    }

    // --- "pesi.ini"

    void pesi_come_scritto_a_mano() {
        ListeValori vuote;
        vuote[0] = {"Squadra A", "Under 18"};
        QCOMPARE(scrivi_pesi(vuote), fixture("pesi_liste_vuote.ini"));
        QVERIFY(letto(fixture("pesi_liste_vuote.ini")) == vuote);

        ListeValori senza_squadre = liste_complete();
        senza_squadre[0].clear();
        senza_squadre[2] = {"60", "100"};
        senza_squadre[3] = {"Panca piana"};
        senza_squadre[4] = {"1000"};
        senza_squadre[7] = {"150"};
        QCOMPARE(scrivi_pesi(senza_squadre), fixture("pesi_senza_squadre.ini"));
        QVERIFY(letto(fixture("pesi_senza_squadre.ini")) == senza_squadre);

        // The data folder's file, in Windows-1252, reads and writes back unchanged;
        // the same lists come from LF-only and UTF-8 copies.
        const std::string completo = fixture("cartella_dati/ini/pesi.ini");
        QVERIFY(letto(completo) == liste_complete());
        QCOMPARE(scrivi_pesi(liste_complete()), completo);
        QVERIFY(letto(fixture("pesi_lf.ini")) == liste_complete());
        QVERIFY(letto(fixture("pesi_bom.ini")) == liste_complete());
    }

    void pesi_con_meno_liste() {
        const ListeValori l = letto(fixture("pesi_cinque.ini"));
        QCOMPARE(l[0], (std::vector<std::string>{"Squadra A"}));
        QCOMPARE(l[2], (std::vector<std::string>{"80"}));
        QCOMPARE(l[3], (std::vector<std::string>{"Squat"}));
        QCOMPARE(l[4], (std::vector<std::string>{"1200"}));
        QCOMPARE(l[5], (std::vector<std::string>{"95"}));
        QVERIFY(l[6].empty() && l[7].empty() && l[8].empty());

        // 1 still means lists 0 and 2; below 0, no list at all.
        const ListeValori uno = letto(" 1 \r\n 0 \r\nA\r\n 0 \r\n50\r\n");
        QCOMPARE(uno[0], (std::vector<std::string>{"A"}));
        QCOMPARE(uno[2], (std::vector<std::string>{"50"}));
        QVERIFY(letto("-1 \r\n") == ListeValori{});
    }

    void voci_numeriche_in_forma_semplice() {
        const ListeValori l = letto(fixture("pesi_a_mano.ini"));
        QCOMPARE(l[0], (std::vector<std::string>{"Squadra A"}));
        QCOMPARE(l[2], (std::vector<std::string>{"80", "12.5", "100"}));
    }

    void pesi_rovinato_tutto_o_niente() {
        struct Caso {
            const char* nome;
            std::string byte;
            const char* riga;
        };
        const Caso casi[] = {
            {"vuoto", "", "Riga 1:"},
            {"non numero", "otto\r\n", "Riga 1:"},
            {"troppe liste", " 9 \r\n-1 \r\n", "Riga 1:"},
            {"voci mancanti", " 8 \r\n 2 \r\nA\r\nB\r\n", "Riga 5:"},
            {"conteggio rovinato", " 8 \r\n 0 \r\nA\r\nx\r\n", "Riga 4:"},
            {"lista troncata", " 8 \r\n-1 \r\n-1 \r\n-1 \r\n", "Riga 5:"},
            // Two billion entries claimed: the end of the data stops it, nothing is reserved.
            {"conteggio assurdo", " 8 \r\n 2147483646 \r\nA\r\n", "Riga 4:"},
        };
        for (const Caso& c : casi) {
            const Lettura<ListeValori> l = leggi_pesi(c.byte);
            QVERIFY2(!l.valore, c.nome);
            QVERIFY2(l.errore.rfind(c.riga, 0) == 0, (std::string(c.nome) + ": " + l.errore).c_str());
        }
    }

    void voci_che_il_formato_non_regge() {
        // Entries that reach the lists from a quoted item or a UTF-8 file keep
        // their text: quoted on writing, and UTF-8 with a mark when Windows-1252
        // cannot hold them. Plain entries keep the plain layout.
        ListeValori l;
        l[0] = {"Rossi, Mario", "  rientro"};
        l[3] = {"Дмитрий"};
        const std::string byte = scrivi_pesi(l);
        QCOMPARE(byte.substr(0, 3), "\xEF\xBB\xBF"s);
        QVERIFY(byte.find("\"Rossi, Mario\"\r\n") != std::string::npos);
        QVERIFY(letto(byte) == l);
    }

    // --- the athlete's ".cfg"

    void cfg_andata_e_ritorno() {
        const std::string byte = fixture("atleta.cfg");
        const Lettura<ConfigAtleta> c = leggi_cfg(byte);
        QVERIFY(c.valore);
        const std::array<int32_t, 11> attese{1, 1, 2, 1, 1, 0, 0, 1, -1, 7, -3};
        QCOMPARE(c.valore->posizioni, attese);
        QCOMPARE(c.valore->cartella_atleta, R"(C:\Programmi\Vexa\Squadra A\Mario Rossi)"s);
        QCOMPARE(scrivi_cfg(*c.valore), byte);

        const Lettura<ConfigAtleta> lf = leggi_cfg(fixture("atleta_lf.cfg"));
        QVERIFY(lf.valore);
        QCOMPARE(lf.valore->posizioni, attese);
        QCOMPARE(lf.valore->cartella_atleta, c.valore->cartella_atleta);

        // An empty folder line and a folder with a comma come back as written.
        for (const char* cartella : {"", "/dati/Rossi, Mario", "/dati/Società/Дмитрий"}) {
            ConfigAtleta a{attese, cartella};
            const Lettura<ConfigAtleta> b = leggi_cfg(scrivi_cfg(a));
            QVERIFY2(b.valore, cartella);
            QCOMPARE(b.valore->cartella_atleta, std::string(cartella));
            QCOMPARE(b.valore->posizioni, attese);
        }
    }

    void cfg_rifiutato() {
        const Lettura<ConfigAtleta> m = leggi_cfg(fixture("atleta_maiuscolo.cfg"));
        QVERIFY(!m.valore);
        QCOMPARE(m.errore, "File non compatibile!"s);
        QCOMPARE(leggi_cfg("").errore, "File non compatibile!"s);

        const Lettura<ConfigAtleta> t = leggi_cfg(fixture("atleta_troncato.cfg"));
        QVERIFY(!t.valore);
        QVERIFY2(t.errore.rfind("Riga 8:", 0) == 0, t.errore.c_str());
        const Lettura<ConfigAtleta> senza_cartella = leggi_cfg("pesi_cfg\r\n"
                                                               " 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n"
                                                               " 0 \r\n 0 \r\n 0 \r\n 0 \r\n");
        QVERIFY(!senza_cartella.valore);
        QVERIFY2(senza_cartella.errore.rfind("Riga 13:", 0) == 0, senza_cartella.errore.c_str());
        const Lettura<ConfigAtleta> n = leggi_cfg("pesi_cfg\r\n 1 \r\nx\r\n");
        QVERIFY2(n.errore.rfind("Riga 3:", 0) == 0, n.errore.c_str());
    }

    // --- what may be typed in

    void voci_rifiutate() {
        for (const char* no : {"a,b", "a\"b", "a\nb", "a\rb", "a\tb", "Дмитрий", "080", "12.50", " a"})
            QVERIFY2(!errore_voce(no).empty(), no);
        QVERIFY(errore_voce("a,b").find("virgole") != std::string::npos);
        QVERIFY(errore_voce("080").find("80") != std::string::npos);
        for (const char* si : {"Squat", "Distensione 30°", "12", "12.5", "Panca 2"})
            QVERIFY2(errore_voce(si).empty(), si);
    }

    void nomi_di_cartella() {
        const std::string nul("a\0b", 3);
        for (const std::string& no :
             {""s, "."s, ".."s, "a/b"s, "a\\b"s, nul, "a\x01"s, "a:b"s, "a*"s, "Mario."s, "Mario "s, " Mario"s, "CON"s,
              "con.txt"s, "LPT1"s, "Rossi, Mario"s, "Дмитрий"s, std::string(252, 'a')})
            QVERIFY2(!errore_nome_cartella(no).empty(), no.c_str());
        for (const char* si : {"Mario Rossi", "Società Sportiva", "Under 18", "007", "COM", "A.B"})
            QVERIFY2(errore_nome_cartella(si).empty(), si);
    }
};

QTEST_APPLESS_MAIN(TestFormatoImpostazioni)
#include "test_formato_impostazioni.moc"
