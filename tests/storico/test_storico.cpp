// The history on disk: a data folder of saved sets rebuilt into the database
// (again: nothing twice), a damaged database moved aside and rebuilt, a newer
// one left alone, one of the first version upgraded, a save while another
// connection holds the write lock, and the window and the command-line tool
// giving the same figures.
#include "storico/frm_storico.h"
#include "storico/servizio_storico.h"
#include "storico/storico.h"

#include "serie_storico.h"

#include <QCryptographicHash>
#include <QDateEdit>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace vexa;
using namespace vexa::prova;

namespace {

const QString ATLETA = QStringLiteral("Prima squadra/Mario Rossi/");
const AtletaStorico MARIO{QStringLiteral("Prima squadra"), QStringLiteral("Mario Rossi")};
const FiltroSessioni AUTUNNO{MARIO, QStringLiteral("Squat"), QDate(2026, 10, 1), QDate(2026, 12, 31)};

struct Cartella {
    QTemporaryDir dir;
    QString dati() const { return dir.path(); }
    QString percorso(const QString& rel) const { return dir.filePath(rel); }

    void scrivi(const QString& rel, const std::string& byte) const {
        QDir().mkpath(QFileInfo(percorso(rel)).absolutePath());
        QFile f(percorso(rel));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(byte.data(), static_cast<qint64>(byte.size()));
    }
    void serie(const QString& nome, float carico, DataOra quando, std::vector<float> vmedia, char sep,
               const std::vector<FigureDiProva>& vbt = {}, const char* esercizio = "Squat") const {
        SerieDiProva s;
        s.esercizio = esercizio;
        s.carico = carico;
        s.quando = quando;
        s.vmedia = std::move(vmedia);
        s.separatore = sep;
        scrivi(ATLETA + nome + QStringLiteral(" dati.csv"), testo_dati(s));
        if (!vbt.empty()) scrivi(ATLETA + nome + QStringLiteral(" dati vbt.csv"), testo_vbt(vbt, sep));
    }
    // On 1400 - 10 kg mm/s, saved under both decimal separators; two loads
    // in the week of 2 November; VMP for two of them; a whole trial for the
    // first; another exercise; a broken file and a whole-trial file that is
    // no results file.
    void serie_del_profilo() const {
        serie(QStringLiteral("2026  nov 02  9:00:0"), 40, {2026, 11, 2, 9, 0, 0}, {950, 1000, 980}, '.',
              {{950, 1100, 0}, {1000, 1150, 0}, {980, 1120, 2}});
        scrivi(ATLETA + QStringLiteral("2026  nov 02  9:00:0.csv"), "Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n");
        serie(QStringLiteral("2026  nov 04  18:30:0"), 50, {2026, 11, 4, 18, 30, 0}, {900}, ',');
        serie(QStringLiteral("2026  nov 09  9:00:0"), 60, {2026, 11, 9, 9, 0, 0}, {800, 780}, ',');
        serie(QStringLiteral("2026  nov 16  9:00:0"), 80, {2026, 11, 16, 9, 0, 0}, {600}, '.', {{600, 700, 5}});
        serie(QStringLiteral("2026  nov 23  9:00:0"), 100, {2026, 11, 23, 9, 0, 0}, {400, 390}, ',');
        serie(QStringLiteral("Stacco 2026 11 25 10 00 00"), 120, {2026, 11, 25, 10, 0, 0}, {500}, '.', {}, "Stacco");
        scrivi(ATLETA + QStringLiteral("rotto dati.csv"),
               "02 11 2026;9:00:0;\r\nNome;Esercizio;Carico;N\xB0Rip;Tempo;Durata;Spost;Vmedia;Vmax;TdiVmax;SdiVmax;"
               "Durata;Spost;Vmedia;Vmax;TdiVmax;SdiVmax;NOTA;\r\nMario Rossi;Squat;40.0; 1 ;x;\r\n");
        scrivi(QStringLiteral("misure_auto/2026  nov 01  8:00:0.csv"), "Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n");
    }
};

int conta(Storico& s, const char* tabella) {
    QSqlQuery q(s.database());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(tabella)));
    return q.next() ? q.value(0).toInt() : -1;
}

QByteArray impronta(const QString& file) {
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

struct Uscita {
    int codice = -1;
    QJsonObject json;
    QString errori;
};

Uscita strumento(const QStringList& argomenti) {
    QProcess p;
    p.start(QStringLiteral(VEXA_STORICO_TOOL), argomenti);
    p.waitForFinished(30000);
    return {p.exitCode(), QJsonDocument::fromJson(p.readAllStandardOutput()).object(), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestStorico : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The settings store is a folder of the test's own: nothing of the user's is read or written.
        QVERIFY(impostazioni_.isValid());
        qputenv("XDG_CONFIG_HOME", impostazioni_.path().toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, impostazioni_.path());
    }
    void ricostruzione_senza_doppioni();
    void database_danneggiato_o_piu_recente();
    void aggiornamento_dalla_prima_versione();
    void salvataggio_con_lo_storico_bloccato();
    void chiusura_con_serie_in_sospeso();
    void finestra_e_strumento_con_le_stesse_cifre();

private:
    QTemporaryDir impostazioni_;
};

void TestStorico::ricostruzione_senza_doppioni() {
    Cartella c;
    c.serie_del_profilo();
    Storico s(c.dati());
    QVERIFY(s.apri().ok());
    QVERIFY(s.appena_creato());
    Ricostruzione r = s.ricostruisci();
    QVERIFY(r.esito.ok());
    QCOMPARE(r.file_dati, 7);
    QCOMPARE(r.aggiunte, 6);
    QCOMPARE(r.illeggibili, 1);
    QVERIFY(r.problemi.first().contains(QStringLiteral("rotto dati.csv")));

    r = s.ricostruisci();
    QCOMPARE(r.aggiunte + r.aggiornate + r.rimosse, 0);
    QCOMPARE(r.invariate, 6);
    QCOMPARE(conta(s, "sessioni"), 6);
    QCOMPARE(conta(s, "ripetizioni"), 10);

    std::vector<SessioneStorico> v = s.sessioni(AUTUNNO);
    QCOMPARE(v.size(), std::size_t(5));
    QCOMPARE(v[0].file, ATLETA + QStringLiteral("2026  nov 02  9:00:0 dati.csv"));
    QCOMPARE(v[0].file_intero, ATLETA + QStringLiteral("2026  nov 02  9:00:0.csv"));
    QCOMPARE(v[0].quando, QDateTime(QDate(2026, 11, 2), QTime(9, 0)));
    QCOMPARE(*v[0].vmp_migliore, 1150.0);
    QCOMPARE(*v[0].perdita_finale, 2.0);
    QVERIFY(v[1].file_intero.isEmpty() && !v[1].vmp_migliore);
    QCOMPARE(v[2].carico_kg, 60.0); // written with a comma
    const Profilo p = profilo_delle_sessioni(v, false, 300);
    QVERIFY(*p.pendenza == -10.0 && *p.intercetta == 1400.0 && *p.massimale == 110.0);
    QCOMPARE(s.sessioni({MARIO, QStringLiteral("Squat"), QDate(2026, 11, 4), QDate(2026, 11, 9)}).size(), std::size_t(2));

    // The board that measured a set, known only when it was saved, outlives
    // the rebuilds; a changed file is read again, a deleted one goes.
    const QString nov09 = c.percorso(ATLETA + QStringLiteral("2026  nov 09  9:00:0 dati.csv"));
    QCOMPARE(s.importa(nov09, 2).tipo, Importazione::Aggiornata);
    c.serie(QStringLiteral("2026  nov 09  9:00:0"), 60, {2026, 11, 9, 9, 0, 0}, {810, 780}, ',');
    QVERIFY(QFile::remove(c.percorso(ATLETA + QStringLiteral("2026  nov 23  9:00:0 dati.csv"))));
    r = s.ricostruisci();
    QCOMPARE(r.aggiornate, 1);
    QCOMPARE(r.rimosse, 1);
    v = s.sessioni(AUTUNNO);
    QCOMPARE(v.size(), std::size_t(4));
    QCOMPARE(*v[2].vmedia_migliore, 810.0);
    QCOMPARE(*v[2].tipo_scheda, 2);
    QCOMPARE(conta(s, "ripetizioni"), 8);
    // A file still there that no longer reads keeps its set: the history
    // forgets only what is gone.
    c.scrivi(ATLETA + QStringLiteral("2026  nov 09  9:00:0 dati.csv"), "rovinato");
    r = s.ricostruisci();
    QCOMPARE(r.rimosse, 0);
    QCOMPARE(s.sessioni(AUTUNNO).size(), std::size_t(4));
}

void TestStorico::database_danneggiato_o_piu_recente() {
    Cartella c;
    c.serie_del_profilo();
    c.scrivi(QLatin1String(NOME_FILE_STORICO), std::string(4096, 'x'));
    {
        ServizioStorico servizio(c.dati(), {200, 100});
        QSignalSpy messaggi(&servizio, &ServizioStorico::messaggio);
        servizio.avvia();
        QTRY_COMPARE_WITH_TIMEOUT(messaggi.size(), 1, 10000);
        const QString m = messaggi[0][0].toString();
        QVERIFY2(m.contains(QStringLiteral("danneggiato")) && m.contains(QStringLiteral("messo da parte")) &&
                     m.contains(QStringLiteral("6 serie")), qPrintable(m));
    }
    const QStringList via = QDir(c.dati()).entryList({QStringLiteral("storico.sqlite.danneggiato-*")});
    QCOMPARE(via.size(), 1);
    QCOMPARE(QFileInfo(c.percorso(via[0])).size(), qint64(4096));
    Storico s(c.dati());
    QVERIFY(s.apri(true).ok());
    QCOMPARE(conta(s, "sessioni"), 6);

    // Written by a newer program: not used, not touched.
    {
        QSqlQuery q(s.database());
        QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = 99")));
    }
    s.chiudi();
    const QByteArray prima = impronta(s.percorso());
    const EsitoStorico e = s.apri();
    QCOMPARE(e.stato, StatoStorico::PiuRecente);
    QVERIFY(e.messaggio.contains(QStringLiteral("pi\u00f9 recente")));
    QVERIFY(!s.aperto());
    QCOMPARE(s.importa(c.percorso(ATLETA + QStringLiteral("2026  nov 04  18:30:0 dati.csv"))).tipo, Importazione::Fallita);
    QCOMPARE(impronta(s.percorso()), prima);
}

void TestStorico::aggiornamento_dalla_prima_versione() {
    Cartella c;
    c.serie_del_profilo();
    Storico s(c.dati());
    QVERIFY(s.apri_alla_versione(1).ok());
    QCOMPARE(s.versione(), 1);
    // What the first version held of the set of 2 November.
    for (const char* sql : {
             "INSERT INTO squadre (id, nome) VALUES (1, 'Prima squadra')",
             "INSERT INTO atleti (id, squadra_id, nome) VALUES (1, 1, 'Mario Rossi')",
             "INSERT INTO esercizi (id, nome) VALUES (1, 'Squat')",
             "INSERT INTO sessioni (id, file, impronta, atleta_id, esercizio_id, carico_kg, data_ora, tipo_scheda, "
             "file_intero, n_ripetizioni, vmedia_migliore) VALUES (1, 'Prima squadra/Mario Rossi/2026  nov 02  9:00:0 "
             "dati.csv', 'prima', 1, 1, 40, '2026-11-02T09:00:00', 3, NULL, 1, 1000)",
             "INSERT INTO ripetizioni (sessione_id, numero, vmedia_conc, nota) VALUES (1, 1, 1000, '')",
         }) {
        QSqlQuery q(s.database());
        QVERIFY2(q.exec(QString::fromLatin1(sql)), sql);
    }
    s.chiudi();

    QVERIFY(s.apri().ok());
    QCOMPARE(s.versione(), VERSIONE_STORICO);
    std::vector<SessioneStorico> v = s.sessioni(AUTUNNO);
    QCOMPARE(v.size(), std::size_t(1));
    QVERIFY(!v[0].vmp_migliore);
    QCOMPARE(s.velocita_1rm(QStringLiteral("Squat")), VELOCITA_1RM_PREDEFINITA);
    // The upgrade asks for the sets to be read again, now with their figures.
    const Ricostruzione r = s.ricostruisci();
    QCOMPARE(r.aggiornate, 1);
    QCOMPARE(r.aggiunte, 5);
    v = s.sessioni(AUTUNNO);
    QCOMPARE(v.size(), std::size_t(5));
    QCOMPARE(v[0].id, qint64(1));
    QCOMPARE(*v[0].vmp_migliore, 1150.0);
    QCOMPARE(*v[0].tipo_scheda, 3);
    QCOMPARE(conta(s, "ripetizioni"), 10);
}

void TestStorico::salvataggio_con_lo_storico_bloccato() {
    Cartella c;
    ServizioStorico servizio(c.dati(), {150, 100});
    QSignalSpy messaggi(&servizio, &ServizioStorico::messaggio);
    QSignalSpy aggiornato(&servizio, &ServizioStorico::aggiornato);
    servizio.avvia();
    // Made from the (empty) folder and left idle.
    QTRY_COMPARE(aggiornato.size(), 1);
    aggiornato.clear();

    {
        // Another copy of the program in the middle of a write.
        QSqlDatabase altra = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("altra_copia"));
        altra.setDatabaseName(c.percorso(QLatin1String(NOME_FILE_STORICO)));
        altra.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        QVERIFY(altra.open());
        QSqlQuery blocco(altra);
        QVERIFY(blocco.exec(QStringLiteral("BEGIN IMMEDIATE")));

        c.serie(QStringLiteral("2026  nov 16  9:00:0"), 80, {2026, 11, 16, 9, 0, 0}, {600}, '.');
        QElapsedTimer t;
        t.start();
        servizio.registra(c.percorso(ATLETA + QStringLiteral("2026  nov 16  9:00:0 dati.csv")), 1);
        QVERIFY(t.elapsed() < 50); // the save never waits for the history
        QTRY_COMPARE_WITH_TIMEOUT(messaggi.size(), 1, 5000);
        QVERIFY(messaggi[0][0].toString().contains(QStringLiteral("in uso da un'altra copia")));
        QCOMPARE(aggiornato.size(), 0);

        QVERIFY(blocco.exec(QStringLiteral("ROLLBACK")));
        QTRY_COMPARE_WITH_TIMEOUT(aggiornato.size(), 1, 5000);
        blocco = QSqlQuery();
        altra.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("altra_copia"));
    Storico s(c.dati());
    QVERIFY(s.apri().ok());
    const auto v = s.sessioni(AUTUNNO);
    QCOMPARE(v.size(), std::size_t(1));
    QCOMPARE(*v[0].tipo_scheda, 1);
    QCOMPARE(messaggi.size(), 1); // said once
}

void TestStorico::chiusura_con_serie_in_sospeso() {
    Cartella c;
    c.serie(QStringLiteral("2026  nov 16  9:00:0"), 80, {2026, 11, 16, 9, 0, 0}, {600}, '.');
    Storico s(c.dati());
    QVERIFY(s.apri().ok());
    {
        // The program closes while another copy holds the database.
        QSqlQuery blocco(s.database());
        QVERIFY(blocco.exec(QStringLiteral("BEGIN IMMEDIATE")));
        {
            ServizioStorico servizio(c.dati(), {100, 60000});
            QSignalSpy messaggi(&servizio, &ServizioStorico::messaggio);
            servizio.registra(c.percorso(ATLETA + QStringLiteral("2026  nov 16  9:00:0 dati.csv")), 1);
            QTRY_COMPARE_WITH_TIMEOUT(messaggi.size(), 1, 5000);
        }
        QVERIFY(blocco.exec(QStringLiteral("ROLLBACK")));
    }
    // A rebuild was cut short too, before it came to a set made meanwhile.
    c.serie(QStringLiteral("2026  nov 17  9:00:0"), 80, {2026, 11, 17, 9, 0, 0}, {650}, '.');
    QFile marca(c.percorso(QStringLiteral("storico.sqlite-in-sospeso")));
    QVERIFY(marca.open(QIODevice::Append));
    marca.write("ricostruzione\n");
    marca.close();
    // The next run puts them in, board type included.
    ServizioStorico servizio(c.dati(), {100, 60000});
    QSignalSpy aggiornato(&servizio, &ServizioStorico::aggiornato);
    servizio.avvia();
    QTRY_VERIFY_WITH_TIMEOUT(s.sessioni(AUTUNNO).size() == 2 && !aggiornato.isEmpty(), 5000);
    QCOMPARE(*s.sessioni(AUTUNNO)[0].tipo_scheda, 1);
    QTRY_VERIFY(!QFileInfo::exists(marca.fileName())); // done: nothing left over
}

void TestStorico::finestra_e_strumento_con_le_stesse_cifre() {
    Cartella c;
    c.serie_del_profilo();
    {
        Storico s(c.dati());
        QVERIFY(s.apri().ok());
        s.ricostruisci();
    }
    Frm_storico w(c.dati(), nullptr, {MARIO.squadra, MARIO.nome, QStringLiteral("Squat")});
    QStringList avvisi, aperte;
    w.mostra_messaggio = [&](const QString& t) { avvisi << t; };
    w.apri_prova = [&](const QString& f) { aperte << f; };
    w.txt_dal->setDate(AUTUNNO.dal);
    w.txt_al->setDate(AUTUNNO.al);
    QCOMPARE(w.sessioni().size(), std::size_t(5));
    QCOMPARE(w.lst_sessioni->model()->rowCount(), 5);
    QVERIFY(*w.profilo().massimale == 110.0);
    QVERIFY(w.lbl_profilo->text().contains(QStringLiteral("1RM stimato: 110")));
    QCOMPARE(w.stime().size(), std::size_t(1)); // the week of 2 November, 40 and 50 kg
    w.opt_vmp->setChecked(true);
    QCOMPARE(w.profilo().punti, 2);
    QCOMPARE(*w.profilo().pendenza, -11.25);
    w.opt_vmedia->setChecked(true);
    // The velocity at 1RM is the exercise's, kept in the history.
    w.txt_velocita_1rm->setValue(500);
    QVERIFY(*w.profilo().massimale == 90.0);

    w.apri_sessione(0);
    QCOMPARE(aperte, QStringList{c.percorso(ATLETA + QStringLiteral("2026  nov 02  9:00:0.csv"))});
    w.apri_sessione(1);
    QCOMPARE(aperte.size(), 1);
    QCOMPARE(avvisi.size(), 1);

    QVERIFY(w.esporta_profilo(c.percorso(QStringLiteral("profilo.csv"))).isEmpty());
    QFile f(c.percorso(QStringLiteral("profilo.csv")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray profilo = f.readAll();
    QVERIFY(profilo.contains("Velocita a 1RM (mm/s);500;\r\n"));
    QVERIFY(profilo.contains(";90") && profilo.contains("Carichi distinti;5;\r\n"));
    for (const char* nome : {"grafico.png", "grafico.pdf"}) {
        QVERIFY(w.esporta_grafico(c.percorso(QLatin1String(nome))).isEmpty());
        QVERIFY(QFileInfo(c.percorso(QLatin1String(nome))).size() > 1000);
    }
    QVERIFY(!w.esporta_grafico(c.percorso(QStringLiteral("manca/grafico.png"))).isEmpty());
    {
        // A history made again from the files still knows the coach's velocity at 1RM.
        QVERIFY(QDir().mkpath(c.percorso(QStringLiteral("altrove"))));
        Storico nuovo(c.percorso(QStringLiteral("altrove")));
        QVERIFY(nuovo.apri().ok());
        QCOMPARE(nuovo.velocita_1rm(QStringLiteral("Squat")), 500.0);
        QCOMPARE(nuovo.velocita_1rm(QStringLiteral("Stacco")), VELOCITA_1RM_PREDEFINITA);
    }

    // The tool: the same figures, the stored velocity at 1RM or the one given.
    const QStringList base = {QStringLiteral("--data-folder"), c.dati(), QStringLiteral("--profile"),
                              QStringLiteral("--athlete"), MARIO.nome, QStringLiteral("--exercise"),
                              QStringLiteral("Squat"), QStringLiteral("--from"), QStringLiteral("2026-10-01"),
                              QStringLiteral("--to"), QStringLiteral("2026-12-31")};
    Uscita u = strumento(base);
    QCOMPARE(u.codice, 0);
    QCOMPARE(u.json.value(QStringLiteral("massimale_stimato")).toDouble(), 90.0);
    QCOMPARE(u.json.value(QStringLiteral("carichi_distinti")).toInt(), 5);
    const QJsonObject primo = u.json.value(QStringLiteral("punti")).toArray().first().toObject();
    QCOMPARE(primo.value(QStringLiteral("data")).toString(), QStringLiteral("2026-11-02"));
    QCOMPARE(primo.value(QStringLiteral("velocita")).toDouble(), 1000.0);
    QVERIFY(u.json.value(QStringLiteral("motivo")).isNull());
    u = strumento(base + QStringList{QStringLiteral("--mvt"), QStringLiteral("300"), QStringLiteral("--metric"), QStringLiteral("vmp")});
    QCOMPARE(u.json.value(QStringLiteral("pendenza")).toDouble(), -11.25);
    QCOMPARE(u.json.value(QStringLiteral("intercetta")).toDouble(), 1600.0);
    // One load: no number, the reason.
    u = strumento(base.mid(0, 7) + QStringList{QStringLiteral("--from"), QStringLiteral("2026-11-16"),
                                               QStringLiteral("--to"), QStringLiteral("2026-11-16")});
    QCOMPARE(u.codice, 0);
    QVERIFY(u.json.value(QStringLiteral("massimale_stimato")).isNull());
    QVERIFY(u.json.value(QStringLiteral("pendenza")).isNull());
    QVERIFY(u.json.value(QStringLiteral("motivo")).toString().contains(QStringLiteral("due carichi")));
    QCOMPARE(strumento(base.mid(0, 4) + QStringList{QStringLiteral("Nessuno"), QStringLiteral("--exercise"),
                                                    QStringLiteral("Squat")}).codice, 2);
    // The broken file is named, the others are in.
    u = strumento({QStringLiteral("--data-folder"), c.dati(), QStringLiteral("--rebuild")});
    QCOMPARE(u.codice, 1);
    QVERIFY(u.errori.contains(QStringLiteral("rotto dati.csv")));
}

QTEST_MAIN(TestStorico)
#include "test_storico.moc"
