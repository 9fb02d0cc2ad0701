// The board protocol over the USB link with the simulated board: type
// detection from the last report, start and stop, and a whole set streamed
// through the link ending in the same values list the replay tool gives.
#include "sim/backend_simulato.h"
#include "device/hid/frm_hid.h"
#include "device/porta_seriale.h"
#include "device/protocollo.h"
#include "trials/riproduzione.h"
#include "analysis/vista_memoria.h"
#include "servizi_registro.h"

#include <QtTest>

#include <memory>

using namespace vexa;
using vexa::test::consegna;

namespace {

void imposta_atleta(Stato& s) {
    s.ampiezza_min = 100;
    s.vel_max = 600;
    s.limite_sup = 110;
    s.limite_inf = 90;
}

// The program's pieces on the USB link: link window, protocol and analysis.
struct Programma {
    Stato stato;
    test::ServiziRegistro servizi;
    ProvaMemoria prova;
    Analizzatore analisi{stato, prova.vista};
    PortaSeriale porta; // never opened: the USB link is the active one
    BackendHidSimulato* sim = nullptr;
    std::unique_ptr<frm_hid> finestra;
    std::unique_ptr<Protocollo> protocollo;

    Programma() {
        stato.titolo_programma = "VEXA METER 1.3.9";
        imposta_atleta(stato);
        auto b = std::make_unique<BackendHidSimulato>();
        sim = b.get();
        finestra = std::make_unique<frm_hid>(stato, servizi, std::move(b), analisi);
        finestra->separatore = '.';
        protocollo = std::make_unique<Protocollo>(stato, porta, servizi, finestra.get());
        protocollo->azzera_prova = [this] { azzera_prova(stato, prova.vista); };
    }
    HandleHid collega(int tipo) {
        const HandleHid h = sim->collega(VID_SCHEDA, PID_SCHEDA, tipo);
        consegna();
        return h;
    }
    std::string comando(std::size_t i) const {
        const auto& b = sim->ricevuti().at(i);
        std::string s;
        for (std::size_t k = 1; k < b.size() && b[k]; ++k) s += static_cast<char>(b[k]);
        return s;
    }
};

// The values list the replay tool gives for the set a type-1 board streams.
std::vector<std::string> righe_riprodotte(const sim::DescrizioneSerie& d, std::size_t* byte = nullptr) {
    Stato s;
    imposta_atleta(s);
    ProvaMemoria prova;
    Analizzatore a(s, prova.vista);
    const auto cattura = sim::report_hid(sim::sintetizza(d, 1, Collegamento::Hid).record);
    if (byte) *byte = cattura.size();
    if (!riproduci_cattura(cattura, Collegamento::Hid, 1, s, prova.vista, a).empty()) return {};
    std::vector<std::string> righe;
    for (int r = 0; r < prova.righe(); ++r) righe.push_back(prova.riga(r));
    return righe;
}

std::vector<std::string> righe(const ProvaMemoria& prova) {
    std::vector<std::string> out;
    for (int r = 0; r < prova.righe(); ++r) out.push_back(prova.riga(r));
    return out;
}

} // namespace

class TestHidProtocollo : public QObject {
    Q_OBJECT
private slots:
    void tipo_dal_report_di_risposta();
    void tipo_dall_ultimo_report_se_la_scheda_tace();
    void avvio_e_arresto_sul_link_usb();
    void avvio_senza_scheda_non_parte();
    void serie_trasmessa_come_lo_strumento_di_riproduzione();
    void scheda_simulata_a_tempo();
};

void TestHidProtocollo::tipo_dal_report_di_risposta() {
    Programma p;
    p.collega(2);
    QVERIFY(p.stato.hid_attivo);
    p.protocollo->Rileva_tipo_scheda();
    QCOMPARE(p.comando(0), std::string("$D"));
    QCOMPARE(p.stato.stato_connessione, std::string(" Connesso via HID Scheda tipo 2"));
    QCOMPARE(p.stato.scala_posizione, 1.0f);
    QCOMPARE(p.stato.scala_tempo, 0.0002f);
    QVERIFY(p.servizi.messaggi.empty());
}

void TestHidProtocollo::tipo_dall_ultimo_report_se_la_scheda_tace() {
    Programma p;
    const HandleHid h = p.collega(1);
    p.sim->imposta_risposta_tipo(h, false);

    // Nothing ever arrived: the buffer's zero is taken for the type.
    p.protocollo->Rileva_tipo_scheda();
    QCOMPARE(p.stato.stato_connessione, std::string(" Connesso via HID Scheda tipo 0"));
    QCOMPARE(p.stato.scala_tempo, 0.0000833333f);
    QCOMPARE(p.servizi.messaggi, std::vector<std::string>{MSG_NON_RICONOSCIUTO});

    // The last report read before is what the type is read from, here the
    // second of two that came in one batch.
    std::array<uint8_t, 64> r{};
    r[1] = 2;
    p.sim->invia_report(h, r.data());
    r[1] = 3;
    p.sim->invia_report(h, r.data());
    consegna();
    p.protocollo->Rileva_tipo_scheda();
    QVERIFY(p.stato.stato_connessione.ends_with(" Scheda tipo 3"));
    QCOMPARE(p.servizi.messaggi.size(), std::size_t{1});
}

void TestHidProtocollo::avvio_e_arresto_sul_link_usb() {
    Programma p;
    const HandleHid h = p.collega(1);
    p.protocollo->Avvia_acquisizione();
    QVERIFY(p.stato.acquisizione_in_corso);
    QCOMPARE(p.sim->ricevuti().size(), std::size_t{2});
    QCOMPARE(p.comando(0), std::string("$T"));
    QCOMPARE(p.comando(1), std::string("$F"));
    QVERIFY(p.sim->in_acquisizione(h));

    p.protocollo->Ferma_acquisizione();
    QVERIFY(!p.stato.acquisizione_in_corso);
    QVERIFY(!p.sim->in_acquisizione(h));
    // Reports still on their way after the stop reach neither label nor decoder.
    const auto punti = p.prova.grafico0.plot[PLOT_POSIZIONE].size();
    std::array<uint8_t, 64> r{};
    r[1] = 9;
    p.sim->invia_report(h, r.data());
    consegna();
    QCOMPARE(p.finestra->buffer_ricezione_hid()[2], uint8_t{9});
    QVERIFY(p.servizi.etichette.empty());
    QCOMPARE(p.prova.grafico0.plot[PLOT_POSIZIONE].size(), punti);
}

void TestHidProtocollo::avvio_senza_scheda_non_parte() {
    Programma p;
    const HandleHid h = p.collega(1);
    // Pulled out, and the removal not handled yet: the link still looks active.
    p.sim->scollega(h);
    p.protocollo->Avvia_acquisizione();
    QVERIFY(!p.stato.acquisizione_in_corso);
    QCOMPARE(p.servizi.start_spenti, 1);
    QCOMPARE(p.servizi.messaggi.size(), std::size_t{1});
    consegna();
    QVERIFY(!p.stato.hid_attivo);
}

void TestHidProtocollo::serie_trasmessa_come_lo_strumento_di_riproduzione() {
    sim::DescrizioneSerie d;
    d.ripetizioni = 5;
    d.perdita_pct = 4;
    d.rumore = 0.05;
    d.seme = 7;

    Programma p;
    const HandleHid h = p.collega(1);
    p.sim->imposta_serie(h, d);
    p.protocollo->Rileva_tipo_scheda();
    p.protocollo->Avvia_acquisizione();
    QVERIFY(p.stato.acquisizione_in_corso);
    int report = 0;
    for (int n; (n = p.sim->avanza(h, 37)) > 0;) {
        report += n;
        consegna();
    }
    QCOMPARE(p.sim->report_rimanenti(h), 0);
    p.protocollo->Ferma_acquisizione();

    std::size_t byte = 0;
    const auto attese = righe_riprodotte(d, &byte);
    QCOMPARE(static_cast<std::size_t>(report) * 64, byte);
    QVERIFY(attese.size() >= static_cast<std::size_t>(d.ripetizioni - 1));
    QCOMPARE(righe(p.prova), attese);
    QVERIFY(!p.servizi.etichette.empty());
}

void TestHidProtocollo::scheda_simulata_a_tempo() {
    sim::DescrizioneSerie d;
    d.ripetizioni = 3;
    Programma p;
    const HandleHid h = p.collega(1);
    p.sim->imposta_serie(h, d);
    QSignalSpy finita(p.sim, &BackendHidSimulato::serie_finita);

    // Real time: a stop shortly after the start leaves most of the set unsent.
    p.sim->imposta_velocita(1);
    p.protocollo->Rileva_tipo_scheda();
    p.protocollo->Avvia_acquisizione();
    test::attendi(120);
    p.protocollo->Ferma_acquisizione();
    const int rimasti = p.sim->report_rimanenti(h);
    QVERIFY(rimasti > 0);
    test::attendi(60);
    QCOMPARE(p.sim->report_rimanenti(h), rimasti);
    QVERIFY(finita.isEmpty());

    // Sped up, a new start plays the whole set from its beginning.
    p.sim->imposta_velocita(200);
    p.protocollo->Avvia_acquisizione();
    QTRY_COMPARE_WITH_TIMEOUT(finita.size(), 1, 5000);
    consegna();
    QCOMPARE(righe(p.prova), righe_riprodotte(d));
}

QTEST_MAIN(TestHidProtocollo)
#include "test_hid_protocollo.moc"
