// Texts of the values list: halves away from zero on the digits the value shows.
#include "analysis/formato.h"

#include <QtTest>

using vexa::formatta;

class TestFormato : public QObject {
    Q_OBJECT
private slots:
    void meta_lontano_da_zero();
    void float_arrotondato_sulle_sue_cifre();
    void riporti_segni_e_separatore();
    void testo_di_un_singolo();
};

void TestFormato::meta_lontano_da_zero() {
    QCOMPARE(formatta(2.5, 0), std::string("3"));
    QCOMPARE(formatta(3.5, 0), std::string("4"));
    QCOMPARE(formatta(-2.5, 0), std::string("-3"));
    QCOMPARE(formatta(0.125, 2), std::string("0.13"));
    QCOMPARE(formatta(0.125f, 2), std::string("0.13"));
    QCOMPARE(formatta(0.124999, 2), std::string("0.12"));
    QCOMPARE(formatta(1.05, 1), std::string("1.1"));
    QCOMPARE(formatta(0.00005, 4), std::string("0.0001"));
    QCOMPARE(formatta(0.4, 0), std::string("0"));
    QCOMPARE(formatta(0.5, 0), std::string("1"));
    QCOMPARE(formatta(0.05, 0), std::string("0"));
}

void TestFormato::float_arrotondato_sulle_sue_cifre() {
    // 2.675f is 2.67499995... in binary; on screen it is 2.675, and rounds up.
    QCOMPARE(formatta(2.675f, 2), std::string("2.68"));
    QCOMPARE(formatta(1.005f, 2), std::string("1.01"));
    // The same digits as a double carry their binary tail past 15 digits only.
    QCOMPARE(formatta(static_cast<double>(2.675f), 2), std::string("2.67"));
    QCOMPARE(formatta(9.999996f, 2), std::string("10.00"));
    QCOMPARE(formatta(128.8f, 0), std::string("129"));
    // The seventh digit decides. 332.49997f is 332.4999695...: its seven digits
    // round up into a half, its eighth and its binary value do not.
    QCOMPARE(formatta(332.49997f, 0), std::string("333"));
    QCOMPARE(formatta(0.12499997f, 2), std::string("0.13"));
    // On six digits these would round up into a half; on seven they stay below.
    QCOMPARE(formatta(332.4996f, 0), std::string("332"));
    QCOMPARE(formatta(0.1249995f, 2), std::string("0.12"));
    // A double shows fifteen: on fourteen this one would round up into a half.
    QCOMPARE(formatta(0.124999999999995, 2), std::string("0.12"));
}

void TestFormato::riporti_segni_e_separatore() {
    QCOMPARE(formatta(9.995, 2), std::string("10.00"));
    QCOMPARE(formatta(999.5, 0), std::string("1000"));
    QCOMPARE(formatta(-0.3, 0), std::string("-0"));
    QCOMPARE(formatta(-0.0, 2), std::string("0.00"));
    QCOMPARE(formatta(0.0f, 2), std::string("0.00"));
    QCOMPARE(formatta(-5000.0, 0), std::string("-5000"));
    QCOMPARE(formatta(12.94, 1, ','), std::string("12,9"));
    QCOMPARE(formatta(1234567.891, 2), std::string("1234567.89"));
    QCOMPARE(formatta(1e-9, 2), std::string("0.00"));
}

void TestFormato::testo_di_un_singolo() {
    using vexa::testo_singolo;
    QCOMPARE(testo_singolo(80), std::string("80"));
    QCOMPARE(testo_singolo(82.5f, ','), std::string("82,5"));
    QCOMPARE(testo_singolo(102.5f), std::string("102.5"));
    QCOMPARE(testo_singolo(0.1f), std::string("0.1"));
    QCOMPARE(testo_singolo(1.288f), std::string("1.288"));
    QCOMPARE(testo_singolo(0), std::string("0"));
    QCOMPARE(testo_singolo(-7.25f), std::string("-7.25"));
}

QTEST_APPLESS_MAIN(TestFormato)
#include "test_formato.moc"
