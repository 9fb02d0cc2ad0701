// The trial files on disk: what the regional settings give the layouts, the
// names of automatic saves, and writes that never leave a broken file behind.
#include "trials/giornale_disco.h"
#include "trials/salvataggio.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace vexa;

namespace {

QByteArray leggi(const QString& percorso) {
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void crea(const QString& percorso, const QByteArray& byte = "x") {
    QFile f(percorso);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(byte);
}

const DataOra QUANDO{2024, 3, 5, 9, 7, 3};

} // namespace

class TestSalvataggio : public QObject {
    Q_OBJECT
private slots:
    void formato_dalle_impostazioni_locali();
    void nome_automatico_in_italiano_e_ora_locale();
    void nomi_automatici_non_sostituiscono_mai();
    void scrittura_completa_e_sostituzione();
    void scrittura_fallita_lascia_il_file_precedente();
    void lettura_del_file();
    void giornali_lasciati_da_un_arresto();
};

void TestSalvataggio::formato_dalle_impostazioni_locali() {
    const FormatoLocale it = formato_locale(QLocale(QLocale::Italian, QLocale::Italy));
    QCOMPARE(it.separatore, ',');
    QCOMPARE(it.separatore_ora, std::string(":"));
    const std::array<std::string, 12> mesi{"gen", "feb", "mar", "apr", "mag", "giu",
                                           "lug", "ago", "set", "ott", "nov", "dic"};
    QCOMPARE(it.mesi_brevi, mesi);

    const FormatoLocale en = formato_locale(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(en.separatore, '.');
    QCOMPARE(en.separatore_ora, std::string(":")); // "h:mm AP"
    QCOMPARE(en.mesi_brevi[2], std::string("Mar"));
    // "H.mm": the separator is the point.
    QCOMPARE(formato_locale(QLocale(QLocale::Finnish, QLocale::Finland)).separatore_ora, std::string("."));
    // "HH 'h' mm" has a word, not a separator; a decimal sign the code page lacks falls back.
    QCOMPARE(formato_locale(QLocale(QLocale::French, QLocale::Canada)).separatore_ora, std::string(":"));
    QCOMPARE(formato_locale(QLocale(QLocale::Arabic, QLocale::Egypt)).separatore, '.');

    const DataOra d = data_ora(QDateTime(QDate(2024, 3, 5), QTime(9, 7, 3)));
    QCOMPARE(d.anno, 2024);
    QCOMPARE(d.mese, 3);
    QCOMPARE(d.giorno, 5);
    QCOMPARE(d.ora, 9);
    QCOMPARE(d.minuto, 7);
    QCOMPARE(d.secondo, 3);
}

void TestSalvataggio::nome_automatico_in_italiano_e_ora_locale() {
    const FormatoLocale it = formato_locale(QLocale(QLocale::Italian, QLocale::Italy));
    QCOMPARE(nome_automatico(QUANDO, it), std::string("2024  mar 05  9:07:3"));
    QCOMPARE(nome_automatico({2023, 12, 31, 23, 59, 59}, it), std::string("2023  dic 31  23:59:59"));
    const FormatoLocale de = formato_locale(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(QString::fromStdString(nome_automatico(QUANDO, de)), QString("2024  M\u00e4rz 05  9:07:3"));
}

void TestSalvataggio::nomi_automatici_non_sostituiscono_mai() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const FormatoLocale it = formato_locale(QLocale(QLocale::Italian, QLocale::Italy));
    auto p = percorsi_automatici(dir.path(), QUANDO, it);
    QVERIFY(p);
    QCOMPARE(p->intero, dir.filePath("2024  mar 05  9:07:3.csv"));
    QCOMPARE(p->dati, dir.filePath("2024  mar 05  9:07:3 dati.csv"));

    // Two stops in the same second: the second pair gets " (2)", then " (3)";
    // a results file alone also keeps its name taken.
    crea(p->intero);
    p = percorsi_automatici(dir.path(), QUANDO, it);
    QCOMPARE(p->intero, dir.filePath("2024  mar 05  9:07:3 (2).csv"));
    crea(p->dati);
    p = percorsi_automatici(dir.path(), QUANDO, it);
    QCOMPARE(p->intero, dir.filePath("2024  mar 05  9:07:3 (3).csv"));
    QCOMPARE(p->dati, dir.filePath("2024  mar 05  9:07:3 (3) dati.csv"));

    // A month name or separator with a slash would make a folder of the name.
    FormatoLocale strano = it;
    strano.mesi_brevi[2] = "m/z";
    strano.separatore_ora = std::string("\0", 1);
    p = percorsi_automatici(dir.path(), QUANDO, strano);
    QCOMPARE(p->intero, dir.filePath("2024  m-z 05  9-07-3.csv"));
    QCOMPARE(nome_file_valido(""), QString("prova"));
    QCOMPARE(nome_file_valido(".."), QString("prova"));
    QCOMPARE(nome_file_valido(QString(300, u'a')).toUtf8().size(), 230);
}

void TestSalvataggio::scrittura_completa_e_sostituzione() {
    QTemporaryDir dir;
    const QString percorso = dir.filePath("prova.csv");
    const QByteArray byte("Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n\xb0", 39);
    QCOMPARE(scrivi_file(percorso, byte), QString());
    QCOMPARE(leggi(percorso), byte);
    QCOMPARE(scrivi_file(percorso, std::string("nuovo")), QString());
    QCOMPARE(leggi(percorso), QByteArray("nuovo"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"prova.csv"});

    // A folder that does not exist: an Italian reason, and nothing is created.
    const QString altrove = dir.filePath("manca/prova.csv");
    const QString errore = scrivi_file(altrove, byte);
    QVERIFY(errore.contains("la cartella non esiste"));
    QVERIFY(errore.contains(QDir::toNativeSeparators(altrove)));
    QVERIFY(!QFileInfo::exists(altrove));
    QVERIFY(scrivi_file(dir.path(), byte).contains("esiste una cartella con questo nome"));
}

void TestSalvataggio::scrittura_fallita_lascia_il_file_precedente() {
    QTemporaryDir dir;
    const QString percorso = dir.filePath("prova.csv");
    const QByteArray vecchio("la prova di ieri");
    crea(percorso, vecchio);

    // The disk refuses the new file halfway (a file-size limit stands in for a
    // full disk, which no test can rely on).
    rlimit prima{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &prima), 0);
    const auto segnale = std::signal(SIGXFSZ, SIG_IGN);
    rlimit stretto = prima;
    stretto.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &stretto), 0);
    // A large file fails in write(); a small one only when the buffered rest is
    // flushed, which is the case that used to be taken for a success.
    QStringList errori;
    for (const qsizetype quanti : {100000, 10000}) errori << scrivi_file(percorso, QByteArray(quanti, 'x'));
    setrlimit(RLIMIT_FSIZE, &prima);
    std::signal(SIGXFSZ, segnale);

    for (const QString& errore : errori) {
        QVERIFY(errore.startsWith("Impossibile salvare il file"));
        QVERIFY2(errore.contains("dimensione consentita"), qPrintable(errore));
    }
    QCOMPARE(leggi(percorso), vecchio);
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"prova.csv"});
}

void TestSalvataggio::lettura_del_file() {
    QTemporaryDir dir;
    const QString percorso = dir.filePath("prova.csv");
    crea(percorso, "Vexa01;\r\n");
    auto letto = leggi_file(percorso);
    QVERIFY(std::holds_alternative<QByteArray>(letto));
    QCOMPARE(std::get<QByteArray>(letto), QByteArray("Vexa01;\r\n"));
    letto = leggi_file(percorso, 4);
    QVERIFY(std::get<QString>(letto).contains("troppo grande"));
    letto = leggi_file(dir.filePath("manca.csv"));
    QVERIFY(std::get<QString>(letto).contains("il file non esiste"));
}

void TestSalvataggio::giornali_lasciati_da_un_arresto() {
    QTemporaryDir d;
    const QString giornali = cartella_giornali(d.path());
    const QString atleta = d.filePath(QStringLiteral("Squadra/Mario Rossi"));
    IntestazioneGiornale i;
    i.inizio = QUANDO;
    i.nome_atleta = "Mario Rossi";
    i.cartella_atleta = atleta.toStdString();
    QString scritto;
    {
        GiornaleRegistrazione g(giornali);
        g.apri(i);
        for (int k = 0; k < 50; ++k) g.aggiungi(k, {600.0f + static_cast<float>(k), 0.01f, 0.01f * k, 600});
        QTRY_VERIFY(QFileInfo(g.percorso()).size() > 50 * 16); // on the disk while the recording runs
        scritto = g.percorso();
    } // the program goes without saving
    // A second one torn by a power cut halfway through a record.
    const QByteArray strappato = leggi(scritto) + leggi(scritto).right(40);
    crea(QDir(giornali).filePath(QStringLiteral("registrazione 20240305-090703 (2).vxg")), strappato);

    QStringList scritti;
    const QString detto = recupera_giornali(giornali, d.filePath(QStringLiteral("misure_auto")), &scritti);
    QCOMPARE(scritti.size(), 4);
    for (const QString& f : scritti) QVERIFY(f.startsWith(atleta) && f.contains(QStringLiteral(" recuperata")));
    QCOMPARE(leggi(scritti[0]).count("\r\n"), 52);
    QCOMPARE(leggi(scritti[0]), leggi(scritti[2]));
    QVERIFY(QDir(giornali).entryList(QDir::Files).isEmpty());
    // The torn one is kept beside them as it was; the whole one is gone.
    const QStringList tenuti = QDir(atleta).entryList({QStringLiteral("*.vxg")});
    QCOMPARE(tenuti.size(), 1);
    QCOMPARE(leggi(QDir(atleta).filePath(tenuti[0])), strappato);
    QCOMPARE(detto.count(QStringLiteral("Recuperata la prova interrotta di «Mario Rossi»")), 2);
    QVERIFY(detto.contains(QStringLiteral("50 campioni")) && detto.contains(QStringLiteral("interrotto")));
    QVERIFY(recupera_giornali(giornali, d.path()).isEmpty()); // told once
}

QTEST_APPLESS_MAIN(TestSalvataggio)
#include "test_salvataggio.moc"
