// The working screen's indicators and switch-buttons, offscreen: the events
// the panels rely on, what the readouts show, and the tone's burst merging.
#include "ui/colori.h"
#include "ui/indicatori.h"
#include "ui/suono.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QStringList>
#include <QTimer>
#include <QtTest>
#include <limits>
#include <memory>
#include <utility>

using namespace vexa;
using Aspetto = PulsanteWidget::Aspetto;
using Azione = PulsanteWidget::Azione;

namespace {

constexpr int32_t ROSSO = 255, VERDE = 65280, GIALLO = 65535;

// The button's events in the order they were raised.
struct Registro {
    QStringList eventi;
    explicit Registro(PulsanteWidget& p) {
        p.su_mouse = [this](int codice) { eventi << QStringLiteral("mouse %1").arg(codice); };
        p.su_cambio_valore = [this](bool v) {
            eventi << QStringLiteral("valore %1").arg(v ? 1 : 0);
        };
        p.su_click = [this] { eventi << QStringLiteral("click"); };
    }
    QStringList prendi() { return std::exchange(eventi, {}); }
};

std::unique_ptr<PulsanteWidget> pulsante(Aspetto a, Azione z) {
    auto p = std::make_unique<PulsanteWidget>(a, z);
    p->imposta_testi("ACQUISIZIONE", "LAVORO", "AVVIA");
    p->resize(120, 150);
    p->show();
    return p;
}

// Bounding box of the pixels of exactly this colour; empty when there are none.
QRect riquadro(const QImage& img, const QColor& c) {
    const QImage im = img.convertToFormat(QImage::Format_RGB32);
    QRect r;
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x)
            if (im.pixel(x, y) == c.rgb()) r |= QRect(x, y, 1, 1);
    return r;
}

QImage disegno(QWidget& w, QSize s) {
    w.resize(s);
    return w.grab().toImage();
}

void trascina(QWidget& w, int y) {
    QMouseEvent e(QEvent::MouseMove, QPointF(60, y), QPointF(60, y), Qt::NoButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

} // namespace

class TestIndicatori : public QObject {
    Q_OBJECT

  private slots:
    void interruttore_clic_alterna_nel_giusto_ordine() {
        auto p = pulsante(Aspetto::LampadaLampeggiante, Azione::Interruttore);
        Registro r(*p);
        QCOMPARE(p->testo_mostrato(), QStringLiteral("AVVIA"));
        QTest::mouseClick(p.get(), Qt::LeftButton);
        QCOMPARE(r.prendi(), (QStringList{"mouse 1", "valore 1", "click"}));
        QCOMPARE(p->testo_mostrato(), QStringLiteral("LAVORO"));
        QTest::mouseClick(p.get(), Qt::LeftButton);
        QCOMPARE(r.prendi(), (QStringList{"mouse 1", "valore 0", "click"}));

        // Pressed, then released away from the button: the user changed their mind.
        QTest::mousePress(p.get(), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(p.get(), Qt::LeftButton, {}, QPoint(500, 10));
        QCOMPARE(r.prendi(), QStringList{"mouse 1"});
        QVERIFY(!p->valore());

        // The program refusing a start (no board): its handler puts the switch back.
        p->su_cambio_valore = [&](bool v) {
            r.eventi << QStringLiteral("valore %1").arg(v ? 1 : 0);
            if (v) p->imposta_valore_silenzioso(false);
        };
        QTest::mouseClick(p.get(), Qt::LeftButton);
        QCOMPARE(r.prendi(), (QStringList{"mouse 1", "valore 1", "click"}));
        QCOMPARE(p->testo_mostrato(), QStringLiteral("AVVIA"));
    }

    void momentaneo_acceso_solo_mentre_premuto() {
        auto p = pulsante(Aspetto::Lampada, Azione::Momentaneo);
        Registro r(*p);
        QTest::mousePress(p.get(), Qt::LeftButton);
        QCOMPARE(r.prendi(), (QStringList{"mouse 1", "valore 1"}));
        QVERIFY(p->lampada_accesa());
        QTest::mouseRelease(p.get(), Qt::LeftButton);
        QCOMPARE(r.prendi(), (QStringList{"valore 0", "click"}));
        QVERIFY(!p->lampada_accesa());

        // Released outside it still goes off, but that is no click.
        QTest::mousePress(p.get(), Qt::LeftButton);
        QTest::mouseRelease(p.get(), Qt::LeftButton, {}, QPoint(-20, -20));
        QCOMPARE(r.prendi(), (QStringList{"mouse 1", "valore 1", "valore 0"}));

        // Disabled while held: no release will ever come, so it must not stay on.
        QTest::mousePress(p.get(), Qt::LeftButton);
        r.prendi();
        p->setEnabled(false);
        QCOMPARE(r.prendi(), QStringList{"valore 0"});
    }

    void altri_tasti_del_mouse_non_cambiano_il_valore() {
        for (auto z : {Azione::Interruttore, Azione::Momentaneo}) {
            auto p = pulsante(Aspetto::Levetta, z);
            Registro r(*p);
            QTest::mouseClick(p.get(), Qt::RightButton);
            QTest::mouseClick(p.get(), Qt::MiddleButton);
            QCOMPARE(r.prendi(), (QStringList{"mouse 2", "mouse 4"}));
            QVERIFY(!p->valore());
        }
    }

    void tastiera_come_clic_sinistro() {
        auto p = pulsante(Aspetto::Levetta, Azione::Interruttore);
        Registro r(*p);
        QTest::keyClick(p.get(), Qt::Key_Space);
        QCOMPARE(r.prendi(), (QStringList{"valore 1", "click"}));
        QTest::keyClick(p.get(), Qt::Key_Return);
        QCOMPARE(r.prendi(), (QStringList{"valore 0", "click"}));
        // A held key repeats: the switch must not chatter.
        QKeyEvent ripetuto(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                           true);
        QApplication::sendEvent(p.get(), &ripetuto);
        QTest::keyClick(p.get(), Qt::Key_A);
        QVERIFY(r.prendi().isEmpty());

        auto m = pulsante(Aspetto::Lampada, Azione::Momentaneo);
        Registro rm(*m);
        QTest::keyClick(m.get(), Qt::Key_Enter);
        QCOMPARE(rm.prendi(), (QStringList{"valore 1", "valore 0", "click"}));
    }

    void valore_dal_programma_e_disabilitato() {
        auto p = pulsante(Aspetto::Immagine, Azione::Interruttore);
        Registro r(*p);
        p->imposta_valore(true);
        p->imposta_valore(true);
        QCOMPARE(r.prendi(), QStringList{"valore 1"});
        p->imposta_valore_silenzioso(false);
        p->imposta_valore_silenzioso(true);
        QVERIFY(r.prendi().isEmpty());

        p->setEnabled(false);
        QTest::mouseClick(p.get(), Qt::LeftButton);
        QTest::mouseClick(p.get(), Qt::RightButton);
        QTest::keyClick(p.get(), Qt::Key_Space);
        QVERIFY(r.prendi().isEmpty());
        QVERIFY(p->valore());
    }

    void testi_mostrati() {
        PulsanteWidget p(Aspetto::Levetta, Azione::Interruttore);
        p.imposta_testi("MEMO DATI", "SI", "");
        QCOMPARE(p.testo_mostrato(), QString());
        p.imposta_valore_silenzioso(true);
        QCOMPARE(p.testo_mostrato(), QStringLiteral("SI"));
        p.imposta_testi("Velocità", "sì", "no"); // UTF-8 from the analysis side
        QCOMPARE(p.etichetta(), QStringLiteral("Velocità"));
        QCOMPARE(p.testo_mostrato(), QStringLiteral("sì"));
    }

    void lampeggia_solo_mentre_acceso() {
        PulsanteWidget p(Aspetto::LampadaLampeggiante, Azione::Interruttore);
        auto* timer = p.findChild<QTimer*>();
        QVERIFY(timer && !timer->isActive());
        QVERIFY(!p.lampada_accesa());
        p.imposta_valore_silenzioso(true);
        QVERIFY(timer->isActive() && p.lampada_accesa());
        QTRY_VERIFY(!p.lampada_accesa());
        QTRY_VERIFY(p.lampada_accesa());
        QTRY_VERIFY(!p.lampada_accesa());
        // Switched off in the dark phase and on again: lit at once, not half a second later.
        p.imposta_valore(false);
        QVERIFY(!timer->isActive() && !p.lampada_accesa());
        p.imposta_valore(true);
        QVERIFY(p.lampada_accesa());
    }

    void numero_arrotondato_lontano_da_zero_data() {
        QTest::addColumn<double>("v");
        QTest::addColumn<QString>("atteso");
        QTest::newRow("mezzo") << 312.5 << "313";
        QTest::newRow("mezzo pari") << 2.5 << "3";
        QTest::newRow("mezzo negativo") << -312.5 << "-313";
        QTest::newRow("sotto il mezzo") << 0.49999 << "0";
        QTest::newRow("meno zero virgola") << -0.4 << "0";
        QTest::newRow("meno zero") << -0.0 << "0";
        QTest::newRow("grande") << 1234567.0 << "1234567";
    }

    void numero_arrotondato_lontano_da_zero() {
        QFETCH(double, v);
        NumericoWidget n;
        n.imposta_valore(v);
        QTEST(n.testo(), "atteso");
    }

    void numero_dipinto_nel_colore_e_nella_misura() {
        NumericoWidget n;
        n.imposta_valore(312);
        n.imposta_colore(ROSSO);
        QImage img = disegno(n, {300, 160});
        QCOMPARE(QColor(img.pixel(0, 0)), QColor(Qt::black));
        const QRect medio = riquadro(img, Qt::red);
        QVERIFY(!medio.isEmpty());

        // Digits fill a small widget without being cut at its edges.
        n.imposta_colore(VERDE);
        img = disegno(n, {70, 36});
        const QRect piccolo = riquadro(img, Qt::green);
        QVERIFY(img.rect().adjusted(1, 1, -1, -1).contains(piccolo));
        QVERIFY(piccolo.height() > 36 / 3);

        // A larger widget gives larger digits, up to what the program asks for.
        const QRect grande = riquadro(disegno(n, {900, 600}), Qt::green);
        QVERIFY(grande.height() > medio.height());
        n.imposta_dimensione_carattere(20);
        const QRect limitato = riquadro(disegno(n, {900, 600}), Qt::green);
        QVERIFY(!limitato.isEmpty() && limitato.height() * 3 < grande.height());
    }

    void slide_valori_fuori_scala_e_segni() {
        SlideWidget s;
        s.imposta_didascalia(QStringLiteral("Velocità fase positiva"));
        s.imposta_colore_puntatore(1, ROSSO);
        s.imposta_colore_puntatore(2, GIALLO);
        QCOMPARE(s.colore_puntatore(1), ROSSO);
        const QSize misura(130, 380);

        // Drawn clamped to the scale, kept as given.
        s.imposta_valore(2500);
        QCOMPARE(s.valore(), 2500.0);
        const QImage sopra = disegno(s, misura);
        s.imposta_valore(1000);
        QCOMPARE(disegno(s, misura), sopra);
        s.imposta_valore(600);
        const QImage medio = disegno(s, misura);
        const QRect pieno = riquadro(medio, Qt::red);
        QVERIFY(!pieno.isEmpty() && riquadro(sopra, Qt::red).height() > pieno.height());

        s.imposta_segno(1, 300);
        s.imposta_segno(2, 700);
        s.imposta_segno(3, 500);
        QCOMPARE(s.segno(2), 700.0);
        QCOMPARE(s.segno(3), 0.0);
        const QImage con_segni = disegno(s, misura);
        QVERIFY(con_segni != medio);
        s.imposta_segno(2, 900);
        QVERIFY(disegno(s, misura) != con_segni);
    }

    void slide_intervallo_degenere() {
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const std::pair<double, double> intervalli[] = {{5, 5},   {1000, 0},      {nan, 10},
                                                        {0, inf}, {1e300, 1e300}, {-1e308, 1e308}};
        for (const auto& [mn, mx] : intervalli) {
            SlideWidget s;
            s.interattivo = true;
            s.imposta_intervallo(mn, mx);
            s.imposta_valore(7);
            s.imposta_segno(1, 5);
            QVERIFY(!disegno(s, {130, 380}).isNull());
            s.show();
            QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(60, 100));
            QVERIFY(!std::isnan(s.valore()));
            QCOMPARE(s.massimo(), mx);
            if (mn == mx) QCOMPARE(s.valore(), mn);
        }
    }

    void slide_trascinata_dal_mouse() {
        SlideWidget s;
        s.resize(130, 380);
        s.imposta_intervallo(200, 800);
        s.show();
        QList<double> ricevuti;
        s.su_cambio_valore = [&](double v) { ricevuti << v; };
        QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(60, 5));
        QCOMPARE(s.valore(), 0.0); // display-only until made interactive

        s.interattivo = true;
        QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(60, 2));
        QCOMPARE(s.valore(), 800.0);
        trascina(s, 190);
        QVERIFY(s.valore() > 200 && s.valore() < 800);
        trascina(s, 5000);
        QCOMPARE(ricevuti.size(), 3);
        QCOMPARE(ricevuti.last(), 200.0);
        QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(60, 5000));
        QTest::mouseClick(&s, Qt::RightButton, {}, QPoint(60, 2));
        QCOMPARE(s.valore(), 200.0);
    }

    void ogni_widget_si_disegna_a_ogni_misura() {
        QPixmap icona(32, 32);
        icona.fill(Qt::blue);
        std::vector<std::unique_ptr<QWidget>> widget;
        widget.push_back(std::make_unique<SlideWidget>());
        widget.push_back(std::make_unique<NumericoWidget>());
        for (auto [a, con_icona] : {std::pair{Aspetto::LampadaLampeggiante, false},
                                    {Aspetto::Levetta, false},
                                    {Aspetto::Lampada, false},
                                    {Aspetto::Immagine, false},
                                    {Aspetto::Immagine, true}}) {
            auto p = std::make_unique<PulsanteWidget>(a, Azione::Interruttore);
            p->imposta_testi("UN'ETICHETTA MOLTO LUNGA PER UN PULSANTE", "LAVORO", "AVVIA");
            if (con_icona) p->imposta_immagine(QIcon(icona));
            widget.push_back(std::move(p));
        }
        for (auto& w : widget) {
            for (QSize m : {QSize(1, 1), QSize(18, 12), QSize(60, 40), QSize(1200, 1600)}) {
                for (bool acceso : {false, true}) {
                    if (auto* p = qobject_cast<PulsanteWidget*>(w.get()))
                        p->imposta_valore_silenzioso(acceso);
                    if (auto* n = qobject_cast<NumericoWidget*>(w.get()))
                        n->imposta_valore(acceso ? -1234.5 : 7);
                    w->setEnabled(!acceso);
                    QCOMPARE(disegno(*w, m).size(), m);
                }
            }
        }
    }

    void suono_una_raffica_diventa_un_tono() {
        SuonoQt s;
        for (int i = 0; i < 1000; ++i)
            s.beep();
        QTest::qWait(100);
        const int dati = s.toni() + s.beep_di_sistema();
        QVERIFY2(dati >= 1 && dati <= 5,
                 qPrintable(QStringLiteral("%1 sounds for one burst").arg(dati)));
        if (!s.audio_disponibile()) QCOMPARE(s.toni(), 0);
        // Once the tone is over the next peak is heard again.
        QTRY_VERIFY_WITH_TIMEOUT((s.beep(), s.toni() + s.beep_di_sistema() > dati), 5000);

        // Odd settings, and destruction while a tone sounds.
        for (auto [f, d] : {std::pair{0, 0}, {-5, -5}, {20000, 1}, {440, 100000}}) {
            auto altro = std::make_unique<SuonoQt>(nullptr, f, d);
            altro->beep();
            QCOMPARE(altro->toni() + altro->beep_di_sistema(), 1);
        }
        QTest::qWait(20);
    }
};

QTEST_MAIN(TestIndicatori)
#include "test_indicatori.moc"
