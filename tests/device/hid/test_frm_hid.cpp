// The HID link window against the simulated board: plug-in state and captions,
// a board this user may not open, the read path into the decoder (reports in
// batches, in order, each in the receive buffer as it is decoded; drops told
// once), and what reaches the board when commands go out.
#include "sim/backend_simulato.h"
#include "device/hid/frm_hid.h"
#include "device/errore_runtime.h"
#include "servizi_registro.h"

#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace vexa;
using vexa::test::consegna;

namespace {

using test::Blocco;

struct Banco {
    Stato stato;
    test::ServiziRegistro servizi;
    std::vector<Blocco> blocchi;
    // The window's receive buffer as each block reached the decoder.
    std::vector<std::array<uint8_t, BYTE_BUFFER_HID>> buffer_ai_blocchi;
    BackendHidSimulato* sim = nullptr;
    std::unique_ptr<frm_hid> finestra;

    Banco() {
        stato.titolo_programma = "VEXA METER 1.3.9";
        auto b = std::make_unique<BackendHidSimulato>();
        sim = b.get();
        finestra = std::make_unique<frm_hid>(stato, servizi, std::move(b),
                                             [this](int n, const double* p, const float* dt) {
                                                 blocchi.push_back({n, {p, p + n + 1}, {dt, dt + n + 1}});
                                                 buffer_ai_blocchi.push_back(finestra->buffer_ricezione_hid());
                                             });
        finestra->separatore = '.';
    }
    std::string titolo() const { return servizi.titoli.empty() ? std::string() : servizi.titoli.back(); }
    std::string inviato(std::size_t i) const {
        const auto& b = sim->ricevuti().at(i);
        return std::string(b.begin(), b.end());
    }
};

// A report (no report ID) whose slot k holds `posizione[k]` and `intervallo[k]`.
std::array<uint8_t, 64> report(const std::array<int16_t, 8>& posizione, const std::array<int32_t, 8>& intervallo) {
    std::array<sim::RecordScheda, 8> r{};
    for (std::size_t k = 0; k < 8; ++k) r[k] = {posizione[k], intervallo[k]};
    std::array<uint8_t, 64> out{};
    sim::scrivi_report_hid(r.data(), 8, out.data());
    return out;
}

} // namespace

class TestFrmHid : public QObject {
    Q_OBJECT
private slots:
    void scheda_gia_presente_annunciata_dopo_il_collegamento();
    void scollegamento_e_ricollegamento();
    void altri_dispositivi_ignorati();
    void disconnessione_ferma_le_notifiche();
    void scheda_senza_accesso_non_presa();
    void report_letto_passa_alla_lettura();
    void report_fuori_acquisizione_solo_nel_buffer();
    void lotto_in_ordine_ogni_report_nel_buffer();
    void report_persi_detti_una_volta_per_collegamento();
    void invio_pulisce_i_byte_di_un_comando_precedente();
    void invio_senza_scheda_o_troppo_lungo_e_un_errore();
    void pulsanti_della_finestra();
};

void TestFrmHid::scheda_gia_presente_annunciata_dopo_il_collegamento() {
    Stato stato;
    stato.titolo_programma = "T";
    stato.seriale_attiva = true;
    test::ServiziRegistro servizi;
    auto b = std::make_unique<BackendHidSimulato>();
    b->collega();
    frm_hid finestra(stato, servizi, std::move(b), frm_hid::ElaboraBlocco{});
    // Announced as a window message would be: not inside the connection itself.
    QVERIFY(!stato.hid_attivo);
    consegna();
    QVERIFY(stato.hid_attivo);
    QVERIFY(!stato.seriale_attiva);
    QCOMPARE(stato.stato_connessione, std::string(" Connesso via HID"));
    QCOMPARE(servizi.titoli, std::vector<std::string>{"T Connesso via HID"});
}

void TestFrmHid::scollegamento_e_ricollegamento() {
    Banco t;
    const HandleHid h = t.sim->collega();
    consegna();
    QVERIFY(t.stato.hid_attivo);

    t.sim->scollega(h);
    consegna();
    QVERIFY(!t.stato.hid_attivo);
    QVERIFY(!t.stato.seriale_attiva); // no link at all until the board is back
    QCOMPARE(t.titolo(), std::string("VEXA METER 1.3.9 Disconnesso"));

    const HandleHid h2 = t.sim->collega();
    QVERIFY(h2 != h);
    // Until the list change has been handled nothing of the new device is read.
    const auto primo = report({1, 0, 0, 0, 0, 0, 0, 0}, {});
    t.sim->invia_report(h2, primo.data());
    consegna();
    QVERIFY(t.stato.hid_attivo);
    QCOMPARE(t.titolo(), std::string("VEXA METER 1.3.9 Connesso via HID"));
    QCOMPARE(t.finestra->buffer_ricezione_hid()[2], uint8_t{0});

    const auto dopo = report({7, 0, 0, 0, 0, 0, 0, 0}, {});
    t.sim->invia_report(h2, dopo.data());
    consegna();
    QCOMPARE(t.finestra->buffer_ricezione_hid()[2], uint8_t{7});
    // The old handle is gone for good.
    QCOMPARE(t.sim->GetVendorID(h), 0);
    QCOMPARE(t.servizi.start_spenti, 0);
    QVERIFY(t.servizi.messaggi.empty());

    // Pulled out mid-trial: the trial stops, what arrived stays, the coach is told.
    t.stato.acquisizione_in_corso = true;
    const auto dati = report({3, 4, 5, 6, 7, 8, 9, 10}, {50000, 50000, 50000, 50000, 50000, 50000, 50000, 50000});
    t.sim->invia_report(h2, dati.data());
    consegna();
    QCOMPARE(t.blocchi.size(), std::size_t{1});
    t.sim->scollega(h2);
    consegna();
    QVERIFY(!t.stato.acquisizione_in_corso);
    QCOMPARE(t.servizi.start_spenti, 1);
    QCOMPARE(t.servizi.messaggi.size(), std::size_t{1});
    QCOMPARE(t.titolo(), std::string("VEXA METER 1.3.9 Disconnesso"));
    QCOMPARE(t.blocchi.size(), std::size_t{1});
}

void TestFrmHid::altri_dispositivi_ignorati() {
    Banco t;
    const HandleHid scheda = t.sim->collega();
    consegna();
    const auto titoli = t.servizi.titoli.size();

    const HandleHid tastiera = t.sim->collega(0x046d, 0xc31c);
    const HandleHid stesso_vendor = t.sim->collega(VID_SCHEDA, 33);
    consegna();
    t.sim->scollega(tastiera);
    t.sim->scollega(stesso_vendor);
    consegna();
    QVERIFY(t.stato.hid_attivo);
    QCOMPARE(t.servizi.titoli.size(), titoli);

    // The list changes re-enabled reading on the board, which still works.
    const auto r = report({3, 0, 0, 0, 0, 0, 0, 0}, {});
    t.sim->invia_report(scheda, r.data());
    consegna();
    QCOMPARE(t.finestra->buffer_ricezione_hid()[2], uint8_t{3});

    // With only a foreign device present, no board is taken for plugged in.
    Banco u;
    u.sim->collega(VID_SCHEDA + 1, PID_SCHEDA);
    consegna();
    QVERIFY(!u.stato.hid_attivo);
    QVERIFY(u.servizi.titoli.empty());
}

void TestFrmHid::disconnessione_ferma_le_notifiche() {
    Banco t;
    t.sim->collega();
    // Disconnected before the plug-in was delivered: it never arrives.
    t.finestra->Disconnetti_hid();
    consegna();
    QVERIFY(!t.stato.hid_attivo);
    t.sim->collega();
    consegna();
    QVERIFY(t.servizi.titoli.empty());

    // Connecting again announces what is there now.
    t.finestra->Connetti_hid();
    consegna();
    QVERIFY(t.stato.hid_attivo);
}

void TestFrmHid::scheda_senza_accesso_non_presa() {
    // Start-up with the board plugged in but its node root's only, while the
    // serial port is in use.
    Stato stato;
    stato.titolo_programma = "T";
    stato.seriale_attiva = true;
    stato.acquisizione_in_corso = true;
    test::ServiziRegistro servizi;
    auto b = std::make_unique<BackendHidSimulato>();
    BackendHidSimulato* sim = b.get();
    const HandleHid h = sim->collega();
    sim->imposta_accesso_negato(h, true);
    const std::string connessione = stato.stato_connessione;
    frm_hid finestra(stato, servizi, std::move(b), frm_hid::ElaboraBlocco{});
    QVERIFY(!finestra.accesso_negato());
    QVERIFY(finestra.testo_accesso_negato().empty());
    consegna();

    QVERIFY(!stato.hid_attivo);
    QVERIFY(stato.seriale_attiva);
    QCOMPARE(stato.stato_connessione, connessione);
    QVERIFY(servizi.titoli.empty());
    QVERIFY(finestra.accesso_negato());
    const std::string testo = finestra.testo_accesso_negato();
    QVERIFY(testo.find("accesso è negato") != std::string::npos);
    QVERIFY(testo.find("70-vexameter.rules") != std::string::npos);
    QVERIFY(testo.find("porta seriale") != std::string::npos);
    // Reading was never switched on: the layer would have complained (a second
    // message for the same trouble) and kept the board's reports.
    const auto r = report({9, 0, 0, 0, 0, 0, 0, 0}, {});
    sim->invia_report(h, r.data());
    sim->collega(0x046d, 0xc31c); // a later list change asks again
    consegna();
    QVERIFY(servizi.messaggi.empty());
    QCOMPARE(finestra.buffer_ricezione_hid()[2], uint8_t{0});
    QVERIFY(sim->ricevuti().empty());
    // What was learnt while connected does not outlive the connection.
    finestra.Disconnetti_hid();
    QVERIFY(!finestra.accesso_negato());
    finestra.Connetti_hid();
    consegna();
    QVERIFY(finestra.accesso_negato());
    QVERIFY(servizi.messaggi.empty());

    // Pulled out, it takes nothing with it: the serial trial goes on.
    sim->scollega(h);
    consegna();
    QVERIFY(!finestra.accesso_negato());
    QVERIFY(stato.acquisizione_in_corso);
    QVERIFY(stato.seriale_attiva);
    QCOMPARE(servizi.start_spenti, 0);
    QVERIFY(servizi.titoli.empty());
    QVERIFY(servizi.messaggi.empty());

    // Plugged in again once the rule is there: an ordinary board.
    stato.acquisizione_in_corso = false;
    const HandleHid h2 = sim->collega();
    consegna();
    QVERIFY(stato.hid_attivo);
    QVERIFY(!stato.seriale_attiva);
    QCOMPARE(servizi.titoli, std::vector<std::string>{"T Connesso via HID"});
    QVERIFY(!finestra.accesso_negato());
    sim->invia_report(h2, r.data());
    consegna();
    QCOMPARE(finestra.buffer_ricezione_hid()[2], uint8_t{9});
    QVERIFY(servizi.messaggi.empty());

    // After start-up nobody else says it: a board without access plugged in
    // is told, once, and not taken.
    finestra.avvisa_accesso_negato = true;
    for (int volta = 0; volta < 2; ++volta) {
        sim->scollega(sim->GetHandle(VID_SCHEDA, PID_SCHEDA));
        sim->imposta_accesso_negato(sim->collega(), true);
        consegna();
    }
    QVERIFY(!stato.hid_attivo);
    QCOMPARE(servizi.messaggi.size(), std::size_t{1});
    QVERIFY(servizi.messaggi[0].find("70-vexameter.rules") != std::string::npos);
    QVERIFY(servizi.messaggi[0].find("porta seriale") == std::string::npos);
}

void TestFrmHid::report_letto_passa_alla_lettura() {
    Banco t;
    const HandleHid h = t.sim->collega();
    consegna();
    t.stato.scala_posizione = 1.288f;
    t.stato.scala_tempo = 0.0002f;
    t.stato.acquisizione_in_corso = true;

    const auto r = report({100, 0, 0, 0, 0, 0, 0, 1000}, {50000, 1, 1, 1, 1, 1, 1, 1});
    t.sim->invia_report(h, r.data());
    t.sim->invia_report(h, r.data());
    // The window's separator is the one the label uses.
    t.finestra->separatore = ',';
    QCOMPARE(t.finestra->lettura().separatore, ',');
    consegna();

    QCOMPARE(t.blocchi.size(), std::size_t{2});
    QCOMPARE(t.blocchi[0].n_punti, 7);
    QCOMPARE(t.blocchi[0].posizione[0], static_cast<double>(100.0f * 1.288f));
    QCOMPARE(t.blocchi[0].dt[0], 10.0f);
    QCOMPARE(t.servizi.etichette, (std::vector<std::string>{"Spost(cm)=  128,8", "Spost(cm)=  128,8"}));
}

void TestFrmHid::report_fuori_acquisizione_solo_nel_buffer() {
    Banco t;
    const HandleHid h = t.sim->collega();
    consegna();
    t.stato.scala_posizione = 1;
    t.stato.scala_tempo = 0.0002f;
    const auto r = report({42, 42, 42, 42, 42, 42, 42, 42}, {5000, 5000, 5000, 5000, 5000, 5000, 5000, 5000});
    t.sim->invia_report(h, r.data());
    consegna();
    QCOMPARE(t.finestra->buffer_ricezione_hid()[0], uint8_t{0});
    QCOMPARE(t.finestra->buffer_ricezione_hid()[2], uint8_t{42});
    QVERIFY(t.blocchi.empty());
    QVERIFY(t.servizi.etichette.empty());

    // A notification whose report is no longer there leaves the buffer alone.
    t.finestra->OnRead(h);
    QCOMPARE(t.finestra->buffer_ricezione_hid()[2], uint8_t{42});
}

void TestFrmHid::lotto_in_ordine_ogni_report_nel_buffer() {
    Banco t;
    const HandleHid h = t.sim->collega();
    consegna();
    QSignalSpy notifiche(t.sim, &IBackendHid::notifica);
    t.stato.scala_posizione = 1;
    t.stato.scala_tempo = 0.0002f;
    t.stato.acquisizione_in_corso = true;

    // More than one read takes: the first read stops at its limit with the
    // last report it took in the buffer, the layer announces the rest.
    constexpr int QUANTI = static_cast<int>(frm_hid::MAX_REPORT_PER_LETTURA) + 500;
    std::vector<std::array<uint8_t, 64>> inviati;
    for (int i = 0; i < QUANTI; ++i) {
        const auto p = static_cast<int16_t>(i);
        inviati.push_back(report({p, p, p, p, p, p, p, static_cast<int16_t>(-p)}, {1, 1, 1, 1, 1, 1, 1, 1}));
        t.sim->invia_report(h, inviati.back().data());
    }
    t.finestra->OnRead(h);
    QCOMPARE(t.blocchi.size(), frm_hid::MAX_REPORT_PER_LETTURA);
    QCOMPARE(t.finestra->buffer_ricezione_hid()[2], inviati[frm_hid::MAX_REPORT_PER_LETTURA - 1][1]);
    QTRY_COMPARE_WITH_TIMEOUT(t.blocchi.size(), std::size_t{QUANTI}, 2000);

    // Each report was in the buffer, behind report ID 0, when its block went on.
    for (std::size_t i = 0; i < inviati.size(); ++i) {
        QCOMPARE(t.blocchi[i].posizione[0], static_cast<double>(i));
        QCOMPARE(t.buffer_ai_blocchi[i][0], uint8_t{0});
        QVERIFY2(std::equal(inviati[i].begin(), inviati[i].end(), t.buffer_ai_blocchi[i].begin() + 1),
                 qPrintable(QString::number(i)));
    }

    // Outside an acquisition (the board answering "$D"), a batch leaves its
    // last report in the buffer, which is where type detection looks.
    t.stato.acquisizione_in_corso = false;
    for (uint8_t tipo : {4, 5, 6}) {
        std::array<uint8_t, 64> r{};
        r[1] = tipo;
        t.sim->invia_report(h, r.data());
    }
    notifiche.clear();
    consegna();
    QCOMPARE(t.finestra->buffer_ricezione_hid()[2], uint8_t{6});
    QCOMPARE(t.blocchi.size(), std::size_t{QUANTI});
    // The three came with one notification, not one each.
    QCOMPARE(notifiche.size(), 1);
}

void TestFrmHid::report_persi_detti_una_volta_per_collegamento() {
    Banco t;
    const HandleHid h = t.sim->collega();
    consegna();
    t.stato.acquisizione_in_corso = true;
    const auto r = report({1, 2, 3, 4, 5, 6, 7, 8}, {1, 1, 1, 1, 1, 1, 1, 1});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report persi"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("report persi"));

    // Nothing read while a ring and three more arrive: the coach hears of it,
    // the trial goes on with what was kept.
    const std::size_t capacita = AnelloReport::CAPACITA;
    for (std::size_t i = 0; i < capacita + 3; ++i) t.sim->invia_report(h, r.data());
    QTRY_COMPARE_WITH_TIMEOUT(t.blocchi.size(), capacita, 2000);
    QCOMPARE(t.servizi.messaggi,
             std::vector<std::string>{"Il programma non ha tenuto il passo della scheda USB: 3 pacchetti di campioni "
                                      "(24 campioni) sono andati persi. L'acquisizione continua."});
    QVERIFY(t.stato.acquisizione_in_corso);

    // A new connection is told afresh, in the singular for a single one.
    t.finestra->Disconnetti_hid();
    t.finestra->Connetti_hid();
    consegna();
    for (std::size_t i = 0; i < capacita + 1; ++i) t.sim->invia_report(h, r.data());
    QTRY_COMPARE_WITH_TIMEOUT(t.servizi.messaggi.size(), std::size_t{2}, 2000);
    QCOMPARE(t.servizi.messaggi[1], "Il programma non ha tenuto il passo della scheda USB: 1 pacchetto di campioni "
                                    "(8 campioni) è andato perso. L'acquisizione continua.");
    // The log, held back within a second of the last line, has it once all is read.
    QTRY_VERIFY_WITH_TIMEOUT(t.sim->report_in_attesa(h) == 0 && !t.sim->raccolta_attiva(), 2000);
}

void TestFrmHid::invio_pulisce_i_byte_di_un_comando_precedente() {
    Banco t;
    t.sim->collega();
    consegna();
    t.finestra->HID_invia_stringa("$D");
    t.finestra->HID_invia_stringa("$");
    QCOMPARE(t.sim->ricevuti().size(), std::size_t{2});
    QCOMPARE(t.inviato(0), std::string("\0$D\0\0\0\0\0\0", 9));
    // Not "$D" again: the board must see a lone "$".
    QCOMPARE(t.inviato(1), std::string("\0$\0\0\0\0\0\0\0", 9));

    t.finestra->HID_invia_stringa("12345678");
    t.finestra->HID_invia_stringa("$T");
    QCOMPARE(t.inviato(2), std::string("\x00" "12345678", 9));
    QCOMPARE(t.inviato(3), std::string("\0$T\0\0\0\0\0\0", 9));
}

void TestFrmHid::invio_senza_scheda_o_troppo_lungo_e_un_errore() {
    Banco t;
    t.sim->collega();
    consegna();
    t.finestra->HID_invia_stringa("$F");
    const auto prima = t.finestra->buffer_invio_hid();
    try {
        t.finestra->HID_invia_stringa("123456789");
        QFAIL("a nine-character command went through");
    } catch (const ErroreRuntime& e) {
        QCOMPARE(e.numero, ERR_COMANDO_TROPPO_LUNGO);
    }
    QCOMPARE(t.sim->ricevuti().size(), std::size_t{1});
    QVERIFY(t.finestra->buffer_invio_hid() == prima);

    // A command that reaches no board is a failure for the caller, not a success.
    Banco vuoto;
    try {
        vuoto.finestra->HID_invia_stringa("$F");
        QFAIL("a command with no board reported as sent");
    } catch (const ErroreRuntime& e) {
        QCOMPARE(e.numero, ERR_HID_NON_INVIATO);
        QVERIFY(e.descrizione.find("non è collegata") != std::string::npos);
    }
}

void TestFrmHid::pulsanti_della_finestra() {
    Banco t;
    const HandleHid h = t.sim->collega();
    consegna();
    t.finestra->HID_invia_stringa("$D");
    t.finestra->Command1->click();
    QVERIFY(t.sim->in_acquisizione(h));
    t.finestra->Command2->click();
    QVERIFY(!t.sim->in_acquisizione(h));
    QCOMPARE(t.inviato(1), std::string("\0$F\0\0\0\0\0\0", 9));
    QCOMPARE(t.inviato(2), std::string("\0$T\0\0\0\0\0\0", 9));

    // Without a board the button tells the user instead of failing silently.
    t.sim->scollega(h);
    consegna();
    t.finestra->Command1->click();
    QCOMPARE(t.servizi.messaggi.size(), std::size_t{1});
}

QTEST_MAIN(TestFrmHid)
#include "test_frm_hid.moc"
