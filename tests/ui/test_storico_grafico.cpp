// The bounded history of a live curve on its own: which points it keeps,
// what its thinning keeps of the older ones, the hour it holds, and whether a
// mirror fed only by its change notices stays equal to it.
#include "ui/storico_grafico.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

using namespace vexa;
using Punti = std::vector<Punto>;

namespace {

Punti come_vettore(const StoricoGrafico::Punti& p) { return Punti(p.begin(), p.end()); }

// What a plot mirroring the history does with a notice.
void rispecchia(Punti& specchio, const StoricoGrafico::Punti& parte, StoricoGrafico::Cambiamento c) {
    QCOMPARE(c.tolti + c.nuovi_da, specchio.size());
    specchio.erase(specchio.begin(), specchio.begin() + static_cast<std::ptrdiff_t>(c.tolti));
    specchio.insert(specchio.end(), parte.begin() + static_cast<std::ptrdiff_t>(c.nuovi_da), parte.end());
    QCOMPARE(specchio, come_vettore(parte));
}

} // namespace

class TestStoricoGrafico : public QObject {
    Q_OBJECT

private slots:
    void punti_tenuti_e_diradati() {
        StoricoGrafico s;
        s.imposta_limite({1000, 1.0, 3600}); // 100 points a column, less than a chunk
        Punti dati;
        // Spikes of one sample, up then down in one column and down then up in another.
        const std::map<int, double> picchi{{530, 50}, {570, -50}, {720, -60}, {721, 60}};
        for (int i = 0; i < 2000; ++i) {
            const auto p = picchi.find(i);
            // A flat column too: one point stands for it.
            const double y = p != picchi.end() ? p->second : (i / 100 == 3 ? 3 : std::sin(i * 0.05));
            dati.push_back({i / 100.0, y});
            QVERIFY(s.accoda(dati.back().x, y));
            if (i % 7 != 6 && i != 1999) continue;
            s.sposta_in_attesa();
            // Until the chunk past the full-resolution points fills, nothing is thinned.
            if (dati.size() <= 1100) QCOMPARE(come_vettore(s.pieni()), dati);
        }
        QVERIFY(!s.accoda(std::nan(""), 1));
        QCOMPARE(s.in_attesa(), std::size_t(0));

        // The newest points, each of them, from the start of a column.
        const Punti pieni = come_vettore(s.pieni());
        QVERIFY(pieni.size() >= 1000 && pieni.size() <= 1100 + 7);
        QVERIFY(std::equal(pieni.rbegin(), pieni.rend(), dati.rbegin()));
        QCOMPARE(std::fmod(pieni.front().x * 100, 100.0), 0.0);

        // Each older column down to its first lowest and first highest point, in x order.
        Punti attesi;
        for (std::size_t da = 0; da < dati.size() - pieni.size(); da += 100) {
            auto mn = dati.begin() + static_cast<std::ptrdiff_t>(da), mx = mn;
            for (auto it = mn; it != dati.begin() + static_cast<std::ptrdiff_t>(da + 100); ++it) {
                if (it->y < mn->y) mn = it;
                if (it->y > mx->y) mx = it;
            }
            attesi.push_back(*std::min(mn, mx));
            if (mn != mx) attesi.push_back(*std::max(mn, mx));
        }
        QCOMPARE(come_vettore(s.diradati()), attesi);
        QCOMPARE(s.dimensione(), attesi.size() + pieni.size());
        for (const Punti& colonna : {Punti{{5.30, 50}, {5.70, -50}}, Punti{{7.20, -60}, {7.21, 60}}})
            QVERIFY(std::search(attesi.begin(), attesi.end(), colonna.begin(), colonna.end()) != attesi.end());
        QCOMPARE(attesi[6], (Punto{3, 3})); // the flat column
        QVERIFY(attesi[7].x >= 4);

        // The nearest point is looked for in both parts.
        QCOMPARE(s.piu_vicino(5.31), (Punto{5.30, 50}));
        QCOMPARE(s.piu_vicino(1e6), pieni.back());
        s.cancella();
        QVERIFY(!s.piu_vicino(1));
    }

    void un_ora_di_storico() {
        StoricoGrafico s;
        s.imposta_limite({1000, 1.0, 3600});
        QCOMPARE(s.limite().secondi_storico, 3600.0);
        double x = 0;
        for (int i = 0; i < 20 * 7200; ++i, x += 0.05) { // two hours at 20 Hz
            s.accoda(x, i % 20 == 3 ? 1 : 0);
            if (i % 40 == 39) s.sposta_in_attesa();
        }
        s.sposta_in_attesa();
        const double ultima = s.pieni().back().x;
        QVERIFY(std::abs(ultima - x + 0.05) < 1e-6);
        // Cut at each thinning pass, so up to a chunk and a move older than the hour.
        QVERIFY(s.diradati().front().x >= ultima - 3600 - 7);
        QVERIFY(s.diradati().front().x < ultima - 3599);
        QVERIFY(s.pieni().size() <= 1100 + 40); // plus less than a move's points
        QVERIFY(s.diradati().size() <= 2 * 3601);
    }

    void un_riflesso_segue_ogni_cambiamento() {
        StoricoGrafico s;
        s.imposta_limite({50, 0.1, 2});
        Punti pieni, diradati;
        const auto sposta = [&] {
            const StoricoGrafico::Cambiamenti c = s.sposta_in_attesa();
            rispecchia(pieni, s.pieni(), c.pieni);
            rispecchia(diradati, s.diradati(), c.diradati);
        };
        double x = 0;
        for (int giro = 0; giro < 60; ++giro) {
            for (int k = 0; k < 1 + giro % 13; ++k, x += 0.01) s.accoda(x, std::cos(x * 7));
            if (giro == 30) s.accoda(x - 0.5, 9); // late: among the full-resolution points
            if (giro == 40) s.accoda(x - 3.0, -9); // later still: among the thinned ones
            sposta();
            if (QTest::currentTestFailed()) return;
        }
        // A batch before everything, and a batch larger than the whole history.
        s.accoda(-5, 1);
        s.accoda(-4, 2);
        sposta();
        for (int k = 0; k < 500; ++k, x += 0.01) s.accoda(x, k);
        sposta();
        QVERIFY(s.diradati().size() > 10);
        s.cancella();
        QCOMPARE(s.dimensione(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestStoricoGrafico)
#include "test_storico_grafico.moc"
