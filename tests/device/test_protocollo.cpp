// The board protocol and the serial receive event against a scripted port.
#include "porta_memoria.h"

#include "analysis/decodifica.h"
#include "analysis/vista_memoria.h"
#include "device/protocollo.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace vexa;
using namespace vexa::prova;

namespace {

struct Banco {
    Stato s;
    PortaMemoria p;
    ServiziRegistro sv;
    LinkHidFinto hid;
    ProvaMemoria prova;
    Analizzatore a{s, prova.vista};
    Protocollo pr{s, p, sv, &hid};
    int azzeramenti = 0;

    Banco() {
        s.seriale_attiva = true;
        pr.attesa_apertura_ms = 10;
        pr.imposta_analisi(&a);
        pr.azzera_prova = [this] {
            ++azzeramenti;
            azzera_prova(s, prova.vista);
        };
        p.setPortOpen(true);
    }
    // The state a successful start leaves on the serial link.
    void in_acquisizione(int tipo = 1) {
        const auto sc = scala_per_tipo(tipo);
        s.scala_posizione = sc.posizione;
        s.scala_tempo = sc.tempo;
        p.setRThreshold(12);
        p.setInputLen(12);
        p.setInputMode(ModoIngresso::Binario);
        s.ricezione_abilitata = true;
        s.acquisizione_in_corso = true;
    }
};

// A tone that also runs a hook, for a control that acts on the program.
struct SuonoConGancio : ISuono {
    std::function<void()> gancio;
    int beep_suonati = 0;
    void beep() override {
        ++beep_suonati;
        if (gancio) gancio();
    }
};

// Serial records as the board sends them.
std::vector<uint8_t> record(int16_t posizione, int32_t tick, int quanti = 1) {
    std::vector<uint8_t> b;
    for (int i = 0; i < quanti; ++i) {
        const auto p = static_cast<uint16_t>(posizione);
        const auto t = static_cast<uint32_t>(tick);
        for (uint8_t x : {uint8_t(p), uint8_t(p >> 8), uint8_t(t), uint8_t(t >> 8), uint8_t(t >> 16), uint8_t(t >> 24)})
            b.push_back(x);
    }
    return b;
}

// Records a step apart, as the board streams them: upwards for a positive
// interval, downwards for a negative one.
std::vector<uint8_t> passi(int16_t da, int32_t tick, int quanti) {
    std::vector<uint8_t> b;
    for (int i = 0; i < quanti; ++i) {
        const auto r = record(static_cast<int16_t>(da + (tick > 0 ? 6 : -6) * i), tick);
        b.insert(b.end(), r.begin(), r.end());
    }
    return b;
}

// A load rocking by one step, every odd record at 100 counts.
std::vector<uint8_t> su_e_giu(int quanti) {
    std::vector<uint8_t> b;
    for (int i = 0; i < quanti; ++i) {
        const auto r = i % 2 ? record(100, 50000) : record(94, -50000);
        b.insert(b.end(), r.begin(), r.end());
    }
    return b;
}

} // namespace

class TestProtocollo : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        isola_impostazioni(dir_.path());
    }

    void attesa_della_risposta() {
        Banco b;
        b.s.timeout_attesa = 300;
        b.s.ricezione_abilitata = true;
        b.p.setInputLen(12);
        // The reply comes in pieces; the receive event must stay out of it meanwhile.
        b.p.arriva_dopo(byte("?Y"), 20);
        b.p.arriva_dopo(byte("ESX"), 40);
        bool ricezione_durante = true;
        QTimer::singleShot(30, [&] { ricezione_durante = b.s.ricezione_abilitata; });
        QElapsedTimer t;
        t.start();
        QCOMPARE(b.pr.Leggi_risposta(4), byte("?YES"));
        QVERIFY(t.elapsed() < 250);
        QVERIFY(!ricezione_durante);
        QVERIFY(b.s.ricezione_abilitata);
        QCOMPARE(b.p.InputLen(), int16_t(12));
        QCOMPARE(b.p.in_attesa(), std::size_t(1)); // the extra byte stays for the next reader

        // Silence: the wait lasts its time-out, no more, and gives the one-byte default.
        t.restart();
        QCOMPARE(b.pr.Leggi_risposta(3), std::vector<uint8_t>{0});
        QVERIFY2(t.elapsed() >= 295 && t.elapsed() < 600, qPrintable(QString::number(t.elapsed())));
        QVERIFY(b.s.attesa_finita);
        b.p.Input();
        QCOMPARE(b.pr.Leggi_byte(), uint8_t(0));
    }

    void attese_annidate() {
        // A handler run during a wait starts its own exchange: each wait gets its
        // own bytes and ends by its own deadline.
        Banco b;
        b.s.timeout_attesa = 300;
        std::vector<uint8_t> interna;
        qint64 fine_interna = 0;
        QElapsedTimer t;
        t.start();
        QTimer::singleShot(20, [&] {
            b.p.arriva_dopo(byte("$D\x02"), 30);
            interna = b.pr.Leggi_risposta(3);
            fine_interna = t.elapsed();
        });
        b.p.arriva_dopo(byte("$T"), 150);
        QCOMPARE(b.pr.Leggi_risposta(2), byte("$T"));
        QCOMPARE(interna, byte("$D\x02"));
        QVERIFY(fine_interna < 150);
        QVERIFY(t.elapsed() < 280);

        // Both silent: the inner wait runs its whole time, the outer one ends
        // as soon as it is back, its own time being over.
        t.restart();
        QTimer::singleShot(20, [&] { interna = b.pr.Leggi_risposta(3); });
        QCOMPARE(b.pr.Leggi_risposta(2), std::vector<uint8_t>{0});
        QCOMPARE(interna, std::vector<uint8_t>{0});
        QVERIFY2(t.elapsed() >= 315 && t.elapsed() < 700, qPrintable(QString::number(t.elapsed())));
    }

    void attendi_ms_lascia_correre_gli_eventi() {
        Banco b;
        bool scattato = false;
        QTimer::singleShot(10, [&] { scattato = true; });
        QElapsedTimer t;
        t.start();
        b.pr.Attendi_ms(60);
        QVERIFY(scattato);
        QVERIFY(t.elapsed() >= 60 && t.elapsed() < 400);
    }

    void sonda_della_porta_data() {
        QTest::addColumn<QByteArray>("risposta");
        QTest::addColumn<bool>("trovata");
        QTest::newRow("?YES") << QByteArray("?YES") << true;
        QTest::newRow("?YE e silenzio") << QByteArray("?YE") << false;
        QTest::newRow("altro") << QByteArray("?NO!") << false;
        QTest::newRow("muta") << QByteArray() << false;
    }
    void sonda_della_porta() {
        QFETCH(QByteArray, risposta);
        QFETCH(bool, trovata);
        QSettings("vexameter", "vexameter").clear();
        Banco b;
        b.p.setPortOpen(false);
        b.p.setCommPort(4);
        b.p.rispondi("$", byte("$"));
        if (!risposta.isEmpty()) b.p.rispondi("?", {risposta.begin(), risposta.end()});
        QCOMPARE(b.s.timeout_attesa, int16_t(1000));
        QElapsedTimer t;
        t.start();
        QCOMPARE(b.pr.Verifica_porta(), trovata);
        QVERIFY(t.elapsed() < 1500); // two waits of 500 ms at most after the first probe
        QCOMPARE(b.s.timeout_attesa, int16_t(500));
        QVERIFY(b.p.PortOpen() && b.p.dtr && b.p.rts);
        QCOMPARE(b.p.scritti, (std::vector<std::string>{"$", "?"}));
        QVERIFY(b.sv.messaggi.empty());
        const QString memorizzata = QSettings("vexameter", "vexameter").value("Properties/CommPort").toString();
        QCOMPARE(memorizzata, trovata ? QString("4") : QString());
        QCOMPARE(b.s.stato_connessione, trovata ? std::string(" connesso su com4") : std::string(" non connesso"));
    }

    void sonda_senza_porta() {
        Banco b;
        b.p.setPortOpen(false);
        b.p.esiste = false;
        QVERIFY(!b.pr.Verifica_porta());
        QVERIFY(b.p.scritti.empty());
        QVERIFY(b.sv.messaggi.empty());
        QCOMPARE(b.s.timeout_attesa, int16_t(1000));
    }

    void tipo_di_scheda_data() {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<float>("posizione");
        QTest::addColumn<float>("tempo");
        QTest::addColumn<bool>("avviso");
        QTest::newRow("1") << 1 << 1.288f << 0.0002f << false;
        QTest::newRow("2") << 2 << 1.0f << 0.0002f << false;
        QTest::newRow("3") << 3 << 1.0f << 0.0000833333f << false;
        QTest::newRow("7") << 7 << 1.0f << 0.0000833333f << true;
        QTest::newRow("0") << 0 << 1.0f << 0.0000833333f << true;
    }
    void tipo_di_scheda() {
        QFETCH(int, tipo);
        QFETCH(float, posizione);
        QFETCH(float, tempo);
        QFETCH(bool, avviso);
        Banco b;
        b.s.stato_connessione = " connesso su com3";
        b.p.rispondi("$D", {'$', 'D', static_cast<uint8_t>(tipo)});
        b.pr.Rileva_tipo_scheda();
        b.pr.Rileva_tipo_scheda(); // a second detection replaces the first piece
        QCOMPARE(b.s.stato_connessione, " connesso su com3 Scheda tipo " + std::to_string(tipo));
        QCOMPARE(b.s.scala_posizione, posizione);
        QCOMPARE(b.s.scala_tempo, tempo);
        QCOMPARE(b.sv.messaggi.size(), avviso ? std::size_t(2) : std::size_t(0));
        if (avviso) {
            QCOMPARE(b.sv.messaggi[0].testo, std::string("dispositivo non riconosciuto: DEFAULT TIPO 3!!"));
            QVERIFY(b.sv.messaggi[0].titolo.empty()); // the application's own title
        }
        if (tipo == 3) QVERIFY(b.s.scala_tempo != 1.0f / 12000.0f);
    }

    void tipo_di_scheda_senza_risposta() {
        Banco b;
        b.s.timeout_attesa = 100;
        b.s.stato_connessione = " connesso su com3";
        b.pr.Rileva_tipo_scheda(); // silent board
        QCOMPARE(b.sv.messaggi.size(), std::size_t(1));
        QVERIFY(b.sv.messaggi[0].testo.find("non ha risposto") != std::string::npos);
        QCOMPARE(b.s.stato_connessione, std::string(" connesso su com3"));
        QCOMPARE(b.s.scala_posizione, 0.0f);
        QCOMPARE(b.s.scala_tempo, 0.0f);

        b.p.setPortOpen(false); // a closed port: the write fails and says why
        b.pr.Rileva_tipo_scheda();
        QCOMPARE(b.sv.messaggi.size(), std::size_t(2));
        QVERIFY(b.sv.messaggi[1].testo.find("porta aperta") != std::string::npos);
        QCOMPARE(b.s.stato_connessione, std::string(" connesso su com3"));
    }

    void blocco_informazioni() {
        Banco b;
        b.s.timeout_attesa = 100;
        b.s.hid_attivo = true; // asked on the serial port even with the HID link on
        b.p.rispondi("$i", {'$', 'i', 2, 1, 0x2c, 0x01});
        b.pr.Leggi_info_scheda();
        QCOMPARE(b.s.tempo_campionamento, 300);
        QVERIFY(b.hid.inviati.empty());
        QCOMPARE(b.p.in_attesa(), std::size_t(0));

        b.p.rispondi("$i", {'$', 'i', 3, 1, 0x10, 0x00}); // not the expected block
        b.pr.Leggi_info_scheda();
        b.p.rispondi("$i", {'$', 'i', 2}); // second part never comes
        b.pr.Leggi_info_scheda();
        b.p.setPortOpen(false);
        b.pr.Leggi_info_scheda();
        QCOMPARE(b.s.tempo_campionamento, 300);
        QVERIFY(b.sv.messaggi.empty());
    }

    void avvio_e_arresto() {
        Banco b;
        b.s.timeout_attesa = 200;
        b.s.registrazione_attiva = true;
        b.s.tempo_totale = 5;
        b.p.rispondi("$T", byte("$T"));
        b.p.rispondi("$F", byte("$F"));
        b.pr.Avvia_acquisizione();
        QCOMPARE(b.p.scritti, (std::vector<std::string>{"$T", "$F"}));
        QVERIFY(b.s.acquisizione_in_corso && b.s.ricezione_abilitata && b.s.grafico_live);
        QCOMPARE(b.p.RThreshold(), int16_t(12));
        QCOMPARE(b.p.InputLen(), int16_t(12));
        QCOMPARE(b.p.InputMode(), ModoIngresso::Binario);
        QCOMPARE(b.azzeramenti, 1);
        QCOMPARE(b.s.tempo_totale, 0.0f);
        QVERIFY(b.sv.messaggi.empty());

        b.pr.Ferma_acquisizione();
        QVERIFY(!b.s.acquisizione_in_corso);
        QVERIFY(b.s.ricezione_abilitata);
        QCOMPARE(b.sv.start_spento, 1);
        QCOMPARE(b.p.scritti.back(), std::string("$T"));

        b.pr.Azzera_spostamento();
        QCOMPARE(b.p.scritti, (std::vector<std::string>{"$T", "$F", "$T", "$T", "$Z"}));
        QVERIFY(b.sv.messaggi.empty());
    }

    void avvio_rifiutato_data() {
        QTest::addColumn<QByteArray>("risposta");
        QTest::newRow("primo byte errato") << QByteArray("#T");
        QTest::newRow("muta") << QByteArray();
        QTest::newRow("nessun collegamento") << QByteArray("-"); // the USB cable was pulled
    }
    void avvio_rifiutato() {
        QFETCH(QByteArray, risposta);
        Banco b;
        b.s.timeout_attesa = 100;
        const bool collegata = risposta != "-";
        b.s.seriale_attiva = collegata;
        if (!risposta.isEmpty()) b.p.rispondi("$T", {risposta.begin(), risposta.end()});
        b.pr.Avvia_acquisizione();
        QCOMPARE(b.sv.messaggi.size(), std::size_t(1));
        QCOMPARE(b.sv.messaggi[0].testo, std::string("Apparato non collegato o spento!"));
        QCOMPARE(b.sv.messaggi[0].icona, Icona::Critico);
        QCOMPARE(b.sv.messaggi[0].titolo, std::string("Vexa Meter"));
        QCOMPARE(b.sv.start_spento, 1);
        QVERIFY(!b.s.acquisizione_in_corso);
        QCOMPARE(b.p.scritti, collegata ? std::vector<std::string>{"$T"} : std::vector<std::string>{});
        QCOMPARE(b.azzeramenti, 0);
    }

    void porta_chiusa() {
        Banco b;
        b.p.setPortOpen(false);
        b.pr.Ferma_acquisizione();
        QCOMPARE(b.sv.start_spento, 1);
        QCOMPARE(b.sv.messaggi.size(), std::size_t(1));
        b.pr.Avvia_acquisizione(); // reported, and no acquisition left running
        QCOMPARE(b.sv.messaggi.size(), std::size_t(2));
        QVERIFY(!b.s.acquisizione_in_corso);
        QCOMPARE(b.sv.start_spento, 2);
    }

    void collegamento_hid() {
        Banco b;
        b.s.seriale_attiva = false;
        b.s.hid_attivo = true;
        b.hid.buffer[2] = 2;
        b.pr.Rileva_tipo_scheda();
        QCOMPARE(b.s.scala_tempo, 0.0002f);
        QCOMPARE(b.s.scala_posizione, 1.0f);
        b.pr.Avvia_acquisizione(); // nothing awaited on HID
        QCOMPARE(b.hid.inviati, (std::vector<std::string>{"$D", "$T", "$F"}));
        QVERIFY(b.p.scritti.empty());
        QVERIFY(b.s.acquisizione_in_corso);
        QVERIFY(!b.s.ricezione_abilitata);

        b.p.setPortOpen(false); // the information block is a serial matter only
        b.s.tempo_campionamento = 77;
        b.pr.Leggi_info_scheda();
        QCOMPARE(b.hid.inviati.size(), std::size_t(3));
        QCOMPARE(b.s.tempo_campionamento, 77);

        b.hid.buffer[2] = 0; // no board report: type 0 is unknown
        b.pr.Rileva_tipo_scheda();
        QCOMPARE(b.sv.messaggi.back().testo, std::string("dispositivo non riconosciuto: DEFAULT TIPO 3!!"));

        b.p.setPortOpen(true);
        b.s.seriale_attiva = true; // both links: the command goes on both
        b.pr.Invia_comando("$Z");
        QCOMPARE(b.hid.inviati.back(), std::string("$Z"));
        QCOMPARE(b.p.scritti.back(), std::string("$Z"));
    }

    void evento_di_ricezione_data() {
        QTest::addColumn<int>("lunghezza"); // input length and threshold
        QTest::addColumn<int>("arrivati");
        QTest::addColumn<int>("primo_pezzo"); // bytes of a first arrival; 0: all at once
        QTest::addColumn<int>("eventi");
        QTest::addColumn<int>("blocchi");
        QTest::addColumn<int>("restano");
        QTest::newRow("12") << 12 << 12 << 0 << 1 << 0 << 12;
        QTest::newRow("5+7") << 12 << 12 << 5 << 1 << 0 << 12;
        QTest::newRow("13") << 12 << 13 << 0 << 1 << 1 << 1;
        QTest::newRow("12+1") << 12 << 13 << 12 << 2 << 1 << 1;
        QTest::newRow("25") << 12 << 25 << 0 << 1 << 2 << 1;
        QTest::newRow("13 in blocchi di un record") << 6 << 13 << 0 << 1 << 2 << 1;
    }
    void evento_di_ricezione() {
        QFETCH(int, lunghezza);
        QFETCH(int, arrivati);
        QFETCH(int, primo_pezzo);
        QFETCH(int, eventi);
        QFETCH(int, blocchi);
        QFETCH(int, restano);
        Banco b;
        b.in_acquisizione(1);
        b.p.setRThreshold(static_cast<int16_t>(lunghezza));
        b.p.setInputLen(static_cast<int16_t>(lunghezza));
        int scattati = 0;
        const auto evento = b.p.OnComm_ricezione;
        b.p.OnComm_ricezione = [&] {
            ++scattati;
            evento();
        };
        auto dati = su_e_giu(5);
        dati.resize(static_cast<std::size_t>(arrivati));
        const auto taglio = dati.begin() + primo_pezzo;
        if (primo_pezzo) b.p.arriva({dati.begin(), taglio});
        b.p.arriva({taglio, dati.end()});
        // The event comes once the threshold is reached, however the bytes are cut.
        QCOMPARE(scattati, eventi);
        QCOMPARE(static_cast<int>(b.p.in_attesa()), restano);
        // One label text per block, the newest position: the screen shows no more.
        QCOMPARE(static_cast<int>(b.sv.spostamenti.size()), blocchi);
        if (blocchi) {
            // 100 counts of a type-1 board are 128.8 mm.
            QCOMPARE(b.sv.spostamenti.back(), std::string("Spost(cm)=  13"));
            // Every record read but the two newest, which wait for the next ones to agree with them.
            const int letti = (arrivati - restano) / 6;
            QCOMPARE(b.s.tempo_totale, static_cast<float>(std::max(letti - 2, 0)) * 0.01f);
            // Until the line goes quiet: nothing will come to confirm them while the load stands still.
            QTRY_COMPARE(b.s.tempo_totale, static_cast<float>(letti) * 0.01f);
        }
    }

    void arresto_con_record_trattenuti() {
        // The records the framing still holds at the stop are the end of the set.
        Banco b;
        b.in_acquisizione(1);
        b.s.registrazione_attiva = true;
        // An odd count: the last record is short of a block and raises no receive event.
        b.p.arriva(passi(100, 50000, 7));
        QCOMPARE(b.s.tempo_totale, 4 * 0.01f);
        b.pr.Ferma_acquisizione();
        QCOMPARE(b.s.tempo_totale, 7 * 0.01f);
    }

    void arresto_durante_il_primo_di_due_blocchi() {
        // Two blocks wait; a control reached from the analysis of the first one
        // (here the tone of a new low) stops the acquisition: the second block
        // stays in the port, unanalysed.
        Banco b;
        b.in_acquisizione(1);
        SuonoConGancio suono;
        suono.gancio = [&] { b.s.acquisizione_in_corso = false; };
        b.prova.vista.suono = &suono;
        auto dati = passi(130, -50000, 6);
        dati.push_back(0);
        b.p.arriva(dati);
        QCOMPARE(suono.beep_suonati, 1);
        // The first block is held until the second agrees with it.
        QCOMPARE(b.sv.spostamenti.size(), std::size_t(2));
        QCOMPARE(b.s.tempo_totale, 2 * 0.01f);
        QCOMPARE(b.p.in_attesa(), std::size_t(13));
    }

    void etichetta_con_la_posizione_piu_recente() {
        Banco b;
        b.in_acquisizione(1);
        auto dati = passi(194, 50000, 2);
        dati.push_back(0); // the block is read once a byte more waits
        b.p.arriva(dati);
        QCOMPARE(b.sv.spostamenti.size(), std::size_t(1));
        QCOMPARE(b.sv.spostamenti.back(), std::string("Spost(cm)=  26")); // 200 counts: 257.6 mm
    }

    void risposte_e_campioni_non_si_mescolano() {
        // Samples arriving while a reply is awaited stay for the receive event;
        // the reply is not taken as samples.
        Banco b;
        b.s.timeout_attesa = 200;
        b.in_acquisizione(1);
        auto insieme = byte("$T");
        const auto campioni = passi(100, 50000, 3);
        insieme.insert(insieme.end(), campioni.begin(), campioni.end());
        b.p.arriva_dopo(insieme, 10); // reply and first samples in one piece
        QCOMPARE(b.pr.Leggi_risposta(2), byte("$T"));
        QCOMPARE(b.p.in_attesa(), std::size_t(18));
        QVERIFY(b.sv.spostamenti.empty());
        b.s.ricezione_abilitata = false; // and during a wait they are left alone
        b.p.arriva(passi(118, 50000, 1));
        QVERIFY(b.sv.spostamenti.empty());
        b.s.ricezione_abilitata = true;
        b.s.acquisizione_in_corso = false; // stopped: they stay too
        b.p.arriva(passi(124, 50000, 1));
        QVERIFY(b.sv.spostamenti.empty());
        b.s.acquisizione_in_corso = true;
        b.p.arriva(passi(130, 50000, 1)); // the next arrival hands them on, block by block
        QCOMPARE(b.sv.spostamenti.size(), std::size_t(2));
        QCOMPARE(b.p.in_attesa(), std::size_t(12)); // the newest block waits for more
    }

    void collegamento_perso() {
        Banco b;
        b.s.titolo_programma = "VEXA METER 1.0.0";
        b.s.registrazione_attiva = true;
        b.in_acquisizione(1);
        b.p.arriva(passi(100, 50000, 7));
        const int32_t registrati = b.s.n_campioni;
        QVERIFY(registrati >= 4);
        b.p.perdi();
        QVERIFY(!b.s.acquisizione_in_corso);
        QCOMPARE(b.sv.start_spento, 1);
        QCOMPARE(b.s.stato_connessione, std::string(" collegamento perso su com1"));
        QCOMPARE(b.sv.titoli.back(), std::string("VEXA METER 1.0.0 collegamento perso su com1"));
        QCOMPARE(b.sv.messaggi.size(), std::size_t(1));
        // The two records the framing held for confirmation are kept too.
        QCOMPARE(b.s.n_campioni, registrati + 2);
        // The start switch going off stops the acquisition once more: no second message.
        b.pr.Ferma_acquisizione();
        QCOMPARE(b.sv.messaggi.size(), std::size_t(1));
    }

    void perdita_durante_una_risposta() {
        Banco b;
        b.s.timeout_attesa = 400;
        QTimer::singleShot(20, [&] { b.p.perdi(); });
        QElapsedTimer t;
        t.start();
        b.pr.Rileva_tipo_scheda();
        QVERIFY(t.elapsed() < 300);
        QCOMPARE(b.sv.messaggi.size(), std::size_t(2)); // the loss, then the failed detection
        QCOMPARE(b.s.scala_tempo, 0.0f);
    }
};

QTEST_GUILESS_MAIN(TestProtocollo)
#include "test_protocollo.moc"
