// The club's history on a real PostgreSQL server, the throwaway one that
// scripts/pg-prova starts (VEXA_PG_URL; without it every case is skipped):
// the schema made on an empty server and upgraded from the first version, two
// processes pushing overlapping folders at once, the server gone while a
// station saves, one that never answers while the program closes, the profile
// of two stations (and the window reading it), a login refused.
#include "storico/frm_storico.h"
#include "storico/servizio_storico.h"
#include "storico/storico.h"

#include "serie_storico.h"

#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vexa;
using namespace vexa::prova;

namespace {

const QString ATLETA = QStringLiteral("Prima squadra/Mario Rossi/");
const AtletaStorico MARIO{QStringLiteral("Prima squadra"), QStringLiteral("Mario Rossi")};
const FiltroSessioni AUTUNNO{MARIO, QStringLiteral("Squat"), QDate(2026, 10, 1), QDate(2026, 12, 31)};

struct Cartella {
    QTemporaryDir dir;
    QString dati() const { return dir.path(); }
    // The set of day `giorno` of November: off a line by a little, so a
    // profile that missed a station's sets would not be the same.
    QString serie(int giorno, float carico) const {
        SerieDiProva s;
        s.carico = carico;
        s.quando = {2026, 11, giorno, 9, 0, 0};
        const float v = 1400 - 10 * carico + static_cast<float>(giorno % 3) * 40;
        s.vmedia = {v, v - 10};
        const QString rel = ATLETA + QStringLiteral("2026  nov %1  9:00:0 dati.csv").arg(giorno, 2, 10, QLatin1Char('0'));
        QDir().mkpath(dir.filePath(ATLETA));
        QFile f(dir.filePath(rel));
        if (!f.open(QIODevice::WriteOnly)) return {};
        const std::string t = testo_dati(s);
        f.write(t.data(), static_cast<qint64>(t.size()));
        return f.fileName();
    }
};

ConnessioneStorico server(const QString& stazione = {}) {
    auto c = std::get<ConnessioneStorico>(ConnessioneStorico::da_url(qEnvironmentVariable("VEXA_PG_URL")));
    c.stazione = stazione;
    return c;
}

QStringList strumento(const QString& cartella, const QStringList& argomenti) {
    return QStringList{QStringLiteral("--data-folder"), cartella, QStringLiteral("--database"),
                       qEnvironmentVariable("VEXA_PG_URL")} + argomenti;
}

bool server_prova(const char* azione) {
    return QProcess::execute(qEnvironmentVariable("VEXA_PG_PROVA"),
                             {QLatin1String(azione), qEnvironmentVariable("VEXA_PG_CARTELLA")}) == 0;
}

int valore(Storico& s, const QString& sql) {
    QSqlQuery q(s.database());
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestStoricoClub : public QObject {
    Q_OBJECT
private slots:
    void init();
    void schema_nuovo_e_dalla_prima_versione();
    void due_processi_insieme();
    void server_fermato_durante_il_salvataggio();
    void server_muto_alla_chiusura();
    void profilo_di_due_stazioni();
    void accesso_rifiutato();
};

// Each case starts from a server with no history on it.
void TestStoricoClub::init() {
    if (qEnvironmentVariableIsEmpty("VEXA_PG_URL")) QSKIP("VEXA_PG_URL non impostato: nessun server di prova (scripts/pg-prova)");
    Cartella c;
    Storico s(c.dati(), server(), {});
    QVERIFY(s.apri_alla_versione(0).ok());
    QSqlQuery q(s.database());
    QVERIFY(q.exec(QStringLiteral("DROP TABLE IF EXISTS ripetizioni, sessioni, atleti, squadre, esercizi, versione_schema")));
}

void TestStoricoClub::schema_nuovo_e_dalla_prima_versione() {
    Cartella a;
    const QString file = a.serie(2, 40);
    {
        Storico s(a.dati(), server(QStringLiteral("A")), {});
        QVERIFY(s.apri_alla_versione(1).ok());
        QCOMPARE(s.versione(), 1);
    }
    // Upgraded by two stations at once: one does it, the other finds it done.
    Storico s(a.dati(), server(QStringLiteral("A")), {}), t(a.dati(), server(QStringLiteral("B")), {});
    QVERIFY(s.apri().ok());
    QVERIFY(t.apri().ok());
    QCOMPARE(s.versione(), VERSIONE_STORICO);
    // The same path on two stations is two sets.
    QCOMPARE(s.importa(file).tipo, Importazione::Aggiunta);
    QCOMPARE(t.importa(file).tipo, Importazione::Aggiunta);
    QCOMPARE(s.importa(file).tipo, Importazione::Invariata);
    QCOMPARE(s.sessioni(AUTUNNO).size(), std::size_t(2));
}

void TestStoricoClub::due_processi_insieme() {
    // Days 1-12 and 7-18 of the same station: six sets in both folders.
    Cartella a, b;
    for (int g = 1; g <= 12; ++g) a.serie(g, static_cast<float>(20 + g));
    for (int g = 7; g <= 18; ++g) b.serie(g, static_cast<float>(20 + g));
    QProcess p, q;
    const QStringList argomenti = {QStringLiteral("--station"), QStringLiteral("rack-1"), QStringLiteral("--rebuild")};
    p.start(QStringLiteral(VEXA_STORICO_TOOL), strumento(a.dati(), argomenti));
    q.start(QStringLiteral(VEXA_STORICO_TOOL), strumento(b.dati(), argomenti));
    for (QProcess* x : {&p, &q}) {
        QVERIFY(x->waitForFinished(60000));
        QVERIFY2(x->exitCode() == 0, x->readAllStandardError().constData());
    }
    Storico s(a.dati(), server(QStringLiteral("rack-1")), {});
    QVERIFY(s.apri().ok());
    QCOMPARE(valore(s, QStringLiteral("SELECT COUNT(*) FROM sessioni")), 18);
    QCOMPARE(valore(s, QStringLiteral("SELECT COUNT(*) FROM ripetizioni")), 36);
    QCOMPARE(valore(s, QStringLiteral("SELECT COUNT(*) FROM atleti")), 1);
    // Again: nothing added, nothing taken out.
    const Ricostruzione r = s.ricostruisci();
    QVERIFY(r.esito.ok());
    QCOMPARE(r.invariate, 12);
    QCOMPARE(valore(s, QStringLiteral("SELECT COUNT(*) FROM sessioni")), 18);
}

void TestStoricoClub::server_fermato_durante_il_salvataggio() {
    Cartella c;
    c.serie(2, 40);
    ServizioStorico servizio(c.dati(), {200, 300, server(QStringLiteral("rack-2"))});
    servizio.avvia();
    QTRY_VERIFY_WITH_TIMEOUT(servizio.stato_club().risponde() && servizio.stato_club().in_attesa == 0, 10000);

    QVERIFY(server_prova("ferma"));
    QElapsedTimer t;
    t.start();
    for (int g = 3; g <= 5; ++g) servizio.registra(c.serie(g, static_cast<float>(10 * g)));
    QVERIFY(t.elapsed() < 100); // the save never waits for the server
    QTRY_VERIFY_WITH_TIMEOUT(!servizio.stato_club().problema.isEmpty() && servizio.stato_club().in_attesa == 3, 10000);
    {
        Storico locale(c.dati());
        QVERIFY(locale.apri().ok());
        QCOMPARE(locale.sessioni(AUTUNNO).size(), std::size_t(4)); // the station's own history goes on
    }
    QVERIFY(server_prova("avvia"));
    QTRY_VERIFY_WITH_TIMEOUT(servizio.stato_club().risponde() && servizio.stato_club().in_attesa == 0, 15000);
    Storico s(c.dati(), server(), {});
    QVERIFY(s.apri().ok());
    QCOMPARE(s.sessioni(AUTUNNO).size(), std::size_t(4));
}

void TestStoricoClub::server_muto_alla_chiusura() {
    // A port that takes the connection and never says a word.
    const int muto = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    QVERIFY(::bind(muto, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(muto, 8) == 0);
    QVERIFY(::getsockname(muto, reinterpret_cast<sockaddr*>(&a), &n) == 0);
    Cartella c;
    c.serie(2, 40);
    ConnessioneStorico silenzioso = server(QStringLiteral("rack-4"));
    silenzioso.porta = ntohs(a.sin_port);
    QElapsedTimer t;
    {
        ServizioStorico servizio(c.dati(), {200, 300, silenzioso});
        servizio.avvia();
        QTest::qWait(500); // the push is waiting for the server by now
        t.start();
    }
    QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    ::close(muto);
    Storico locale(c.dati());
    QVERIFY(locale.apri().ok());
    QCOMPARE(locale.quante_da_inviare(), 1);
}

void TestStoricoClub::profilo_di_due_stazioni() {
    Cartella a, b;
    for (int g : {2, 9, 16}) a.serie(g, static_cast<float>(2 * g + 20));
    for (int g : {4, 9, 23}) b.serie(g, static_cast<float>(3 * g + 5)); // day 9: a file name of both
    // Station A's whole trial of day 9, which is not station B's.
    QFile intero(a.dir.filePath(ATLETA + QStringLiteral("2026  nov 09  9:00:0.csv")));
    QVERIFY(intero.open(QIODevice::WriteOnly));
    intero.close();
    for (auto [cartella, stazione] : {std::pair{&a, "A"}, std::pair{&b, "B"}}) {
        QProcess p;
        p.start(QStringLiteral(VEXA_STORICO_TOOL),
                strumento(cartella->dati(), {QStringLiteral("--station"), QLatin1String(stazione), QStringLiteral("--rebuild")}));
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
    }
    // What both stations' files say, each read into a history of its own.
    std::vector<SessioneStorico> tutte;
    for (Cartella* x : {&a, &b}) {
        Storico locale(x->dati());
        QVERIFY(locale.apri().ok());
        QVERIFY(locale.ricostruisci().esito.ok());
        for (const SessioneStorico& s : locale.sessioni(AUTUNNO)) tutte.push_back(s);
    }
    std::sort(tutte.begin(), tutte.end(), [](const auto& x, const auto& y) { return x.quando < y.quando; });
    const Profilo atteso = profilo_delle_sessioni(tutte, false, VELOCITA_1RM_PREDEFINITA);

    QProcess p;
    p.start(QStringLiteral(VEXA_STORICO_TOOL),
            strumento(a.dati(), {QStringLiteral("--profile"), QStringLiteral("--athlete"), MARIO.nome, QStringLiteral("--exercise"),
                                 QStringLiteral("Squat"), QStringLiteral("--from"), QStringLiteral("2026-10-01"),
                                 QStringLiteral("--to"), QStringLiteral("2026-12-31")}));
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QJsonObject j = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    QCOMPARE(j[QStringLiteral("punti")].toArray().size(), 6);
    QCOMPARE(j[QStringLiteral("pendenza")].toDouble(), atteso.pendenza);
    QCOMPARE(j[QStringLiteral("intercetta")].toDouble(), atteso.intercetta);
    QCOMPARE(j[QStringLiteral("massimale_stimato")].toDouble(), *atteso.massimale);

    // Station A's window reads every station's sets from the server, and says so.
    ServizioStorico servizio(a.dati(), {200, 300, server(QStringLiteral("A"))});
    servizio.avvia();
    bool acquisizione = true;
    Frm_storico w(a.dati(), &servizio, {MARIO.squadra, MARIO.nome, QStringLiteral("Squat")}, nullptr,
                  [&] { return acquisizione; });
    w.txt_dal->setDate(AUTUNNO.dal);
    w.txt_al->setDate(AUTUNNO.al);
    QCOMPARE(w.sessioni().size(), std::size_t(3));
    // While a set is measured the window keeps off the network, server or not.
    QTRY_VERIFY_WITH_TIMEOUT(servizio.stato_club().risponde(), 10000);
    w.acquisizione_cambiata();
    QVERIFY(!w.legge_dal_server());
    QCOMPARE(w.sessioni().size(), std::size_t(3));
    acquisizione = false;
    w.acquisizione_cambiata();
    QTRY_VERIFY_WITH_TIMEOUT(w.legge_dal_server(), 10000);
    QCOMPARE(w.sessioni().size(), std::size_t(6));
    QVERIFY2(w.lbl_club->text().startsWith(QStringLiteral("Storico del club")), qPrintable(w.lbl_club->text()));
    QCOMPARE(w.profilo().massimale, atteso.massimale);
    // Each day-9 set opens its own station's trial, or says where it is.
    QStringList aperte, avvisi;
    w.apri_prova = [&](const QString& f) { aperte << f; };
    w.mostra_messaggio = [&](const QString& t) { avvisi << t; };
    for (int i = 0; i < 6; ++i)
        if (w.sessioni()[static_cast<std::size_t>(i)].quando.date().day() == 9) w.apri_sessione(i);
    QCOMPARE(aperte, QStringList{intero.fileName()});
    QCOMPARE(avvisi.size(), 1);
    QVERIFY(avvisi[0].contains(QStringLiteral("altra stazione")));
    // A set saved now shows once the push has taken it to the server.
    servizio.registra(a.serie(30, 95));
    QTRY_COMPARE_WITH_TIMEOUT(w.sessioni().size(), std::size_t(7), 10000);

    // The server stops between two pushes: the next reading shows this
    // station's own sets and why, not an empty list.
    QVERIFY(server_prova("ferma"));
    w.txt_al->setDate(AUTUNNO.al.addDays(1));
    const bool dal_server = w.legge_dal_server();
    const std::size_t mostrate = w.sessioni().size();
    const QString club = w.lbl_club->text();
    QVERIFY(server_prova("avvia"));
    QVERIFY(!dal_server);
    QCOMPARE(mostrate, std::size_t(4));
    QVERIFY2(club.startsWith(QStringLiteral("Storico di questa stazione")), qPrintable(club));
}

void TestStoricoClub::accesso_rifiutato() {
    Cartella c;
    c.serie(2, 40);
    ConnessioneStorico estraneo = server(QStringLiteral("rack-3"));
    estraneo.utente = QStringLiteral("nessuno");
    Storico s(c.dati(), estraneo, {});
    const EsitoStorico e = s.apri();
    QVERIFY(!e.ok());
    QVERIFY2(e.messaggio.contains(QStringLiteral("ha rifiutato l'accesso")) && e.messaggio.contains(QStringLiteral("nessuno@")),
             qPrintable(e.messaggio));
    QVERIFY(!e.messaggio.contains(QStringLiteral("password="))); // nothing of the client's secrets

    // The station's history goes on, the set waiting for a server that lets it in.
    ServizioStorico servizio(c.dati(), {200, 60000, estraneo});
    servizio.avvia();
    QTRY_VERIFY_WITH_TIMEOUT(servizio.stato_club().problema.contains(QStringLiteral("rifiutato")), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(servizio.stato_club().in_attesa, 1, 10000);
    Storico locale(c.dati());
    QVERIFY(locale.apri().ok());
    QCOMPARE(locale.sessioni(AUTUNNO).size(), std::size_t(1));
}

QTEST_MAIN(TestStoricoClub)
#include "test_storico_club.moc"
