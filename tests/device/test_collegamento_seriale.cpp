// The whole serial link over a real pseudo-terminal, with the simulated board
// at the other end: the port, the probe, the search, the commands, a streamed
// set, bad boards and a line that goes away.
#include "porta_memoria.h"

#include "trials/riproduzione.h"
#include "analysis/vista_memoria.h"
#include "device/frm_seriale.h"
#include "device/porta_seriale.h"
#include "device/protocollo.h"
#include "sim/board_sim.h"

#include "confronto_righe.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace vexa;
using namespace vexa::prova;
using vexa::sim::Guasto;
using vexa::sim::OpzioniScheda;
using vexa::sim::SchedaSimulata;

namespace {

// The program's side of the link, as start-up puts it together.
struct Programma {
    Stato s;
    PortaSeriale porta;
    ServiziRegistro sv;
    ProvaMemoria prova;
    Analizzatore a{s, prova.vista};
    Protocollo pr{s, porta, sv};
    std::unique_ptr<frm_seriale> finestra;

    explicit Programma(const QString& cartella) {
        porta.imposta_cartella_porte(cartella);
        s.seriale_attiva = true;
        s.titolo_programma = "VEXA METER 1.0.0";
        s.ampiezza_min = 100;
        s.vel_max = 1000;
        s.limite_sup = 110;
        s.limite_inf = 90;
        pr.attesa_apertura_ms = 20;
        pr.imposta_analisi(&a);
        pr.azzera_prova = [this] { azzera_prova(s, prova.vista); };
    }
    frm_seriale& impostazioni() {
        if (!finestra) finestra = std::make_unique<frm_seriale>(s, porta, pr, sv);
        return *finestra;
    }
    bool collega(int16_t numero) {
        porta.setCommPort(numero);
        return pr.Verifica_porta();
    }
};

template <typename F> int numero_errore(F f) {
    try {
        f();
    } catch (const ErroreRuntime& e) {
        return e.numero;
    }
    return 0;
}

std::string righe(const ProvaMemoria& p) {
    std::string out;
    for (int r = 0; r < p.righe(); ++r) out += p.riga(r) + '\n';
    return out;
}

} // namespace

class TestCollegamentoSeriale : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString porte_;

    std::unique_ptr<SchedaSimulata> scheda(int numero, OpzioniScheda op = {}) {
        auto sch = std::make_unique<SchedaSimulata>(op);
        QString e;
        if (!sch->apri(&e) || !sch->collega(QDir(porte_).filePath(QStringLiteral("com%1").arg(numero)), &e))
            qFatal("scheda simulata: %s", qPrintable(e));
        return sch;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        isola_impostazioni(dir_.path());
        porte_ = dir_.filePath(QStringLiteral("ports"));
        QVERIFY(QDir().mkpath(porte_));
    }
    void init() { QSettings("vexameter", "vexameter").clear(); }

    void porta_su_terminale_virtuale() {
        auto sch = scheda(7);
        PortaSeriale p;
        p.imposta_cartella_porte(porte_);
        QCOMPARE(QString::fromStdString(p.dispositivo(7)), sch->terminale());
        QVERIFY(p.dispositivo(8).empty());

        p.setSettings("9600,E,7,2");
        QCOMPARE(p.Settings(), std::string("9600,e,7,2"));
        QVERIFY_THROWS_EXCEPTION(ErroreRuntime, p.setSettings("9600,x,7,2"));
        QCOMPARE(p.Settings(), std::string("9600,e,7,2"));
        p.setSettings("115200,n,8,1");

        p.setCommPort(8); // nothing linked there
        QCOMPARE(numero_errore([&] { p.setPortOpen(true); }), ERR_PORTA_NON_VALIDA);
        QVERIFY(!Open_comm(p));
        QCOMPARE(numero_errore([&] { p.InBufferCount(); }), ERR_PORTA_CHIUSA);
        p.setCommPort(7);
        QVERIFY(Open_comm(p));
        QVERIFY(Open_comm(p)); // already open counts as open
        QCOMPARE(numero_errore([&] { p.setCommPort(6); }), ERR_PORTA_GIA_APERTA);
        // A pseudo-terminal has no modem lines: not a failure.
        p.setDTREnable(true);
        p.setRTSEnable(true);

        // The receive event comes once enough bytes wait, however they are cut:
        // exactly the threshold, in two pieces, is enough; each arrival past it
        // fires it again.
        int eventi = 0;
        p.OnComm_ricezione = [&] { ++eventi; };
        p.setRThreshold(12);
        sch->trasmetti(QByteArray(5, 'a'));
        QTRY_COMPARE_WITH_TIMEOUT(p.InBufferCount(), 5, 2000);
        QCOMPARE(eventi, 0);
        sch->trasmetti(QByteArray(7, 'b'));
        QTRY_COMPARE_WITH_TIMEOUT(p.InBufferCount(), 12, 2000);
        QCOMPARE(eventi, 1);
        sch->trasmetti(QByteArray(1, 'c'));
        QTRY_COMPARE_WITH_TIMEOUT(p.InBufferCount(), 13, 2000);
        QCOMPARE(eventi, 2);
        p.setInputLen(12);
        QCOMPARE(p.Input().size(), std::size_t(12));
        QCOMPARE(p.InBufferCount(), 1);
        p.setInputLen(0);
        QCOMPARE(p.Input(), std::vector<uint8_t>{'c'});

        // A babbling board nobody reads cannot fill the memory: the newest bytes stay.
        p.imposta_limite_ingresso(64);
        sch->trasmetti(QByteArray(100, 'x') + QByteArray("fine"));
        QTRY_COMPARE_WITH_TIMEOUT(p.InBufferCount(), 64, 2000);
        QTest::qWait(50); // the rest of the same write
        const auto tenuti = p.Input();
        QCOMPARE(tenuti.size(), std::size_t(64));
        QCOMPARE(tenuti.back(), uint8_t('e'));
        // During an acquisition it drops whole records: what stays starts on one.
        p.imposta_unita_ingresso(6);
        QByteArray numerati;
        for (int i = 0; i < 104; ++i) numerati += static_cast<char>(i);
        sch->trasmetti(numerati);
        QTRY_COMPARE_WITH_TIMEOUT(p.InBufferCount(), 62, 2000);
        QTest::qWait(50);
        QCOMPARE(p.Input().front(), uint8_t(42));
        p.setPortOpen(false);
        QVERIFY(!p.PortOpen());
    }

    void sonda_tipo_e_informazioni_data() {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<float>("scala_posizione");
        QTest::addColumn<float>("scala_tempo");
        QTest::newRow("tipo 1") << 1 << 1.288f << 0.0002f;
        QTest::newRow("tipo 2") << 2 << 1.0f << 0.0002f;
        QTest::newRow("tipo 3") << 3 << 1.0f << 0.0000833333f;
        QTest::newRow("tipo 9") << 9 << 1.0f << 0.0000833333f;
    }
    void sonda_tipo_e_informazioni() {
        QFETCH(int, tipo);
        QFETCH(float, scala_posizione);
        QFETCH(float, scala_tempo);
        OpzioniScheda op;
        op.tipo = tipo;
        op.tempo_campionamento = 250 + tipo;
        auto sch = scheda(2, op);
        Programma prg(porte_);
        QVERIFY(prg.collega(2));
        QCOMPARE(prg.s.stato_connessione, std::string(" connesso su com2"));
        QCOMPARE(QSettings("vexameter", "vexameter").value("Properties/CommPort").toString(), QString("2"));
        prg.pr.Ferma_acquisizione();
        prg.pr.Rileva_tipo_scheda();
        prg.pr.Leggi_info_scheda();
        QCOMPARE(prg.s.stato_connessione, " connesso su com2 Scheda tipo " + std::to_string(tipo));
        QCOMPARE(prg.s.scala_posizione, scala_posizione);
        QCOMPARE(prg.s.scala_tempo, scala_tempo);
        QCOMPARE(prg.s.tempo_campionamento, 250 + tipo);
        if (tipo == 9) {
            QCOMPARE(prg.sv.messaggi.size(), std::size_t(1));
            QCOMPARE(prg.sv.messaggi[0].testo, std::string("dispositivo non riconosciuto: DEFAULT TIPO 3!!"));
        } else {
            QVERIFY(prg.sv.messaggi.empty());
        }
        QCOMPARE(sch->comandi(), (QStringList{"$", "?", "$T", "$D", "$i"}));
    }

    void ricerca_automatica_trova_com7() {
        auto sch = scheda(7);
        Programma prg(porte_);
        auto& f = prg.impostazioni();
        f.show();
        f.Cmd_Auto_Click();
        QCOMPARE(f.Lbl_info->text(), QString("Scheda connessa su com7"));
        QCOMPARE(prg.porta.CommPort(), int16_t(7));
        QVERIFY(prg.porta.PortOpen());
        QCOMPARE(QSettings("vexameter", "vexameter").value("Properties/CommPort").toString(), QString("7"));
        QCOMPARE(prg.sv.beep_fatti, 1);
        QCOMPARE(prg.sv.titoli.back(), std::string("VEXA METER 1.0.0 connesso su com7 Scheda tipo 1"));
        QVERIFY(f.isHidden());
        QVERIFY(prg.sv.messaggi.empty());
        f.show();
        f.cmdCancel->click(); // the found port stays open and working
        prg.pr.Rileva_tipo_scheda();
        QCOMPARE(prg.s.scala_posizione, 1.288f);
    }

    void schede_difettose_data() {
        QTest::addColumn<int>("guasto");
        QTest::addColumn<bool>("sonda");
        QTest::addColumn<bool>("avvio");
        QTest::newRow("muta") << int(Guasto::Muta) << false << false;
        QTest::newRow("?YE e silenzio") << int(Guasto::SondaTroncata) << false << true;
        QTest::newRow("primo byte errato") << int(Guasto::PrimoByteErrato) << true << false;
    }
    void schede_difettose() {
        QFETCH(int, guasto);
        QFETCH(bool, sonda);
        QFETCH(bool, avvio);
        OpzioniScheda op;
        op.guasto = static_cast<Guasto>(guasto);
        auto sch = scheda(4, op);
        Programma prg(porte_);
        QElapsedTimer t;
        t.start();
        QCOMPARE(prg.collega(4), sonda);
        QVERIFY(t.elapsed() < 1500);
        QVERIFY(prg.porta.PortOpen());
        QCOMPARE(prg.s.stato_connessione, sonda ? std::string(" connesso su com4") : std::string(" non connesso"));
        prg.pr.Avvia_acquisizione();
        if (avvio) { // the probe failed, but the board does answer "$T"
            QVERIFY(prg.s.acquisizione_in_corso);
            QVERIFY(prg.sv.messaggi.empty());
            return;
        }
        QCOMPARE(prg.sv.messaggi.size(), std::size_t(1));
        QCOMPARE(prg.sv.messaggi[0].testo, std::string("Apparato non collegato o spento!"));
        QCOMPARE(prg.sv.start_spento, 1);
        QVERIFY(!prg.s.acquisizione_in_corso);
        QVERIFY(!sch->comandi().contains("$F"));
    }

    void serie_trasmessa_come_la_riproduzione_data() {
        QTest::addColumn<int>("tipo");
        QTest::newRow("tipo 1") << 1;
        QTest::newRow("tipo 3") << 3;
    }
    void serie_trasmessa_come_la_riproduzione() {
        QFETCH(int, tipo);
        OpzioniScheda op;
        op.tipo = tipo;
        QCOMPARE(vexa::sim::leggi_descrizione("ripetizioni=6,finale=200", op.serie), std::string());
        op.velocita = 20;
        auto sch = scheda(3, op);
        Programma prg(porte_);
        QVERIFY(prg.collega(3));
        prg.pr.Rileva_tipo_scheda();
        QSignalSpy finita(sch.get(), &SchedaSimulata::flusso_finito);
        prg.pr.Avvia_acquisizione();
        QVERIFY(prg.sv.messaggi.empty());
        QVERIFY(prg.s.acquisizione_in_corso);
        QVERIFY(finita.wait(10000));
        QTest::qWait(50); // the last bytes across the line
        prg.pr.Ferma_acquisizione();
        QVERIFY(!prg.sv.spostamenti.empty());
        QCOMPARE(prg.sv.spostamenti.back().rfind("Spost(cm)=  ", 0), std::size_t(0));

        // The same records through the replay path.
        Stato s;
        s.ampiezza_min = prg.s.ampiezza_min;
        s.vel_max = prg.s.vel_max;
        s.limite_sup = prg.s.limite_sup;
        s.limite_inf = prg.s.limite_inf;
        ProvaMemoria attesa;
        Analizzatore a(s, attesa.vista);
        QCOMPARE(riproduci_cattura(vexa::sim::byte_seriali(sch->serie().record), Collegamento::Seriale, tipo, s,
                                   attesa.vista, a),
                 std::string());
        QVERIFY(attesa.righe() >= 5); // the first descent is no repetition
        QCOMPARE(righe(prg.prova), righe(attesa));
    }

    void byte_spuri_nel_flusso() {
        // Bytes gained and bytes lost mid-set: the set goes on in step, its rows
        // are the clean set's but for the repetition the damage fell in, and
        // the coach is told once.
        for (Guasto guasto : {Guasto::Spazzatura, Guasto::Perdita}) {
            OpzioniScheda op;
            op.guasto = guasto;
            op.byte_guasto = 7;
            op.velocita = 40;
            QCOMPARE(vexa::sim::leggi_descrizione("ripetizioni=6,finale=200", op.serie), std::string());
            auto sch = scheda(5, op);
            Programma prg(porte_);
            QVERIFY(prg.collega(5));
            prg.pr.Rileva_tipo_scheda();
            QSignalSpy finita(sch.get(), &SchedaSimulata::flusso_finito);
            prg.pr.Avvia_acquisizione();
            QVERIFY(finita.wait(10000));
            QTest::qWait(100); // the last bytes across the line
            prg.pr.Ferma_acquisizione();
            QVERIFY(prg.pr.inquadramento().byte_scartati() >= (guasto == Guasto::Spazzatura ? 7 : 1));
            QTRY_COMPARE(prg.sv.messaggi.size(), std::size_t(1));
            QVERIFY(prg.sv.messaggi[0].testo.find("byte non validi") != std::string::npos);

            Stato s = prg.s;
            ProvaMemoria pulita;
            Analizzatore a(s, pulita.vista);
            riproduci_cattura(vexa::sim::byte_seriali(sch->serie().record), Collegamento::Seriale, 1, s, pulita.vista, a);
            QVERIFY(pulita.righe() >= 5);
            const std::string e = vexa::test::oltre_una_ripetizione(pulita, prg.prova);
            QVERIFY2(e.empty(), e.c_str());

            // The board still answers (once the samples on the line have landed).
            QTest::qWait(100);
            prg.pr.Rileva_tipo_scheda();
            QCOMPARE(prg.s.stato_connessione, std::string(" connesso su com5 Scheda tipo 1"));
        }
    }

    void linea_persa_durante_acquisizione() {
        OpzioniScheda op;
        op.guasto = Guasto::Riaggancio;
        op.velocita = 20;
        auto sch = scheda(3, op);
        Programma prg(porte_);
        auto& f = prg.impostazioni();
        prg.s.registrazione_attiva = true;
        QVERIFY(prg.collega(3));
        prg.pr.Rileva_tipo_scheda();
        QSignalSpy persa(sch.get(), &SchedaSimulata::riagganciata);
        prg.pr.Avvia_acquisizione();
        QVERIFY(persa.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!prg.s.acquisizione_in_corso, 3000);
        QVERIFY(!prg.porta.PortOpen());
        QCOMPARE(prg.sv.start_spento, 1);
        QCOMPARE(prg.s.stato_connessione, std::string(" collegamento perso su com3"));
        QCOMPARE(prg.sv.titoli.back(), std::string("VEXA METER 1.0.0 collegamento perso su com3"));
        QCOMPARE(prg.sv.messaggi.size(), std::size_t(1));
        const int32_t registrati = prg.s.n_campioni;
        QVERIFY(registrati > 10);
        prg.pr.Ferma_acquisizione(); // what the start switch going off does
        QCOMPARE(prg.sv.messaggi.size(), std::size_t(1));
        QCOMPARE(prg.s.n_campioni, registrati);

        // The board comes back on the same number: the search finds it again.
        auto di_nuovo = scheda(3);
        f.Cmd_Auto_Click();
        QCOMPARE(f.Lbl_info->text(), QString("Scheda connessa su com3"));
        QCOMPARE(prg.s.stato_connessione, std::string(" connesso su com3 Scheda tipo 1"));
        QCOMPARE(prg.s.n_campioni, registrati);
    }

    void programma_simulatore() {
        QProcess sim;
        sim.start(QStringLiteral(VEXA_BOARD_SIM),
                  {"--port", "6", "--ports-dir", porte_, "--board-type", "2", "--sampling", "123"});
        QVERIFY(sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
        const QString riga = QString::fromLocal8Bit(sim.readLine());
        const QString collegamento = QDir(porte_).filePath("com6");
        QVERIFY2(riga.contains("collegata come " + collegamento), qPrintable(riga));
        QVERIFY(QFileInfo(collegamento).isSymLink());

        Programma prg(porte_);
        QVERIFY(prg.collega(6));
        prg.pr.Rileva_tipo_scheda();
        prg.pr.Leggi_info_scheda();
        QCOMPARE(prg.s.scala_tempo, 0.0002f);
        QCOMPARE(prg.s.tempo_campionamento, 123);

        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(collegamento).isSymLink() && !QFileInfo::exists(collegamento));
        QTRY_VERIFY_WITH_TIMEOUT(!prg.porta.PortOpen(), 3000); // the line hung up
    }
};

QTEST_MAIN(TestCollegamentoSeriale)
#include "test_collegamento_seriale.moc"
