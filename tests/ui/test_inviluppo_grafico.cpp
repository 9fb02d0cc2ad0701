// The envelope of a curve on its own: what each column keeps, against the
// points themselves, and the columns it keeps as a view moves.
#include "ui/inviluppo_grafico.h"

#include <QtTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <random>
#include <vector>

using namespace vexa;

class TestInviluppoGrafico : public QObject {
    Q_OBJECT

private slots:
    // Per column, in any arrival order: its first and last point and its
    // lowest and highest, in x order; nothing else.
    void colonne_contro_i_punti() {
        std::mt19937 caso(3);
        std::vector<Punto> dati;
        for (int i = 0; i < 5000; ++i) dati.push_back({i * 0.001, std::sin(i * 0.01) + (caso() % 100) * 0.01});
        dati[1234].y = 50; // one sample wide
        dati[2000].y = -50;
        for (bool mescolati : {false, true}) {
            if (mescolati) std::shuffle(dati.begin(), dati.end(), caso);
            InviluppoGrafico inv;
            inv.ricomincia(0.0005, 0.037, -1);
            for (const Punto& p : dati) inv.aggiungi(p.x, p.y);
            std::vector<Punto> punti;
            inv.punti(punti);
            QVERIFY(std::is_sorted(punti.begin(), punti.end(), [](auto& a, auto& b) { return a.x < b.x; }));

            std::map<long, std::vector<Punto>> attese, avute;
            for (const Punto& p : dati) attese[inv.colonna(p.x)].push_back(p);
            for (const Punto& p : punti) avute[inv.colonna(p.x)].push_back(p);
            QCOMPARE(avute.size(), attese.size());
            for (auto& [k, tutti] : attese) {
                const auto& tenuti = avute[k];
                QCOMPARE(tenuti.size(), std::size_t(4));
                std::sort(tutti.begin(), tutti.end(), [](auto& a, auto& b) { return a.x < b.x; });
                const auto [mn, mx] = std::minmax_element(tutti.begin(), tutti.end(), [](auto& a, auto& b) { return a.y < b.y; });
                for (const Punto& p : {tutti.front(), tutti.back(), *mn, *mx})
                    QVERIFY2(std::count(tenuti.begin(), tenuti.end(), p) >= 1, qPrintable(QString::number(k)));
                QCOMPARE(tenuti.front(), tutti.front());
                QCOMPARE(tenuti.back(), tutti.back());
            }
        }
    }

    // A scrolling view drops columns on the left; a view that stopped takes
    // no columns beyond its right edge but says where they were missed.
    void colonne_tenute() {
        InviluppoGrafico inv;
        inv.ricomincia(0, 1, 0, 9);
        for (int i = 0; i < 30; ++i) inv.aggiungi(i * 0.5, i);
        QCOMPARE(inv.colonne(), std::size_t(10));
        QCOMPARE(inv.mancante_da(), 10L);
        inv.togli_prima_di(4);
        std::vector<Punto> punti;
        inv.punti(punti);
        QCOMPARE(punti.front(), (Punto{4, 8}));
        QCOMPARE(punti.back(), (Punto{9.5, 19}));
        inv.aggiungi(1, 100); // left of the columns kept
        inv.imposta_ultima(6);
        inv.punti(punti);
        QCOMPARE(punti.size(), std::size_t(12));
        QCOMPARE(inv.mancante_da(), 7L);
        inv.imposta_ultima(LONG_MAX);
        inv.aggiungi(1e300, 1); // far beyond any column: no columns made up to it
        QCOMPARE(inv.colonne(), std::size_t(3));

        for (double passo : {0.0, -1.0, std::nan("")}) {
            inv.ricomincia(0, passo, 0);
            inv.aggiungi(1, 1);
            QVERIFY(!inv.valido());
            QCOMPARE(inv.colonne(), std::size_t(0));
        }
    }
};

QTEST_MAIN(TestInviluppoGrafico)
#include "test_inviluppo_grafico.moc"
