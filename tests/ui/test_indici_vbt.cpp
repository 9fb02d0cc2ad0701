// The velocity-training figures on the working screen, fed a synthesised set
// record by record: the "Indici VBT" window following the values list both
// ways, the STOP on the slide and in the readout with its tone once per
// trial, and a bar held at its top shown at once, withdrawn when the bar
// moves on, listed when the top comes, and offered when the set is stopped.
#include "analysis/analisi.h"
#include "analysis/controlli_memoria.h"
#include "servizi_registro.h"
#include "sim/sintetizzatore.h"
#include "ui/frm_grafici.h"
#include "ui/frm_vbt.h"
#include "ui/sorveglianza_vbt.h"

#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace vexa;

namespace {

struct Banco {
    QTemporaryDir cartella;
    Stato s;
    test::ServiziRegistro sv;
    SuonoMemoria beep, tono;
    Frm_grafici g{s, sv, cartella.path(), beep};
    Analizzatore a{s, g.vista()};
    SorveglianzaVbt v{s, a, g, tono};
    Frm_vbt finestra{s};
    std::vector<sim::RecordScheda> record;
    std::size_t letti = 0;
    qint64 ora = 0;

    explicit Banco(double perdita) {
        s.hid_attivo = true;
        s.scala_posizione = 1;
        s.ampiezza_min = 100;
        g.vista().vbt = &v;
        v.orologio_ms = [this] { return ora; };
        v.collega(&finestra);
        sim::DescrizioneSerie d;
        d.perdita_pct = perdita;
        record = sim::sintetizza(d, 2, Collegamento::Hid).record;
        azzera_prova(s, g.vista());
        azzera_tempi(s);
        s.acquisizione_in_corso = true;
        v.acquisizione_avviata();
    }
    // The records up to `fine`, one block each.
    void dai(std::size_t fine) {
        for (; letti < fine && letti < record.size(); ++letti) {
            const double pos = posizione_mm(record[letti].posizione, 1);
            const float dt = intervallo_ms(record[letti].intervallo, scala_per_tipo(2).tempo);
            a.Elabora_blocco(0, &pos, &dt);
        }
    }
    void fino_a(std::size_t fine) {
        dai(fine);
        v.controlla();
    }
    // Just after the last rising record of the n-th rise (from 1).
    std::size_t cima(int n) const {
        for (std::size_t i = 1; i < record.size(); ++i)
            if (record[i - 1].intervallo > 0 && record[i].intervallo < 0 && --n == 0) return i;
        return record.size();
    }
    void aspetta(qint64 ms) {
        ora += ms;
        v.controlla();
    }
    QString numero_riga(int r) const { return finestra.Tabella->item(r, 0)->text(); }
};

} // namespace

class TestIndiciVbt : public QObject {
    Q_OBJECT
private slots:
    void finestra_lista_e_stop();
    void cima_tenuta_mostrata_ritirata_e_offerta();
};

void TestIndiciVbt::finestra_lista_e_stop() {
    // 8 % slower each time: the fourth listed is 24 % below the first.
    Banco b(8);
    b.fino_a(b.record.size());
    QCOMPARE(b.finestra.Tabella->rowCount(), 5);
    QCOMPARE(b.tono.beep_suonati, 1);
    QVERIFY(b.g.Slide->stop() && b.finestra.Lettura->stop());
    QCOMPARE(b.finestra.Tabella->item(3, 1)->text(), b.g.Lst_valori[4]->testo(3)); // Vmedia
    QCOMPARE(b.finestra.Grafico->linea_stop(), b.s.vmedia_migliore * 0.8);

    // The values list leads the window, and the window the values list.
    b.g.Lst_valori[0]->setCurrentRow(1);
    QCOMPARE(b.finestra.riga_selezionata(), 1);
    b.finestra.Tabella->setCurrentCell(3, 2);
    QCOMPARE(b.g.Lst_valori[0]->currentRow(), 3);
    QCOMPARE(b.g.Lst_valori[9]->currentRow(), 3);

    // A window opened later is filled; emptying the list empties it, and the alert goes.
    Frm_vbt tardi(b.s);
    b.v.collega(&tardi);
    QCOMPARE(tardi.Tabella->rowCount(), 5);
    azzera_prova(b.s, b.g.vista());
    QCOMPARE(tardi.Tabella->rowCount(), 0);
    QVERIFY(!b.g.Slide->stop() && !tardi.Lettura->stop());
    QCOMPARE(tardi.Lettura->testo(), QStringLiteral("-"));

    // A broken trial file can make a mean velocity infinite: the chart still draws.
    IndiciVbt infinita;
    infinita.numero = 1;
    infinita.vmedia_conc = std::numeric_limits<float>::infinity();
    tardi.Grafico->imposta({infinita}, {}, 0, 20, -1);
    QVERIFY(!tardi.Grafico->grab().isNull());
}

void TestIndiciVbt::cima_tenuta_mostrata_ritirata_e_offerta() {
    Banco b(0);
    // Held at the third top: one row listed, the second repetition rising to
    // it, its last two records still in the port until the stream pauses.
    b.fino_a(b.cima(3) - 2);
    int in_attesa = 12;
    b.v.byte_in_attesa = [&] { return in_attesa; };
    b.v.consegna_in_attesa = [&] {
        b.dai(b.cima(3));
        in_attesa = 0;
    };
    b.v.controlla();
    QCOMPARE(b.g.Lst_valori[0]->count(), 1);
    b.aspetta(60); // a 1 mm step could still come at over 15 mm/s
    QCOMPARE(b.v.stato_ultima(), UltimaVbt::Nessuna);
    b.aspetta(10);
    QCOMPARE(b.v.stato_ultima(), UltimaVbt::Provvisoria);
    const IndiciVbt provvisoria = *b.v.ultima();
    QCOMPARE(provvisoria.numero, 2);
    QCOMPARE(b.letti, b.cima(3)); // the held records first
    QCOMPARE(provvisoria.vmedia_conc, b.a.ripetizione_provvisoria(1)->vmedia_conc);
    QVERIFY(b.g.Slide->provvisorio() && b.g.Num_vel->provvisorio());
    QCOMPARE(b.g.Num_vel->valore(), static_cast<double>(provvisoria.vmedia_conc));
    QCOMPARE(b.numero_riga(1), QStringLiteral("2 (provvisoria)"));
    // The top comes: the row is listed, the marks go.
    b.fino_a(b.cima(3) + 2);
    QCOMPARE(b.g.Lst_valori[0]->count(), 2);
    QCOMPARE(b.v.stato_ultima(), UltimaVbt::Nessuna);
    QVERIFY(!b.g.Slide->provvisorio() && !b.g.Num_vel->provvisorio());
    QCOMPARE(b.numero_riga(1), QStringLiteral("2"));
    QVERIFY(std::fabs(b.s.indici_vbt[1].vmedia_conc - provvisoria.vmedia_conc) < 0.01f * provvisoria.vmedia_conc);

    // Stuck halfway up the fourth rise, then moving on: withdrawn, the listed value back.
    const std::size_t a_meta = (b.cima(3) + b.cima(4)) / 2 + (b.cima(4) - b.cima(3)) / 4;
    b.fino_a(a_meta);
    const double prima = b.g.Num_vel->valore();
    b.aspetta(500);
    QCOMPARE(b.v.stato_ultima(), UltimaVbt::Provvisoria);
    b.fino_a(a_meta + 1);
    QCOMPARE(b.v.stato_ultima(), UltimaVbt::Nessuna);
    QCOMPARE(b.g.Num_vel->valore(), prima);
    QCOMPARE(b.finestra.Tabella->rowCount(), 2);

    // Stopped with the bar held at the last top: offered, not listed.
    b.fino_a(b.cima(6));
    QCOMPARE(b.g.Lst_valori[0]->count(), 4);
    b.s.acquisizione_in_corso = false;
    b.aspetta(10);
    QCOMPARE(b.v.stato_ultima(), UltimaVbt::NonElencata);
    QCOMPARE(b.numero_riga(4), QStringLiteral("5 (non elencata)"));
    QVERIFY(!b.g.Num_vel->provvisorio());
}

QTEST_MAIN(TestIndiciVbt)
#include "test_indici_vbt.moc"
