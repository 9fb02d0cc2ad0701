// The graph properties editor on a real graph window offscreen: axis ranges
// and their style files, the velocity scales and alarm marks, choosing a graph
// and an axis, the pointer modes, Cancel, and the cases that must change nothing.
#include "analysis/stato.h"
#include "ui/frm_edit_grafici.h"
#include "ui/frm_grafici.h"

#include "servizi_registro.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace vexa;
using vexa::test::ServiziRegistro;

namespace {

struct SuonoMuto : ISuono {
    void beep() override {}
};

struct Banco {
    QTemporaryDir dir;
    QString cartella;
    Stato s;
    ServiziRegistro sv;
    SuonoMuto suono;
    std::unique_ptr<Frm_grafici> g;
    std::unique_ptr<frm_edit_grafici> e;
    QStringList messaggi;

    // `sotto`: the program folder inside the temporary one ("" for itself).
    explicit Banco(const QString& sotto = {}) {
        cartella = sotto.isEmpty() ? dir.path() : dir.filePath(sotto);
        g = std::make_unique<Frm_grafici>(s, sv, cartella, suono);
        e = std::make_unique<frm_edit_grafici>(s, *g);
        e->mostra_messaggio = [this](const QString& m) { messaggi << m; };
    }
    GraficoWidget* gr(int i) const { return g->Grafico[static_cast<std::size_t>(i)]; }
    bool file(int i) const { return QFile::exists(g->percorso_stile(i)); }
    std::pair<double, double> asse(int i, int a) const { return {gr(i)->minimo_asse(a), gr(i)->massimo_asse(a)}; }
};

using Intervallo = std::pair<double, double>;

} // namespace

class TestEditGrafici : public QObject {
    Q_OBJECT
private slots:
    void finestra() {
        Banco b;
        QCOMPARE(b.e->windowTitle(), QStringLiteral("Impostazione Proprietà Grafici"));
        QVERIFY(b.e->isWindow());
        // Opened on graph 0, axis 1, its range in the boxes.
        QCOMPARE(b.e->grafico_scelto(), int16_t{0});
        QCOMPARE(b.e->sldSelectAxis->massimo(), b.gr(0)->numero_assi());
        QCOMPARE(b.e->Lbl_asse->text().toStdString(), b.gr(0)->didascalia_asse(1));
        QCOMPARE(b.e->AxisMin->value(), b.gr(0)->minimo_asse(1));
        QCOMPARE(b.e->AxisMax->value(), b.gr(0)->massimo_asse(1));
    }

    void asse_di_un_grafico() {
        Banco b;
        b.g->Slide->imposta_intervallo(0, 1500);
        b.g->Slide->imposta_segno(1, 700);
        b.g->Slide->imposta_segno(2, 300);
        const auto g0 = b.asse(0, 2), g1a1 = b.asse(1, 1), g1a3 = b.asse(1, 3);

        QVERIFY(b.e->Update_graph(1, 2, 0, 500));
        QCOMPARE(b.asse(1, 2), Intervallo(0, 500));
        QCOMPARE(b.asse(1, 1), g1a1);
        QCOMPARE(b.asse(1, 3), g1a3);
        QCOMPARE(b.asse(0, 2), g0);
        QVERIFY(b.file(1));
        QVERIFY(!b.file(0));
        QCOMPARE(b.g->Slide->minimo(), 0.0);
        QCOMPARE(b.g->Slide->massimo(), 1500.0);
        QCOMPARE(b.g->Slide->segno(1), 700.0);
        QCOMPARE(b.g->Slide->segno(2), 300.0);
        QVERIFY(b.messaggi.isEmpty());

        GraficoWidget nuovo(1, GraficoWidget::Tipo::Ripetizioni);
        QVERIFY(nuovo.importa_stile(b.g->percorso_stile(1).toStdString()));
        QCOMPARE(nuovo.massimo_asse(2), 500.0);
    }

    void scale_di_velocita() {
        Banco b;
        b.s.vel_max = 1000;
        b.s.limite_sup = 90;
        b.s.limite_inf = 80;
        const int yv = b.gr(1)->asse_per_nome("Y_velocita");
        QVERIFY(yv > 0);

        // The position axis is no velocity scale: nothing follows it.
        b.g->Slide->imposta_intervallo(0, 1500);
        QVERIFY(b.e->Update_graph(0, 3, 0, 700));
        QCOMPARE(b.g->Slide->massimo(), 1500.0);
        QCOMPARE(b.asse(1, yv), Intervallo(0, 1500));

        QVERIFY(b.e->Update_graph(0, 2, -1200, 1200));
        QCOMPARE(b.asse(0, 2), Intervallo(-1200, 1200));
        QCOMPARE(b.asse(0, 3), Intervallo(0, 700));
        QCOMPARE(b.g->Slide->minimo(), 0.0);
        QCOMPARE(b.g->Slide->massimo(), 1200.0);
        // The marks stand where the colours change: 90 % and 80 % of 1000 mm/s.
        QCOMPARE(static_cast<float>(b.g->Slide->segno(1)), 900.0f);
        QCOMPARE(static_cast<float>(b.g->Slide->segno(2)), 800.0f);
        QCOMPARE(b.asse(1, yv), Intervallo(0, 1200));
        // Only the edited graph is saved; the repetitions graph follows on screen.
        QVERIFY(b.file(0));
        QVERIFY(!b.file(1));

        GraficoWidget nuovo(0, GraficoWidget::Tipo::Tempo);
        QVERIFY(nuovo.importa_stile(b.g->percorso_stile(0).toStdString()));
        QCOMPARE(nuovo.minimo_asse(2), -1200.0);
        QCOMPARE(nuovo.massimo_asse(2), 1200.0);

        // The boxes follow when they show the velocity axis of the repetitions graph.
        b.e->Sel_Grafico(1);
        b.e->sldSelectAxis->imposta_valore(yv);
        b.s.vel_max = 500;
        QVERIFY(b.e->Update_graph(0, 2, -600, 600));
        QCOMPARE(b.e->AxisMax->value(), 600.0);
        QCOMPARE(static_cast<float>(b.g->Slide->segno(1)), 450.0f);
        QCOMPARE(static_cast<float>(b.g->Slide->segno(2)), 400.0f);
    }

    void scelta_di_grafico_e_asse() {
        Banco b;
        b.e->sldSelectAxis->imposta_valore(3);
        QCOMPARE(b.e->Lbl_asse->text().toStdString(), b.gr(0)->didascalia_asse(3));
        QCOMPARE(b.e->AxisMax->value(), b.gr(0)->massimo_asse(3));

        b.gr(1)->imposta_intervallo_asse(1, 0, 25);
        b.e->sldTicks->imposta_valore(1); // "Ripetizioni"
        QCOMPARE(b.e->grafico_scelto(), int16_t{1});
        QCOMPARE(b.e->sldSelectAxis->valore(), 1);
        QCOMPARE(b.e->sldSelectAxis->massimo(), b.gr(1)->numero_assi());
        QCOMPARE(b.e->Lbl_asse->text(), QStringLiteral("N° Ripetizioni"));
        QCOMPARE(b.e->AxisMin->value(), 0.0);
        QCOMPARE(b.e->AxisMax->value(), 25.0);

        // A click on graph 0 moves the graph slide with it; a graph that does not exist is ignored.
        b.e->Sel_Grafico(0);
        QCOMPARE(b.e->sldTicks->valore(), 0);
        b.e->Sel_Grafico(2);
        b.e->Sel_Grafico(-1);
        QCOMPARE(b.e->grafico_scelto(), int16_t{0});
    }

    void update_dai_campi() {
        Banco b;
        b.e->Sel_Grafico(1);
        b.e->sldSelectAxis->imposta_valore(2);
        // Typed with a comma, where that is the decimal separator.
        b.e->AxisMin->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
        b.e->AxisMin->selectAll();
        QTest::keyClicks(b.e->AxisMin, QStringLiteral("0,5"));
        b.e->AxisMax->setValue(4);
        b.e->UpdateAxis->click();
        QCOMPARE(b.asse(1, 2), Intervallo(0.5, 4));
        QVERIFY(b.file(1));
        QCOMPARE(b.e->AxisMin->text(), QStringLiteral("0,5"));

        // Max not above Min: told, nothing changed or saved.
        QVERIFY(QFile::remove(b.g->percorso_stile(1)));
        b.e->AxisMin->setValue(10);
        b.e->AxisMax->setValue(10);
        b.e->UpdateAxis->click();
        QCOMPARE(b.messaggi.size(), 1);
        QCOMPARE(b.asse(1, 2), Intervallo(0.5, 4));
        QVERIFY(!b.file(1));
    }

    void modi_del_puntatore() {
        Banco b;
        b.e->Sel_Grafico(1);
        const int modo0 = b.gr(0)->modo_puntatore();
        const int attesi[] = {6, 3, 2, 2, 9};
        // From the far end, so that every position is a real move.
        b.e->GraphMode->imposta_valore(4);
        for (int p = 3; p >= 0; --p) {
            b.e->GraphMode->imposta_valore(p);
            QCOMPARE(b.gr(1)->modo_puntatore(), attesi[p]);
        }
        b.e->GraphMode->imposta_valore(4);
        QCOMPARE(b.gr(1)->modo_puntatore(), 9);
        QCOMPARE(b.gr(0)->modo_puntatore(), modo0);
        QVERIFY(!b.file(0));
        QVERIFY(!b.file(1));

        // Back on a graph, the slide shows that graph's mode.
        b.gr(0)->imposta_modo_puntatore(3);
        b.e->Sel_Grafico(0);
        QCOMPARE(b.e->GraphMode->valore(), 1);
    }

    void annulla() {
        Banco b;
        QVERIFY(b.e->Update_graph(0, 2, -100, 100));
        // Changes never saved: a zoom on graph 0 and a scale on graph 1, which has no file.
        b.gr(0)->imposta_intervallo_asse(2, -5, 5);
        b.gr(1)->imposta_intervallo_asse(2, 0, 7);
        b.e->sldSelectAxis->imposta_valore(2);
        QCOMPARE(b.e->AxisMax->value(), 5.0);

        b.e->Cmd_Undo->click();
        QCOMPARE(b.asse(0, 2), Intervallo(-100, 100));
        QCOMPARE(b.asse(1, 2), Intervallo(0, 7));
        QCOMPARE(b.e->AxisMax->value(), 100.0);
        QVERIFY(b.sv.messaggi.empty());

        // An unreadable file for graph 1: graph 0 still goes back, graph 1 stays, the user is told which file.
        QFile f(b.g->percorso_stile(1));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("VEXA-GRAFICO 1\ntipo=ripetizioni\nasse.2.minimo=zero\nfine\n");
        f.close();
        b.gr(0)->imposta_intervallo_asse(2, -5, 5);
        b.e->Cmd_Undo->click();
        QCOMPARE(b.asse(0, 2), Intervallo(-100, 100));
        QCOMPARE(b.asse(1, 2), Intervallo(0, 7));
        QCOMPARE(b.sv.messaggi.size(), std::size_t{1});
        QVERIFY(QString::fromStdString(b.sv.messaggi[0]).contains(QStringLiteral("grafico_1.cwx")));
    }

    void niente_da_cambiare() {
        Banco b;
        b.s.vel_max = 0;
        b.s.limite_sup = 90;
        b.s.limite_inf = 80;
        b.g->Slide->imposta_intervallo(0, 1500);
        b.g->Slide->imposta_segno(1, 700);
        const auto a2 = b.asse(0, 2), a1 = b.asse(1, 1);

        QVERIFY(!b.e->Update_graph(1, 4, 0, 10)); // graph 1 has three axes
        QVERIFY(!b.e->Update_graph(0, 0, 0, 10));
        QVERIFY(!b.e->Update_graph(2, 1, 0, 10));
        QVERIFY(!b.e->Update_graph(-1, 1, 0, 10));
        // The settings window with no maximum velocity: 0..0.
        QVERIFY(!b.e->Update_graph(0, 2, 0, 0));
        QVERIFY(!b.e->Update_graph(0, 2, 10, -10));
        QVERIFY(!b.e->Update_graph(0, 2, std::nan(""), 10));
        QVERIFY(!b.e->Update_graph(1, 1, 0, std::numeric_limits<double>::infinity()));

        QCOMPARE(b.asse(0, 2), a2);
        QCOMPARE(b.asse(1, 1), a1);
        QCOMPARE(b.g->Slide->massimo(), 1500.0);
        QCOMPARE(b.g->Slide->segno(1), 700.0);
        QVERIFY(!b.file(0));
        QVERIFY(!b.file(1));
        QVERIFY(b.messaggi.isEmpty()); // only the user's own Update is answered
    }

    void cartella_non_scrivibile() {
        // The program folder is a file: nothing can be written under it, even as root.
        Banco b(QStringLiteral("occupato"));
        {
            QFile f(b.cartella);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(b.e->Update_graph(1, 2, 0, 500));
        QCOMPARE(b.asse(1, 2), Intervallo(0, 500));
        QCOMPARE(b.messaggi.size(), 1);
        QVERIFY(b.messaggi[0].contains(QStringLiteral("grafico_1.cwx")));
        QVERIFY(b.messaggi[0].contains(QStringLiteral("Impossibile scrivere")));
    }
};

QTEST_MAIN(TestEditGrafici)
#include "test_edit_grafici.moc"
