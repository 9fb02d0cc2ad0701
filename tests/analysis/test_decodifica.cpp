// The board's byte layouts and scale factors.
#include "analysis/decodifica.h"
#include "analysis/inquadramento_seriale.h"
#include "sim/sintetizzatore.h"

#include <QtTest>

using namespace vexa;

class TestDecodifica : public QObject {
    Q_OBJECT
private slots:
    void record_seriale_segni_e_byte_alti();
    void otto_slot_del_report_hid();
    void scale_dei_tipi_di_scheda();
    void codifica_del_sintetizzatore_e_inversa_della_decodifica();
    void passo_dei_record_seriali();
};

void TestDecodifica::record_seriale_segni_e_byte_alti() {
    // 100 counts, 50000 ticks; then -2 counts, -50000 ticks (0xFFFF3CB0).
    const uint8_t byte[12] = {0x64, 0x00, 0x50, 0xC3, 0x00, 0x00,
                              0xFE, 0xFF, 0xB0, 0x3C, 0xFF, 0xFF};
    double pos[2];
    float dt[2];
    decodifica_seriale(byte, 2, 1.288f, 0.0002f, pos, dt);
    QCOMPARE(pos[0], static_cast<double>(100.0f * 1.288f));
    QCOMPARE(dt[0], 10.0f);
    QCOMPARE(pos[1], static_cast<double>(-2.0f * 1.288f));
    QCOMPARE(dt[1], -10.0f);
    const uint8_t estremi[6] = {0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F};
    decodifica_seriale(estremi, 1, 1.0f, 1.0f, pos, dt);
    QCOMPARE(pos[0], 32767.0);
    QCOMPARE(dt[0], 2147483647.0f);
}

void TestDecodifica::otto_slot_del_report_hid() {
    uint8_t buffer[BYTE_BUFFER_HID] = {};
    buffer[0] = 0xAA; // report ID and the first data byte are not records
    buffer[1] = 0xBB;
    buffer[2] = 0x64;
    for (int k = 1; k < 8; ++k) {
        buffer[8 * k + 2] = static_cast<uint8_t>(k);
        buffer[8 * k + 4] = 0x50;
        buffer[8 * k + 5] = 0xC3;
    }
    buffer[8 * 7 + 7] = 0x80; // slot 7: top byte of the interval sets the sign
    buffer[64] = 0xCC;        // past the last slot
    double pos[8];
    float dt[8];
    decodifica_hid(buffer, 1.288f, 0.0002f, pos, dt);
    QCOMPARE(static_cast<float>(pos[0]), 128.8f);
    QCOMPARE(dt[0], 0.0f);
    QCOMPARE(pos[3], static_cast<double>(3.0f * 1.288f));
    QCOMPARE(dt[3], 10.0f);
    QVERIFY(dt[7] < 0);
}

void TestDecodifica::scale_dei_tipi_di_scheda() {
    QCOMPARE(scala_per_tipo(1).posizione, 1.288f);
    QCOMPARE(scala_per_tipo(2).tempo, 0.0002f);
    const ScalaScheda t3 = scala_per_tipo(3);
    QVERIFY(t3.tempo != static_cast<float>(1.0 / 12000)); // the board's own rounding
    QCOMPARE(t3.tempo, 0.0000833333f);
    QCOMPARE(intervallo_ms(120000, t3.tempo), 9.999996f);
    QCOMPARE(intervallo_ms(50000, scala_per_tipo(1).tempo), 10.0f);
    for (int tipo : {0, 4, 255}) {
        QVERIFY(!scala_per_tipo(tipo).riconosciuto);
        QCOMPARE(scala_per_tipo(tipo).tempo, t3.tempo);
        QCOMPARE(scala_per_tipo(tipo).posizione, 1.0f);
    }
}

void TestDecodifica::codifica_del_sintetizzatore_e_inversa_della_decodifica() {
    const std::vector<sim::RecordScheda> r = {{-300, -123456}, {32767, 2000000000}, {5, 0},
                                              {-1, 1},         {7, -7},             {8, 8},
                                              {9, 9},          {10, 10},            {11, 11}};
    const auto seriali = sim::byte_seriali(r);
    QCOMPARE(seriali.size(), r.size() * 6);
    const auto report = sim::report_hid(r);
    QCOMPARE(report.size(), std::size_t{128}); // the ninth record opens a second report
    for (std::size_t i = 0; i < r.size(); ++i) {
        double pos;
        float dt;
        decodifica_seriale(&seriali[i * 6], 1, 1.0f, 1.0f, &pos, &dt);
        QCOMPARE(pos, static_cast<double>(r[i].posizione));
        QCOMPARE(dt, static_cast<float>(r[i].intervallo));
        uint8_t buffer[BYTE_BUFFER_HID] = {};
        std::copy_n(&report[i / 8 * 64], 64, buffer + 1);
        double p8[8];
        float d8[8];
        decodifica_hid(buffer, 1.0f, 1.0f, p8, d8);
        QCOMPARE(p8[i % 8], static_cast<double>(r[i].posizione));
        QCOMPARE(d8[i % 8], static_cast<float>(r[i].intervallo));
    }
    // The padding of the last report is still: same position, no time.
    uint8_t buffer[BYTE_BUFFER_HID] = {};
    std::copy_n(&report[64], 64, buffer + 1);
    double p8[8];
    float d8[8];
    decodifica_hid(buffer, 1.0f, 1.0f, p8, d8);
    QCOMPARE(p8[7], 11.0);
    QCOMPARE(d8[7], 0.0f);
}

void TestDecodifica::passo_dei_record_seriali() {
    // Six counts in the direction of the interval's sign, one count either way.
    QVERIFY(record_plausibile(100, 107, 5));
    QVERIFY(record_plausibile(100, 95, -5));
    QVERIFY(!record_plausibile(100, 108, 5));
    QVERIFY(!record_plausibile(100, 106, -5));
    QVERIFY(!record_plausibile(100, 106, 0));
    QVERIFY(record_plausibile(32765, -32765, 5)); // the counter wraps

    // Stray bytes before the first record: dropped, and the rest read in step.
    const auto b = sim::byte_seriali(sim::sintetizza({}, 2, Collegamento::Seriale).record);
    std::vector<uint8_t> dati = {0x13, 0x77, 0x00};
    dati.insert(dati.end(), b.begin(), b.end());
    InquadramentoSeriale q;
    std::vector<uint8_t> letti;
    q.aggiungi(dati.data(), dati.size(), letti);
    QCOMPARE(q.fine(letti), std::size_t{0});
    QVERIFY(letti.size() + 12 >= b.size() && std::equal(letti.rbegin(), letti.rend(), b.rbegin()));
}

QTEST_APPLESS_MAIN(TestDecodifica)
#include "test_decodifica.moc"
