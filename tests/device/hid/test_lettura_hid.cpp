// The read path past the read itself: what one report becomes (positions and
// step intervals slot by slot, scales and signs), the live label, and that
// nothing leaves it outside an acquisition.
#include "device/hid/lettura_hid.h"
#include "sim/sintetizzatore.h"
#include "servizi_registro.h"

#include <QtTest>

#include <cmath>
#include <vector>

using namespace vexa;

namespace {

using test::Blocco;

struct Banco {
    Stato stato;
    test::ServiziRegistro servizi;
    std::vector<Blocco> blocchi;
    LetturaHid lettura{stato, servizi, [this](int n, const double* p, const float* dt) {
                           blocchi.push_back({n, {p, p + n + 1}, {dt, dt + n + 1}});
                       }};
    Banco() {
        const ScalaScheda sc = scala_per_tipo(1);
        stato.scala_posizione = sc.posizione;
        stato.scala_tempo = sc.tempo;
        stato.acquisizione_in_corso = true;
    }
};

// The read buffer (report ID at index 0) whose slot k holds `posizione[k]` and `intervallo[k]`.
std::array<uint8_t, BYTE_BUFFER_HID> buffer(const std::array<int16_t, 8>& posizione,
                                            const std::array<int32_t, 8>& intervallo) {
    std::array<sim::RecordScheda, 8> r{};
    for (std::size_t k = 0; k < 8; ++k) r[k] = {posizione[k], intervallo[k]};
    std::array<uint8_t, BYTE_BUFFER_HID> out{};
    sim::scrivi_report_hid(r.data(), 8, out.data() + 1);
    return out;
}

} // namespace

class TestLetturaHid : public QObject {
    Q_OBJECT
private slots:
    void otto_slot_in_un_blocco();
    void etichetta_una_volta_con_l_ultimo_record();
    void fuori_acquisizione_niente();
};

void TestLetturaHid::otto_slot_in_un_blocco() {
    Banco t;
    // Distinct values in every slot, negatives to catch sign handling, and a
    // falling step in slot 7.
    auto b = buffer({100, -1, 200, 300, 400, 500, 600, 32767}, {50000, 1, 2, 3, 4, 5, 6, -100000});
    QCOMPARE(b[2], uint8_t{0x64}); // slot 0 starts after the report ID and one byte
    QCOMPARE(b[3], uint8_t{0x00});
    b[0] = 0xEE; // report ID and buffer index 1 are part of no record
    b[1] = 0xEE;
    t.lettura.elabora_report(b);

    QCOMPARE(t.blocchi.size(), std::size_t{1});
    const Blocco& k = t.blocchi[0];
    QCOMPARE(k.n_punti, 7);
    QCOMPARE(k.posizione[0], static_cast<double>(100.0f * 1.288f));
    QVERIFY(std::abs(k.posizione[0] - 128.8) < 1e-4);
    QCOMPARE(k.posizione[1], static_cast<double>(-1.288f));
    for (std::size_t i = 2; i < 7; ++i) QCOMPARE(k.posizione[i], posizione_mm(static_cast<int16_t>(100 * i), 1.288f));
    QCOMPARE(k.posizione[7], static_cast<double>(32767.0f * 1.288f));
    QCOMPARE(k.dt[0], 10.0f);
    QCOMPARE(k.dt[3], static_cast<float>(3 * static_cast<double>(0.0002f)));
    QCOMPARE(k.dt[7], -20.0f);
}

void TestLetturaHid::etichetta_una_volta_con_l_ultimo_record() {
    Banco t;
    t.lettura.elabora_report(buffer({5000, 5000, 5000, 5000, 5000, 5000, 5000, -1}, {}));
    QCOMPARE(t.servizi.etichette, std::vector<std::string>{"Spost(cm)=  -0.1"});

    t.lettura.separatore = ',';
    t.lettura.elabora_report(buffer({-1, -1, -1, -1, -1, -1, -1, 1000}, {}));
    QCOMPARE(t.servizi.etichette.size(), std::size_t{2});
    QCOMPARE(t.servizi.etichette[1], std::string("Spost(cm)=  128,8"));
    QCOMPARE(t.blocchi.size(), std::size_t{2});

    // Without a block decoder the label still follows the board.
    Stato stato;
    stato.acquisizione_in_corso = true;
    stato.scala_posizione = 1;
    test::ServiziRegistro servizi;
    LetturaHid sola(stato, servizi, {});
    sola.elabora_report(buffer({0, 0, 0, 0, 0, 0, 0, 25}, {}));
    QCOMPARE(servizi.etichette, std::vector<std::string>{"Spost(cm)=  2.5"});
}

void TestLetturaHid::fuori_acquisizione_niente() {
    Banco t;
    t.stato.acquisizione_in_corso = false;
    // The board's answer to "$D": its type in the first byte, not a position.
    std::array<uint8_t, BYTE_BUFFER_HID> tipo{};
    tipo[2] = 3;
    t.lettura.elabora_report(tipo);
    t.lettura.elabora_report(buffer({1, 2, 3, 4, 5, 6, 7, 8}, {1, 1, 1, 1, 1, 1, 1, 1}));
    QVERIFY(t.blocchi.empty());
    QVERIFY(t.servizi.etichette.empty());

    // The state is read at every report, not taken at construction.
    t.stato.acquisizione_in_corso = true;
    t.lettura.elabora_report(buffer({1, 2, 3, 4, 5, 6, 7, 8}, {1, 1, 1, 1, 1, 1, 1, 1}));
    QCOMPARE(t.blocchi.size(), std::size_t{1});
    QCOMPARE(t.servizi.etichette.size(), std::size_t{1});
}

QTEST_APPLESS_MAIN(TestLetturaHid)
#include "test_lettura_hid.moc"
