#include "frm_edit_grafici.h"

#include "servizi_widget.h"
#include "frm_grafici.h"
#include "grafico_widget.h"
#include "indicatori.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vexa {

// ---------------------------------------------------------------- ScalaEtichettata

namespace {

constexpr int RIGHE_ETICHETTE = 2; // "Cursor Measurements" wraps under a narrow window

} // namespace

ScalaEtichettata::ScalaEtichettata(QWidget* parent) : QWidget(parent) {
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(2);
    didascalia_ = new QLabel(this);
    QFont f = didascalia_->font();
    f.setBold(true);
    didascalia_->setFont(f);
    didascalia_->hide();
    l->addWidget(didascalia_);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(1);
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    l->addWidget(slider_);
    connect(slider_, &QSlider::valueChanged, this, [this](int v) {
        if (!silenzio_ && su_cambio_valore) su_cambio_valore(v);
    });
    aggiorna_spazio();
}

QString ScalaEtichettata::didascalia() const { return didascalia_->text(); }

void ScalaEtichettata::imposta_didascalia(const QString& testo) {
    didascalia_->setText(testo);
    didascalia_->setVisible(!testo.isEmpty());
}

void ScalaEtichettata::imposta_posizioni(int minimo, int massimo, const QStringList& etichette) {
    silenzio_ = true;
    slider_->setRange(minimo, std::max(minimo, massimo));
    silenzio_ = false;
    etichette_ = etichette;
    aggiorna_spazio();
    update();
}

QStringList ScalaEtichettata::etichette() const { return etichette_; }
int ScalaEtichettata::minimo() const { return slider_->minimum(); }
int ScalaEtichettata::massimo() const { return slider_->maximum(); }
int ScalaEtichettata::valore() const { return slider_->value(); }

void ScalaEtichettata::imposta_valore(int v) { slider_->setValue(v); }

void ScalaEtichettata::imposta_valore_silenzioso(int v) {
    silenzio_ = true;
    slider_->setValue(v);
    silenzio_ = false;
}

void ScalaEtichettata::aggiorna_spazio() {
    const QFontMetrics fm(font());
    // Room under the slide for the labels, and enough width that no two collide.
    int parola = 0;
    for (const QString& e : etichette_)
        for (const QString& p : e.split(u' ', Qt::SkipEmptyParts)) parola = std::max(parola, fm.horizontalAdvance(p));
    const bool con_etichette = parola > 0;
    layout()->setContentsMargins(0, 0, 0, con_etichette ? RIGHE_ETICHETTE * fm.height() + 4 : 0);
    const int posizioni = slider_->maximum() - slider_->minimum() + 1;
    setMinimumWidth(con_etichette ? posizioni * (parola + 8) : 0);
}

void ScalaEtichettata::paintEvent(QPaintEvent*) {
    if (etichette_.isEmpty()) return;
    QStyleOptionSlider opt;
    opt.initFrom(slider_);
    opt.orientation = Qt::Horizontal;
    opt.minimum = slider_->minimum();
    opt.maximum = slider_->maximum();
    opt.sliderPosition = opt.sliderValue = slider_->value();
    opt.singleStep = slider_->singleStep();
    opt.pageStep = slider_->pageStep();
    opt.tickPosition = slider_->tickPosition();
    opt.tickInterval = slider_->tickInterval();
    opt.subControls = QStyle::SC_All;
    QStyle* st = slider_->style();
    const QRect solco = st->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, slider_);
    const QRect maniglia = st->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider_);
    const int lunghezza = maniglia.width();
    const int corsa = std::max(1, solco.width() - lunghezza);
    const int posizioni = opt.maximum - opt.minimum + 1;
    const int cella = posizioni > 1 ? std::max(1, corsa / (posizioni - 1)) : width();
    const QRect s = slider_->geometry();

    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const int alto = s.bottom() + 2;
    const int altezza = height() - alto;
    for (int i = 0; i < etichette_.size() && i < posizioni; ++i) {
        if (etichette_[i].isEmpty()) continue;
        const int centro = s.x() + solco.x() +
                           QStyle::sliderPositionFromValue(opt.minimum, opt.maximum, opt.minimum + i, corsa) +
                           lunghezza / 2;
        // Centred under its tick, wrapped where it is wider than the space to
        // the next one, and moved in just enough to stay inside the widget.
        const int larga = std::min(cella, p.fontMetrics().horizontalAdvance(etichette_[i]) + 4);
        const int sinistra = std::clamp(centro - larga / 2, 0, std::max(0, width() - larga));
        p.drawText(QRect(sinistra, alto, larga, altezza), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                   etichette_[i]);
    }
}

// ---------------------------------------------------------------- CampoNumerico

CampoNumerico::CampoNumerico(QWidget* parent) : QDoubleSpinBox(parent) {
    QLocale l = QLocale::system();
    l.setNumberOptions(l.numberOptions() | QLocale::OmitGroupSeparator);
    setLocale(l);
    setGroupSeparatorShown(false);
    setDecimals(9);
    setRange(-1e9, 1e9);
    setAccelerated(true);
}

QString CampoNumerico::textFromValue(double v) const {
    if (v == 0) v = 0; // never "-0"
    QString t = locale().toString(v, 'f', decimals());
    const QString punto = locale().decimalPoint();
    if (t.contains(punto)) {
        while (t.endsWith(u'0')) t.chop(1);
        if (t.endsWith(punto)) t.chop(punto.size());
    }
    return t;
}

// ---------------------------------------------------------------- frm_edit_grafici

namespace {

// GraphMode positions and the pointer modes they set: zoom, pan, cursor
// measurement (twice: the graph moves its cursors the same way in both), plain.
constexpr int MODI[] = {6, 3, 2, 2, 9};

} // namespace

int frm_edit_grafici::modo_di_posizione(int posizione) {
    if (posizione < 0 || posizione >= static_cast<int>(std::size(MODI))) return -1;
    return MODI[posizione];
}

// The editor is a tool window of the main window: the window manager keeps it
// above the main window and its panels, yet a message box or the settings
// window opened later goes above it and keeps the keyboard. Raising itself
// whenever it loses the focus would instead cover those dialogs on X11 and
// fight them for the front.
frm_edit_grafici::frm_edit_grafici(Stato& s, Frm_grafici& g, QWidget* parent)
    : QWidget(parent, Qt::Tool), s_(s), g_(g) {
    setObjectName(QStringLiteral("frm_edit_grafici"));
    setWindowTitle(QStringLiteral("Impostazione Proprietà Grafici"));

    sldTicks = new ScalaEtichettata(this);
    sldTicks->setObjectName(QStringLiteral("sldTicks"));
    sldTicks->imposta_didascalia(QStringLiteral("Grafico"));
    sldTicks->imposta_posizioni(0, 1, {QStringLiteral("Tempo"), QStringLiteral("Ripetizioni")});

    Frame1 = new QGroupBox(QStringLiteral("Edit Axis"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    sldSelectAxis = new ScalaEtichettata(Frame1);
    sldSelectAxis->setObjectName(QStringLiteral("sldSelectAxis"));
    Lbl_asse = new QLabel(Frame1);
    Lbl_asse->setObjectName(QStringLiteral("Lbl_asse"));
    Lbl_asse->setAlignment(Qt::AlignCenter);
    AxisMin = new CampoNumerico(Frame1);
    AxisMin->setObjectName(QStringLiteral("AxisMin"));
    AxisMax = new CampoNumerico(Frame1);
    AxisMax->setObjectName(QStringLiteral("AxisMax"));
    auto* lbl_min = new QLabel(QStringLiteral("Min"), Frame1);
    lbl_min->setBuddy(AxisMin);
    auto* lbl_max = new QLabel(QStringLiteral("Max"), Frame1);
    lbl_max->setBuddy(AxisMax);
    UpdateAxis = new QPushButton(QStringLiteral("Update"), Frame1);
    UpdateAxis->setObjectName(QStringLiteral("UpdateAxis"));
    Cmd_Undo = new QPushButton(QStringLiteral("Cancel"), Frame1);
    Cmd_Undo->setObjectName(QStringLiteral("Cmd_Undo"));

    auto* g1 = new QGridLayout(Frame1);
    g1->addWidget(sldSelectAxis, 0, 0, 1, 4);
    g1->addWidget(Lbl_asse, 1, 0, 1, 4);
    g1->addWidget(lbl_min, 2, 0);
    g1->addWidget(AxisMin, 2, 1);
    g1->addWidget(lbl_max, 2, 2);
    g1->addWidget(AxisMax, 2, 3);
    g1->addWidget(UpdateAxis, 3, 0, 1, 2);
    g1->addWidget(Cmd_Undo, 3, 2, 1, 2);

    Frame2 = new QGroupBox(QStringLiteral("Graph Operations"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    GraphMode = new ScalaEtichettata(Frame2);
    GraphMode->setObjectName(QStringLiteral("GraphMode"));
    GraphMode->imposta_posizioni(0, 4,
                                 {QStringLiteral("Zoom"), QStringLiteral("Pan"), QStringLiteral("Cursor Measurements"),
                                  QStringLiteral("Measure Move"), QString()});
    auto* g2 = new QVBoxLayout(Frame2);
    g2->addWidget(GraphMode);

    auto* principale = new QVBoxLayout(this);
    principale->addWidget(sldTicks);
    principale->addWidget(Frame1);
    principale->addWidget(Frame2);
    principale->setSizeConstraint(QLayout::SetMinimumSize);

    sldTicks->su_cambio_valore = [this](int v) { sldTicks_PointerValueChanged(v); };
    sldSelectAxis->su_cambio_valore = [this](int v) { sldSelectAxis_PointerValueChanged(v); };
    GraphMode->su_cambio_valore = [this](int v) { GraphMode_PointerValueChanged(v); };
    connect(UpdateAxis, &QPushButton::clicked, this, [this] { UpdateAxis_Click(); });
    connect(Cmd_Undo, &QPushButton::clicked, this, [this] { Cmd_Undo_Click(); });

    mostra_messaggio = [this](const QString& testo) {
        // Hidden when the settings window drives it: the box then belongs to the main window.
        QWidget* genitore = isVisible() ? this : parentWidget();
        mostra_messaggio_box(genitore, testo.toStdString(), Icona::Esclamazione, {});
    };

    Sel_Grafico(0);
}

GraficoWidget* frm_edit_grafici::grafico(int indice) const {
    if (indice < 0 || indice >= static_cast<int>(g_.Grafico.size())) return nullptr;
    return g_.Grafico[static_cast<std::size_t>(indice)];
}

void frm_edit_grafici::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    raise();
}

void frm_edit_grafici::apri(int indice) {
    show();
    raise();
    activateWindow();
    Sel_Grafico(static_cast<int16_t>(indice));
}

void frm_edit_grafici::Sel_Grafico(int16_t quale) {
    GraficoWidget* gr = grafico(quale);
    if (!gr) return;
    quale_ = quale;
    // The graph slide follows when a click on a graph chose it.
    sldTicks->imposta_valore_silenzioso(quale);
    const int n = std::max(1, gr->numero_assi());
    QStringList numeri;
    for (int i = 1; i <= n; ++i) numeri << QString::number(i);
    sldSelectAxis->imposta_posizioni(1, n, numeri);
    sldSelectAxis->imposta_valore_silenzioso(1);
    // Range too, not only the caption: "Update" applies what the boxes show,
    // and they must not still hold the other graph's axis.
    mostra_asse(1);
    allinea_modo();
}

void frm_edit_grafici::mostra_asse(int asse) {
    GraficoWidget* gr = grafico(quale_);
    if (!gr || asse < 1 || asse > gr->numero_assi()) return;
    Lbl_asse->setText(QString::fromStdString(gr->didascalia_asse(asse)));
    AxisMin->setValue(gr->minimo_asse(asse));
    AxisMax->setValue(gr->massimo_asse(asse));
}

// GraphMode shows the chosen graph's mode, so that choosing a position always
// changes something. Mode 2 has two positions; the one already shown is kept.
void frm_edit_grafici::allinea_modo() {
    GraficoWidget* gr = grafico(quale_);
    if (!gr) return;
    const int modo = gr->modo_puntatore();
    if (modo_di_posizione(GraphMode->valore()) == modo) return;
    for (int p = 0; p < static_cast<int>(std::size(MODI)); ++p)
        if (MODI[p] == modo) {
            GraphMode->imposta_valore_silenzioso(p);
            return;
        }
}

void frm_edit_grafici::sldTicks_PointerValueChanged(int valore) { Sel_Grafico(static_cast<int16_t>(valore)); }

void frm_edit_grafici::sldSelectAxis_PointerValueChanged(int valore) { mostra_asse(valore); }

void frm_edit_grafici::UpdateAxis_Click() {
    // A number still being typed counts as entered.
    AxisMin->interpretText();
    AxisMax->interpretText();
    const double minimo = AxisMin->value(), massimo = AxisMax->value();
    if (!(massimo > minimo)) {
        mostra_messaggio(QStringLiteral("Il valore Max deve essere maggiore del valore Min: la scala dell'asse "
                                        "non è stata cambiata."));
        return;
    }
    if (!Update_graph(quale_, sldSelectAxis->valore(), minimo, massimo))
        mostra_messaggio(QStringLiteral("L'asse non accetta l'intervallo da %1 a %2: la scala non è stata cambiata.")
                             .arg(AxisMin->text(), AxisMax->text()));
}

void frm_edit_grafici::Cmd_Undo_Click() {
    g_.ripristina_grafico();
    // The boxes show the reloaded range, not the one just abandoned.
    mostra_asse(sldSelectAxis->valore());
    allinea_modo();
}

void frm_edit_grafici::GraphMode_PointerValueChanged(int posizione) {
    const int modo = modo_di_posizione(posizione);
    if (GraficoWidget* gr = grafico(quale_); gr && modo >= 0) gr->imposta_modo_puntatore(modo);
}

bool frm_edit_grafici::Update_graph(int quale_grafico, int Quale_asse, double min, double max) {
    GraficoWidget* gr = grafico(quale_grafico);
    if (!gr || Quale_asse < 1 || Quale_asse > gr->numero_assi()) return false;
    // An empty or reversed range (the settings window sends 0..0 while no
    // maximum velocity is set) keeps the scale the user has.
    if (!std::isfinite(min) || !std::isfinite(max) || !(max > min)) return false;
    gr->imposta_intervallo_asse(Quale_asse, min, max);
    if (gr->minimo_asse(Quale_asse) != min || gr->massimo_asse(Quale_asse) != max) return false;

    const QString percorso = g_.percorso_stile(quale_grafico);
    QString errore;
    if (!gr->esporta_stile(percorso.toStdString())) {
        errore = QString::fromStdString(gr->ultimo_errore_stile());
        if (errore.isEmpty()) errore = QStringLiteral("Impossibile scrivere il file di stile %1").arg(percorso);
    }

    // The range is a velocity: the time graph's velocity axis carries it to
    // the slide and to the repetitions graph, never its position axis.
    const bool velocita = quale_grafico == 0 && Quale_asse == gr->asse_per_nome("Y_velocita");
    int asse_vel_rip = 0;
    if (velocita) {
        // The velocity scales start at 0: a top at or below 0 cannot be one,
        // and the slide and the repetitions graph keep theirs.
        if (max > 0) g_.Slide->imposta_intervallo(0, max);
        // The marks stand where the colours change: the lower one where the
        // red alarm is raised, not at its complement.
        const float segno_sup = s_.limite_sup / 100.0f * s_.vel_max;
        const float segno_inf = s_.limite_inf / 100.0f * s_.vel_max;
        g_.Slide->imposta_segno(1, segno_sup);
        g_.Slide->imposta_segno(2, segno_inf);
        GraficoWidget* rip = grafico(1);
        asse_vel_rip = rip->asse_per_nome("Y_velocita");
        if (max > 0 && asse_vel_rip > 0) rip->imposta_intervallo_asse(asse_vel_rip, 0, max);
    }

    // The boxes follow an axis changed under them, and only then: a range the
    // user is typing for another axis stays.
    const int mostrato = sldSelectAxis->valore();
    if ((quale_ == quale_grafico && mostrato == Quale_asse) || (velocita && quale_ == 1 && mostrato == asse_vel_rip))
        mostra_asse(mostrato);

    if (!errore.isEmpty())
        mostra_messaggio(errore + QStringLiteral("\nLa nuova scala resta sullo schermo, ma al prossimo avvio il "
                                                 "grafico tornerà alle impostazioni salvate in precedenza."));
    return true;
}

} // namespace vexa
