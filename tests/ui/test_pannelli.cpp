// The panels of the working screen: layout, the three graph views, the values
// list and its selection, the cursor readout, notes, the header and the
// command buttons, all on real widgets offscreen.
#include "analysis/stato.h"
#include "ui/disposizione.h"
#include "ui/frm_cmd.h"
#include "ui/frm_grafici.h"
#include "ui/frm_intestazione.h"
#include "ui/suono.h"

#include "servizi_registro.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace vexa;
using vexa::test::ServiziRegistro;

namespace {

struct SuonoMuto : ISuono {
    int beep_suonati = 0;
    void beep() override { ++beep_suonati; }
};

// A graph window 800 x 450 px (12000 x 6750 twips) with its command panel.
struct Banco {
    QTemporaryDir cartella;
    Stato s;
    ServiziRegistro sv;
    SuonoMuto suono;
    QWidget finestra;
    Frm_grafici* g;
    Frm_cmd* c;
    Banco() {
        g = new Frm_grafici(s, sv, cartella.path(), suono, &finestra);
        g->separatore = '.';
        g->setGeometry(0, 0, 800, 450);
        g->riposiziona();
        c = new Frm_cmd(s, *g, &finestra);
        c->setGeometry(0, 450, 800, 78);
        c->riposiziona();
    }
    // n listed repetitions whose starts are 10 s apart, plus the one being measured.
    void riempi(int n) {
        s.ripetizioni.assign(static_cast<std::size_t>(n) + 2, Ripetizione{});
        for (int i = 0; i <= n + 1; ++i) s.ripetizioni[static_cast<std::size_t>(i)].tempo = static_cast<float>(10 * i);
        s.rip_corrente = n + 1;
        for (int r = 0; r < n; ++r)
            for (int col = 0; col < NUMERO_COLONNE; ++col)
                g->vista().lst_valori[static_cast<std::size_t>(col)]->aggiungi(col == 0 ? std::to_string(r + 1) : "x");
    }
};

bool vicino(const QRect& r, int x, int y, int w, int h) {
    return std::abs(r.x() - x) <= 1 && std::abs(r.y() - y) <= 1 && std::abs(r.width() - w) <= 1 &&
           std::abs(r.height() - h) <= 1;
}

} // namespace

class TestPannelli : public QObject {
    Q_OBJECT
private slots:
    void disposizione_in_pixel() {
        // 12000 x 9000 twips = 800 x 600 px.
        const auto p = disponi_pannelli(800, 600);
        QCOMPARE(arrotonda(p.intestazione), QRect(0, 0, 800, 72));
        QCOMPARE(arrotonda(p.grafici), QRect(0, 72, 800, 450));
        QCOMPARE(arrotonda(p.comandi), QRect(0, 522, 800, 78));

        const auto g = disponi_grafici(800, 450);
        QCOMPARE(arrotonda(g.slide).width(), 80);
        QCOMPARE(arrotonda(g.grafico0).width(), 360);
        QCOMPARE(arrotonda(g.grafico1).left(), 440);
        QCOMPARE(arrotonda(g.grafico1).width(), 360);
        QCOMPARE(arrotonda(g.slide).height(), 315);
        // Fifteen columns of 800 twips (53.3 px) fill the width with no gap.
        int destra = 0;
        for (std::size_t i = 0; i < 15; ++i) {
            const QRect r = arrotonda(g.colonne[i]);
            QCOMPARE(r.left(), destra);
            QVERIFY(r.width() == 53 || r.width() == 54);
            QCOMPARE(arrotonda(g.titoli[i]).left(), r.left());
            QCOMPARE(r.bottom() + 1, 450);
            destra = r.left() + r.width();
        }
        QCOMPARE(destra, 800);

        // Fixed offsets in twips: 300 beside the button, 50 from the top, 200 between groups.
        const auto i = disponi_intestazione(900, 72);
        QCOMPARE(i.riga1.left(), 100.0 + 20.0);
        QCOMPARE(i.riga1.top(), 50.0 / 15.0);
        QCOMPARE(i.spostamento.left(), i.riga2.left() + (900.0 - 100.0) * 2 / 3);
        const auto b = disponi_comandi(870, 78);
        QCOMPARE(b[1].left(), 870.0 / 9);
        QCOMPARE(b[3].left(), b[2].right() + 200.0 / 15);
        QCOMPARE(b[4].left(), b[3].right() + 200.0 / 15);
        QCOMPARE(b[5].left(), b[4].right());
        QCOMPARE(b[7].left(), b[6].right() + 200.0 / 15);
        QCOMPARE(b[8].width(), 100.0);
    }

    void viste_e_geometria() {
        Banco b;
        std::vector<Vista> viste;
        b.c->su_vista = [&](Vista v) { viste.push_back(v); };
        auto* g0 = b.g->Grafico[0];
        auto* g1 = b.g->Grafico[1];

        b.c->Button_Ripetizioni_Click();
        QVERIFY(g0->isHidden());
        QVERIFY(!g1->isHidden());
        QVERIFY(vicino(g1->geometry(), 80, 0, 720, 315));

        // "TEMPO" on while only the repetitions show: the time graph comes back where it was.
        const QRect prima = g0->geometry();
        b.c->Button_Tempo->imposta_valore(false);
        QVERIFY(!b.g->Num_vel->isHidden());
        b.c->Button_Tempo->imposta_valore(true);
        QVERIFY(!g0->isHidden());
        QVERIFY(b.g->Num_vel->isHidden());
        QCOMPARE(g0->geometry(), prima);
        QVERIFY(vicino(g1->geometry(), 80, 0, 720, 315));
        QCOMPARE(viste.size(), std::size_t{1});

        b.c->Button_Grafici_Click();
        QVERIFY(vicino(g0->geometry(), 80, 0, 360, 315));
        QVERIFY(vicino(g1->geometry(), 440, 0, 360, 315));

        // The right button on "TEMPO" gives the time-only view; the left does not.
        b.c->Button_Tempo->su_mouse(1);
        QCOMPARE(viste.back(), Vista::Entrambi);
        b.c->Button_Tempo->su_mouse(2);
        QCOMPARE(viste.back(), Vista::Tempo);
        QVERIFY(g1->isHidden());
        QVERIFY(vicino(g0->geometry(), 80, 0, 720, 315));

        // A resize keeps the chosen view.
        b.g->setGeometry(0, 0, 1000, 450);
        b.g->riposiziona();
        b.c->riapplica_vista();
        QVERIFY(g1->isHidden());
        QVERIFY(vicino(g0->geometry(), 100, 0, 900, 315));
    }

    void lettura_cursori() {
        Banco b;
        auto* g0 = b.g->Grafico[0];
        g0->trascina_cursore(1, 1.0, 200);
        g0->trascina_cursore(2, 2.5, 350);
        QCOMPARE(QString::fromStdString(g0->testo_annotazione(2)), QStringLiteral("DT: 1.50 DY: 150.00"));
        QCOMPARE(QString::fromStdString(g0->testo_annotazione(1)), QStringLiteral("T: 2.50 350.0"));
        b.g->separatore = ',';
        g0->trascina_cursore(1, 1.0, 200.25);
        QCOMPARE(QString::fromStdString(g0->testo_annotazione(1)), QStringLiteral("T: 1,00 200,3"));
    }

    void cursore_delle_ripetizioni_sceglie_la_riga() {
        Banco b;
        b.riempi(6);
        auto* g1 = b.g->Grafico[1];
        g1->trascina_cursore(1, 2.5, 0);
        QCOMPARE(b.g->Lst_valori[0]->currentRow(), 2);
        g1->trascina_cursore(1, 3.5, 0);
        QCOMPARE(b.g->Lst_valori[0]->currentRow(), 4);
        // Only column 0 follows the cursor.
        QCOMPARE(b.g->Lst_valori[3]->currentRow(), -1);
        // Off the list: the selection stays.
        g1->trascina_cursore(1, 40, 0);
        QCOMPARE(b.g->Lst_valori[0]->currentRow(), 4);
    }

    void la_selezione_segue_la_colonna_0() {
        Banco b;
        b.riempi(30);
        b.finestra.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b.finestra));
        auto* l0 = b.g->Lst_valori[0];
        auto* l5 = b.g->Lst_valori[5];
        l0->setCurrentRow(3);
        // A click elsewhere in column 5 still selects row 3 there.
        const QRect riga1 = l5->visualItemRect(1);
        QTest::mouseClick(l5->viewport(), Qt::LeftButton, {}, riga1.center());
        QCOMPARE(l5->currentRow(), 3);

        // Touching column 0: every column follows, the cursors frame the repetition
        // and the time axis scrolls to it, 10 s wide.
        auto* g0 = b.g->Grafico[0];
        g0->imposta_intervallo_asse(1, 0, 10);
        const QRect riga7 = l0->visualItemRect(7);
        QTest::mouseClick(l0->viewport(), Qt::LeftButton, {}, riga7.center());
        QCOMPARE(l0->currentRow(), 7);
        for (auto* l : b.g->Lst_valori) QCOMPARE(l->currentRow(), 7);
        QCOMPARE(b.g->Grafico[1]->cursore_x(1), 7.0);
        QCOMPARE(g0->cursore_x(1), 80.0);
        QCOMPARE(g0->cursore_x(2), 90.0);
        QCOMPARE(g0->minimo_asse(1), 61.0);
        QCOMPARE(g0->massimo_asse(1), 71.0);

        // Back to the first row: its record is the movement before it.
        l0->setCurrentRow(0);
        b.g->Allinea_liste(0);
        QCOMPARE(g0->minimo_asse(1), -1.0);
        QCOMPARE(g0->massimo_asse(1), 9.0);
        QCOMPARE(g0->cursore_x(1), 10.0);

        // The last row: cursor 2 at the start of the repetition still measured.
        l0->setCurrentRow(29);
        b.g->Allinea_liste(0);
        QCOMPARE(g0->cursore_x(2), 310.0);

        // Scrolling any column scrolls them all.
        b.g->Lst_valori[14]->verticalScrollBar()->setValue(5);
        QCOMPARE(b.g->Lst_valori[0]->verticalScrollBar()->value(), 5);
        QCOMPARE(b.g->Lst_valori[8]->verticalScrollBar()->value(), 5);

        // The keys move the selection and keep it in sight, down to the last
        // row and a page back up; a row listed then is selected and shown.
        const auto in_vista = [](ListaValori* l, int r) { return l->viewport()->rect().contains(l->visualItemRect(r)); };
        l0->setFocus();
        QTest::keyClick(l0, Qt::Key_End);
        QCOMPARE(l0->currentRow(), 29);
        QVERIFY(in_vista(l0, 29));
        QCOMPARE(b.g->Lst_valori[6]->currentRow(), 29);
        const int pagina = l0->verticalScrollBar()->pageStep();
        QVERIFY(pagina > 1 && pagina < 29);
        QTest::keyClick(l0, Qt::Key_PageUp);
        QCOMPARE(l0->currentRow(), 29 - pagina);
        QTest::keyClick(l0, Qt::Key_Up);
        QCOMPARE(l0->currentRow(), 28 - pagina);
        b.g->Lst_valori[0]->verticalScrollBar()->setValue(0);
        for (auto* c : b.g->vista().lst_valori) c->aggiungi("y");
        for (auto* c : b.g->vista().lst_valori) c->seleziona(30);
        QVERIFY(in_vista(b.g->Lst_valori[3], 30));
        QCOMPARE(b.g->Lst_valori[3]->verticalScrollBar()->value(), b.g->Lst_valori[3]->verticalScrollBar()->maximum());
        QSignalSpy vuota(l0, &ListaValori::currentRowChanged);
        b.g->vista().lst_valori[0]->cancella();
        QCOMPARE(vuota.value(0).value(0).toInt(), -1);
    }

    void nota() {
        Banco b;
        b.riempi(4);
        std::optional<std::string> risposta = "buona";
        int chieste = 0;
        b.g->chiedi_nota = [&] {
            ++chieste;
            return risposta;
        };
        b.g->Lst_valori_DblClick(3); // other columns take no note
        QCOMPARE(chieste, 0);
        b.g->Lst_valori[0]->setCurrentRow(2);
        b.g->Lst_valori_DblClick(0);
        QCOMPARE(b.s.ripetizioni[3].nota, std::string("buona"));
        QCOMPARE(b.g->Lst_valori[14]->testo(2), QStringLiteral("buona"));
        // Cancelling clears the note.
        risposta.reset();
        b.g->Lst_valori_DblClick(0);
        QCOMPARE(b.s.ripetizioni[3].nota, std::string());
        QCOMPARE(b.g->Lst_valori[14]->testo(2), QString());
        // No row selected: nothing to annotate, and no record 0 note.
        b.g->Lst_valori[0]->setCurrentRow(-1);
        risposta = "x";
        b.g->Lst_valori_DblClick(0);
        QCOMPARE(b.s.ripetizioni[0].nota, std::string());
    }

    void titoli_e_colori() {
        Banco b;
        QCOMPARE(titolo_valori().size(), std::size_t{156});
        QCOMPARE(b.g->Lbl_valori->text().toStdString(), titolo_valori());
        QCOMPARE(b.g->Txt_dettaglio[0]->text(), QStringLiteral("N°Rip"));
        QCOMPARE(b.g->Txt_dettaglio[14]->text(), QStringLiteral("NOTA"));
        QCOMPARE(b.g->Lst_valori[2]->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(b.g->Lst_valori[7]->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(b.g->Lst_valori[14]->palette().color(QPalette::Base), QColor(0, 255, 0));
        QVERIFY(b.g->Lst_valori[8]->palette().color(QPalette::Base) != QColor(255, 255, 0));
        QCOMPARE(b.g->Slide->didascalia(), QStringLiteral("Velocità fase positiva"));
        QCOMPARE(b.g->Num_vel->dimensione_carattere(), 120);
    }

    void stili_dei_grafici() {
        QTemporaryDir cartella;
        Stato s;
        ServiziRegistro sv;
        SuonoMuto suono;
        {
            // A good style for graph 0, a broken one for graph 1.
            Frm_grafici g(s, sv, cartella.path(), suono);
            g.Grafico[0]->imposta_intervallo_asse(2, -1500, 1500);
            QVERIFY(g.Grafico[0]->esporta_stile(g.percorso_stile(0).toStdString()));
            QFile f(g.percorso_stile(1));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("non e' uno stile\n");
        }
        QVERIFY(sv.messaggi.empty());
        Frm_grafici g(s, sv, cartella.path(), suono);
        QCOMPARE(g.Grafico[0]->massimo_asse(2), 1500.0);
        QCOMPARE(g.Slide->massimo(), 1500.0);
        QCOMPARE(g.Slide->minimo(), 0.0);
        // One message naming the broken file; graph 1 keeps its design look.
        QCOMPARE(sv.messaggi.size(), std::size_t{1});
        QVERIFY(QString::fromStdString(sv.messaggi[0]).contains(QStringLiteral("grafico_1.cwx")));
        QCOMPARE(g.Grafico[1]->didascalia_asse(1), std::string("N° Ripetizioni"));
    }

    void intestazione() {
        Stato s;
        Frm_intestazione h(s);
        h.separatore = ',';
        h.Aggiorna_intestazione();
        QCOMPARE(h.Lbl_intestazione->text(), QStringLiteral("Atleta:     Carico (Kg): 0    Esercizio: "));
        QCOMPARE(h.Lbl_intestazione1->text(),
                 QStringLiteral("Velocità Max (mm/s): 0    Limite Sup. (%): 0    Limite Inf. (%): 0"));
        s.nome_atleta = "Anna";
        s.carico_kg = 102.5f;
        s.esercizio = "Squat";
        s.vel_max = 800;
        s.limite_sup = 110;
        s.limite_inf = 82.5f;
        h.Aggiorna_intestazione();
        QCOMPARE(h.Lbl_intestazione->text(), QStringLiteral("Atleta: Anna    Carico (Kg): 102,5    Esercizio: Squat"));
        QCOMPARE(h.Lbl_intestazione1->text(),
                 QStringLiteral("Velocità Max (mm/s): 800    Limite Sup. (%): 110    Limite Inf. (%): 82,5"));
        QCOMPARE(h.Lbl_spostamento->text(), QStringLiteral("Spost.= 0"));
        QCOMPARE(h.Button_Configura->etichetta(), QStringLiteral("CONFIGURA"));

        // The live position: many texts per frame, one label update with the newest.
        for (int i = 0; i < 1000; ++i) h.imposta_spostamento("Spost(cm)=  " + std::to_string(i));
        QCOMPARE(h.Lbl_spostamento->text(), QStringLiteral("Spost.= 0"));
        QTRY_COMPARE(h.Lbl_spostamento->text(), QStringLiteral("Spost(cm)=  999"));
    }

    void pulsanti_dei_comandi() {
        Banco b;
        int avvii = 0, fermate = 0, salvataggi = 0, azzeramenti = 0, zeri = 0, cartelle = 0;
        b.c->Avvia_acquisizione = [&] { ++avvii; };
        b.c->Ferma_acquisizione = [&] {
            ++fermate;
            b.c->spegni_start(); // as the protocol does
        };
        b.c->salva_registrazione = [&] { ++salvataggi; };
        b.c->azzera_prova = [&] { ++azzeramenti; };
        b.c->Azzera_spostamento = [&] { ++zeri; };
        b.c->assicura_cartella_registrazione = [&] { ++cartelle; };

        QCOMPARE(b.c->Button_start->testo_mostrato(), QStringLiteral("AVVIA"));
        QTest::mouseClick(b.c->Button_start, Qt::LeftButton);
        QCOMPARE(avvii, 1);
        QCOMPARE(b.c->Button_start->testo_mostrato(), QStringLiteral("LAVORO"));
        QTest::mouseClick(b.c->Button_start, Qt::LeftButton);
        QCOMPARE(fermate, 1);
        QCOMPARE(salvataggi, 0); // not recording: nothing saved

        // Recording on mid-way: an empty buffer, so no zeroed placeholders
        // are later written as if they were samples.
        b.s.campioni.resize(50);
        b.s.n_campioni = 49;
        QTest::mouseClick(b.c->Button_Memo, Qt::LeftButton);
        QVERIFY(b.s.registrazione_attiva);
        QCOMPARE(b.s.campioni.size(), std::size_t{1});
        QCOMPARE(b.s.n_campioni, 0);
        QTest::mouseClick(b.c->Button_start, Qt::LeftButton);
        QTest::mouseClick(b.c->Button_start, Qt::LeftButton);
        QCOMPARE(salvataggi, 1);
        QTest::mouseClick(b.c->Button_Memo, Qt::LeftButton);
        QVERIFY(!b.s.registrazione_attiva);
        QCOMPARE(cartelle, 1);

        // The board stopped from code: the switch goes off, no second stop.
        b.c->Button_start->imposta_valore(true);
        const int f = fermate;
        b.c->spegni_start();
        QVERIFY(!b.c->Button_start->valore());
        QCOMPARE(fermate, f);

        // One press, one action, for the momentary buttons.
        QTest::mouseClick(b.c->Button_Reset, Qt::LeftButton);
        QTest::mouseClick(b.c->Button_Reset, Qt::LeftButton);
        QCOMPARE(azzeramenti, 2);
        QTest::mouseClick(b.c->Button_Segnale, Qt::LeftButton);
        QCOMPARE(zeri, 1);

        QCOMPARE(b.c->Button_Calcolatrice->toolTip(), QStringLiteral("Mostra la colcolatrice"));
        QCOMPARE(b.c->Button_Grafici->etichetta(), QStringLiteral("GRAFICI T&R"));
    }
};

QTEST_MAIN(TestPannelli)
#include "test_pannelli.moc"
