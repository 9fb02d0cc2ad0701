#include "grafico_widget.h"

#include "asse_memorizzato.h"
#include "colori.h"
#include "cursori_grafico.h"
#include "grafico_tagliato.h"
#include "inviluppo_grafico.h"
#include "orologio_fotogrammi.h"
#include "piano_opaco.h"
#include "puntatore_grafico.h"
#include "stile_grafico.h"
#include "storico_grafico.h"

#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>

namespace vexa {

namespace {

// If nothing runs the event loop, the pending points must not grow forever.
constexpr std::size_t MASSIMO_IN_ATTESA = 1 << 16;

struct DefAsse {
    const char* nome;
    const char* didascalia;
    double minimo, massimo;
};

struct DefPlot {
    const char* nome;
    int asse; // y axis by number
    QColor colore;
    double spessore;
    TrattoPlot tratto;
};

// The axes by number: 1 is always the x axis, 2 the first y axis (the one
// cursors and the velocity slide read), the others come after it.
const DefAsse ASSI_TEMPO[] = {
    {"X_tempo", "Tempo (s)", 0, 10},
    {"Y_velocita", "Vel (mm/sec)", -2000, 2000},
    {"Y_spostamento", "Spostamento (mm)", 0, 1000},
    {"Y_acc", "Acc", -50, 50},
};
// Plots 2 to 4 are slots the analysis does not fill; they keep their numbers so
// acceleration stays 5 and position 6.
const DefPlot PLOT_TEMPO[] = {
    {"velocita", 2, {20, 60, 220}, 2, TrattoPlot::linea},
    {"plot_2", 2, {150, 90, 200}, 1, TrattoPlot::linea},
    {"plot_3", 2, {0, 150, 160}, 1, TrattoPlot::linea},
    {"plot_4", 2, {120, 120, 120}, 1, TrattoPlot::linea},
    {"accelerazione", 4, {240, 140, 0}, 1, TrattoPlot::linea},
    {"spostamento", 3, {0, 160, 60}, 2, TrattoPlot::linea},
};
const DefCursore CURSORI_TEMPO[] = {{"Cursor_1", {200, 0, 0}}, {"Cursor_2", {160, 0, 160}}};

const DefAsse ASSI_RIPETIZIONI[] = {
    {"XAxis", "N° Ripetizioni", -0.5, 10.5},
    {"Y_durata", "Tempo (Sec)", 0, 3},
    {"Y_velocita", "V media (mm/s)", 0, 1500},
};
// One point per repetition: markers, so the first repetition shows on its own.
const DefPlot PLOT_RIPETIZIONI[] = {
    {"durata", 2, {230, 120, 0}, 2, TrattoPlot::linea_punti},
    {"velocita_media", 3, {20, 60, 220}, 2, TrattoPlot::linea_punti},
};
const DefCursore CURSORI_RIPETIZIONI[] = {{"Cursore_ampiezze", {90, 90, 90}}};

const char* nome_tipo(GraficoWidget::Tipo t) { return t == GraficoWidget::Tipo::Tempo ? "tempo" : "ripetizioni"; }

// Copies into a plot's container what a move changed in the points it shows,
// so a frame costs what arrived, not the whole curve.
void rispecchia(QCPGraphDataContainer& specchio, const StoricoGrafico::Punti& punti, StoricoGrafico::Cambiamento c) {
    if (c.tolti > 0) {
        if (c.nuovi_da == 0)
            specchio.clear();
        else
            specchio.removeBefore(punti.front().x); // the points gone all lie before the first one kept
    }
    // One by one, each after the last, as in the history: the plot's own batch
    // add would put a batch whose x all equal its first point's in front.
    for (auto it = punti.begin() + static_cast<std::ptrdiff_t>(c.nuovi_da); it != punti.end(); ++it)
        specchio.add(QCPGraphData(it->x, it->y));
}

} // namespace

struct GraficoWidget::Impl {
    struct Plot {
        StoricoGrafico punti;
        // Mirrors of the history's full-resolution and thinned points; the
        // thinned one on the time graph only.
        QCPGraph* pieno = nullptr;
        QCPGraph* diradato = nullptr;
        double ultima_x = 0;
        TrattoPlot tratto = TrattoPlot::linea;
        // Time graph: what a pixel column can show of the curve, drawn
        // instead of the mirrors while the view holds many points a column.
        GraficoTagliato* inviluppo = nullptr;
        InviluppoGrafico inv = {};
        bool attivo = false;
        unsigned long versione_scritta = ULONG_MAX;
    };
    struct Asse {
        std::string nome;
        QCPAxis* qcp = nullptr;
    };

    GraficoWidget* w;
    int indice;
    Tipo tipo;
    QCustomPlot* qcp = nullptr;
    std::vector<Asse> assi;
    std::vector<Plot> plot;
    std::optional<CursoriGrafico> cursori;
    std::optional<PuntatoreGrafico> puntatore;

    OrologioFotogrammi orologio{[this] { fotogramma(); }};
    bool ridisegno_richiesto = false;
    long ridisegni = 0;
    long accodati = 0;
    double x_riga = -1;

    bool segue = true;
    mutable std::string errore_stile;

    // The envelopes' columns, one a pixel wide, on a grid fixed where the
    // view was when the span or the plot's width last changed.
    bool inviluppi_permessi = true;
    double griglia_origine = 0, griglia_passo = 0;
    int griglia_larghezza = 0;
    std::vector<Punto> appoggio_inviluppo;
    MemoriaCurve memoria_inviluppi;
    QVector<QCPGraphData> dati_inviluppo;

    Impl(GraficoWidget* widget, int i, Tipo t) : w(widget), indice(i), tipo(t) {}

    // Both follow: after the eleventh repetition the newest point would
    // otherwise fall off the repetitions graph.
    bool segue_predefinito() const { return true; }
    // Repetition points sit half a step inside the edges, so their markers show whole.
    double margine_x() const { return tipo == Tipo::Ripetizioni ? 0.5 : 0.0; }

    Plot* plot_n(int p) {
        return p >= 1 && p <= static_cast<int>(plot.size()) ? &plot[static_cast<std::size_t>(p - 1)] : nullptr;
    }
    const Plot* plot_n(int p) const { return const_cast<Impl*>(this)->plot_n(p); }
    QCPAxis* asse_n(int a) const {
        return a >= 1 && a <= static_cast<int>(assi.size()) ? assi[static_cast<std::size_t>(a - 1)].qcp : nullptr;
    }
    QCPAxis* asse_x() const { return assi[0].qcp; }
    QCPAxis* asse_y() const { return assi[1].qcp; }

    void costruisci();
    void applica_aspetto(Plot& p, const QPen& penna, TrattoPlot t);

    void richiedi_ridisegno() {
        ridisegno_richiesto = true;
        orologio.avvia();
    }

    void accoda_punto(Plot& p, double x, double y) {
        if (!p.punti.accoda(x, y)) return;
        ++accodati;
        p.ultima_x = x;
        if (p.punti.in_attesa() >= MASSIMO_IN_ATTESA) sposta_in_attesa();
        orologio.avvia();
    }

    bool sposta_in_attesa();
    void segui(double x_nuova);
    bool inviluppo_attivo() const {
        return std::any_of(plot.begin(), plot.end(), [](const Plot& p) { return p.attivo; });
    }
    void aggiorna_inviluppi();
    void aggiorna_inviluppo(Plot& p, const QCPRange& r, bool nuova_griglia);
    void scrivi_inviluppo(Plot& p);
    void mostra_inviluppo(Plot& p, bool si);
    void fotogramma() {
        const bool nuovi = sposta_in_attesa();
        if (nuovi || ridisegno_richiesto) {
            ridisegno_richiesto = false;
            orologio.misura([this] { qcp->replot(QCustomPlot::rpImmediateRefresh); });
        }
    }

    void colloca_cursore(int c, double x, double y) {
        cursori->colloca(c, x, y);
        richiedi_ridisegno(); // a cursor moved: on the next frame
    }

    StileGrafico stile() const;
    void applica_stile(const StileGrafico& s);
};

void GraficoWidget::Impl::costruisci() {
    const bool tempo = tipo == Tipo::Tempo;
    // No legend is shown; its items would still be measured at every frame.
    qcp->setAutoAddPlottableToLegend(false);
    QCPAxisRect* rett = qcp->axisRect();

    // Read from two metres away: large ticks, bold captions.
    QFont tacche = w->font();
    tacche.setPointSize(11);
    QFont etichette = tacche;
    etichette.setBold(true);

    const DefAsse* def_assi = tempo ? ASSI_TEMPO : ASSI_RIPETIZIONI;
    const std::size_t n_assi = tempo ? std::size(ASSI_TEMPO) : std::size(ASSI_RIPETIZIONI);
    // The vertical axes stand still while the view scrolls: they keep their
    // pictures; every axis keeps its ticks while its range stands.
    for (QCPAxis** a : {&qcp->xAxis, &qcp->yAxis, &qcp->xAxis2, &qcp->yAxis2}) AsseMemorizzato::sostituisci(rett, *a);
    std::vector<QCPAxis*> qa{qcp->xAxis, qcp->yAxis, qcp->yAxis2};
    if (tempo) qa.push_back(rett->addAxis(QCPAxis::atRight, new AsseMemorizzato(rett, QCPAxis::atRight)));
    qcp->yAxis2->setVisible(true);
    for (std::size_t i = 0; i < n_assi; ++i) {
        QCPAxis* a = qa[i];
        a->setLabel(QString::fromUtf8(def_assi[i].didascalia));
        a->setRange(def_assi[i].minimo, def_assi[i].massimo);
        a->setTickLabelFont(tacche);
        a->setLabelFont(etichette);
        assi.push_back({def_assi[i].nome, a});
    }
    if (!tempo) {
        // Repetitions are whole numbers.
        QSharedPointer<QCPAxisTickerFixed> interi(new TaccheMemorizzate<QCPAxisTickerFixed>);
        interi->setTickStep(1);
        interi->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
        asse_x()->setTicker(interi);
    }

    QList<QCPAxis*> verticali;
    for (std::size_t i = 1; i < assi.size(); ++i) verticali << assi[i].qcp;
    rett->setRangeZoomAxes({asse_x()}, verticali);
    rett->setRangeDragAxes({asse_x()}, verticali);

    const DefPlot* def_plot = tempo ? PLOT_TEMPO : PLOT_RIPETIZIONI;
    const std::size_t n_plot = tempo ? std::size(PLOT_TEMPO) : std::size(PLOT_RIPETIZIONI);
    for (std::size_t i = 0; i < n_plot; ++i) {
        const DefPlot& d = def_plot[i];
        Plot& p = plot.emplace_back(Plot{StoricoGrafico(tempo)});
        p.pieno = new GraficoTagliato(asse_x(), asse_n(d.asse));
        p.pieno->setName(QString::fromUtf8(d.nome));
    }
    // Added after every full-resolution graph, so graph(i) stays plot i + 1.
    if (tempo) {
        for (std::size_t i = 0; i < n_plot; ++i) {
            Plot& p = plot[i];
            p.diradato = new GraficoTagliato(asse_x(), p.pieno->valueAxis());
            p.diradato->setName(p.pieno->name() + QLatin1String("_storico"));
        }
        for (std::size_t i = 0; i < n_plot; ++i) {
            Plot& p = plot[i];
            p.inviluppo = new GraficoTagliato(asse_x(), p.pieno->valueAxis());
            p.inviluppo->setName(p.pieno->name() + QLatin1String("_inviluppo"));
            p.inviluppo->setVisible(false);
            p.inviluppo->imposta_memoria(&memoria_inviluppi);
        }
    }
    for (std::size_t i = 0; i < n_plot; ++i) {
        const DefPlot& d = def_plot[i];
        applica_aspetto(plot[i], QPen(d.colore, d.spessore), d.tratto);
    }
    // Hundreds of thousands of points: antialiasing would cost more than it shows.
    if (tempo) qcp->setNotAntialiasedElements(QCP::aePlottables);
    qcp->setNoAntialiasingOnDrag(true);

    // The readouts, bold like the captions, change with every cursor move.
    QFont letture = w->font();
    letture.setPointSize(11);
    letture.setBold(true);
    if (tempo)
        cursori.emplace(qcp, asse_x(), asse_y(), CURSORI_TEMPO, std::size(CURSORI_TEMPO), letture);
    else
        cursori.emplace(qcp, asse_x(), asse_y(), CURSORI_RIPETIZIONI, std::size(CURSORI_RIPETIZIONI), letture);
}

void GraficoWidget::Impl::applica_aspetto(Plot& p, const QPen& penna, TrattoPlot t) {
    p.tratto = t;
    const bool linea = t == TrattoPlot::linea || t == TrattoPlot::linea_punti;
    const bool punti = t == TrattoPlot::punti || t == TrattoPlot::linea_punti;
    for (QCPGraph* g : {p.pieno, p.diradato, static_cast<QCPGraph*>(p.inviluppo)}) {
        if (!g) continue;
        g->setPen(penna);
        g->setLineStyle(linea ? QCPGraph::lsLine : QCPGraph::lsNone);
        g->setScatterStyle(punti ? QCPScatterStyle(QCPScatterStyle::ssDisc, 7) : QCPScatterStyle());
    }
}

bool GraficoWidget::Impl::sposta_in_attesa() {
    bool nuovi = false;
    double x_nuova = -std::numeric_limits<double>::infinity();
    for (Plot& p : plot) {
        if (p.punti.in_attesa() == 0) continue;
        if (p.attivo) {
            for (const Punto& q : p.punti.attesa()) p.inv.aggiungi(q.x, q.y);
            // With nothing drawn for a long while, the columns left of a
            // following view must not pile up.
            const long tenute = 4L * griglia_larghezza + 64;
            if (static_cast<long>(p.inv.colonne()) > tenute)
                p.inv.togli_prima_di(p.inv.prima() + static_cast<long>(p.inv.colonne()) - tenute / 2);
        }
        const StoricoGrafico::Cambiamenti c = p.punti.sposta_in_attesa();
        rispecchia(*p.pieno->data(), p.punti.pieni(), c.pieni);
        if (p.diradato) rispecchia(*p.diradato->data(), p.punti.diradati(), c.diradati);
        x_nuova = std::max(x_nuova, p.punti.pieni().back().x);
        nuovi = true;
    }
    if (nuovi) segui(x_nuova);
    return nuovi;
}

void GraficoWidget::Impl::segui(double x_nuova) {
    if (!segue) return;
    QCPAxis* x = asse_x();
    const QCPRange r = x->range();
    const double fine = x_nuova + margine_x();
    if (!(fine > r.upper)) return;
    double inizio = fine - r.size();
    // While envelopes are drawn the view moves by whole columns of their
    // grid, so they only gain columns on the right and lose them on the left;
    // the newest point stays within a pixel of the edge.
    if (griglia_passo > 0 && inviluppo_attivo())
        inizio = griglia_origine + std::ceil((inizio - griglia_origine) / griglia_passo) * griglia_passo;
    x->setRange(inizio, inizio + r.size());
}

void GraficoWidget::Impl::aggiorna_inviluppi() {
    if (tipo != Tipo::Tempo) return;
    const QCPRange r = asse_x()->range();
    const int larghezza = qcp->axisRect()->width();
    const double passo = larghezza >= 2 && inviluppi_permessi ? r.size() / larghezza : 0;
    bool nuova = !(griglia_passo > 0) || larghezza != griglia_larghezza ||
                 std::abs(passo - griglia_passo) > 1e-9 * griglia_passo;
    if (!nuova) {
        const double q = (r.lower - griglia_origine) / griglia_passo;
        nuova = std::abs(q - std::round(q)) > 1e-6;
    }
    if (nuova) {
        griglia_origine = r.lower;
        griglia_passo = std::isfinite(passo) ? passo : 0;
        griglia_larghezza = larghezza;
    }
    for (Plot& p : plot) aggiorna_inviluppo(p, r, nuova);
}

void GraficoWidget::Impl::aggiorna_inviluppo(Plot& p, const QCPRange& r, bool nuova_griglia) {
    if (!p.inviluppo) return;
    // Markers stand for every point: they are drawn as they are.
    bool usa = griglia_passo > 0 && p.tratto == TrattoPlot::linea;
    if (usa) {
        // Zoomed in to a few points a column, the points themselves; the gap
        // between the two thresholds keeps a view near them from switching
        // every frame.
        const std::size_t soglia = static_cast<std::size_t>(griglia_larghezza) * (p.attivo ? 2 : 4);
        usa = p.punti.quanti_tra(r.lower, r.upper) > soglia;
    }
    if (!usa) {
        if (p.attivo) mostra_inviluppo(p, false);
        return;
    }
    InviluppoGrafico& inv = p.inv;
    const auto colonna = [this](double x) {
        return static_cast<long>(std::clamp(std::floor((x - griglia_origine) / griglia_passo), -1e15, 1e15));
    };
    // One column beyond each edge: the line comes in from the point before it.
    const long k_lo = colonna(r.lower) - 1, k_hi = colonna(r.upper) + 1;
    // Following, the columns on the right fill as the points arrive.
    const long ultima = segue ? LONG_MAX : k_hi;
    if (!nuova_griglia && p.attivo && inv.valido() && k_lo >= inv.prima() && inv.mancante_da() > k_hi) {
        inv.togli_prima_di(k_lo);
        inv.imposta_ultima(ultima);
    } else {
        // Built again from the points in view, once per change of span or size.
        inv.ricomincia(griglia_origine, griglia_passo, k_lo, ultima);
        const double da = griglia_origine + static_cast<double>(k_lo) * griglia_passo;
        const double a = segue ? std::numeric_limits<double>::infinity()
                               : griglia_origine + static_cast<double>(k_hi + 1) * griglia_passo;
        for (const StoricoGrafico::Punti* parte : {&p.punti.diradati(), &p.punti.pieni()}) {
            auto it = std::lower_bound(parte->begin(), parte->end(), Punto{da, 0},
                                       [](const Punto& u, const Punto& v) { return u.x < v.x; });
            for (; it != parte->end() && it->x < a; ++it) inv.aggiungi(it->x, it->y);
        }
    }
    if (!p.attivo) mostra_inviluppo(p, true);
    scrivi_inviluppo(p);
}

void GraficoWidget::Impl::scrivi_inviluppo(Plot& p) {
    if (p.inv.versione() == p.versione_scritta) return;
    p.versione_scritta = p.inv.versione();
    p.inv.punti(appoggio_inviluppo);
    dati_inviluppo.resize(static_cast<qsizetype>(appoggio_inviluppo.size()));
    for (std::size_t i = 0; i < appoggio_inviluppo.size(); ++i)
        dati_inviluppo[static_cast<qsizetype>(i)] = QCPGraphData(appoggio_inviluppo[i].x, appoggio_inviluppo[i].y);
    p.inviluppo->data()->set(dati_inviluppo, true);
}

void GraficoWidget::Impl::mostra_inviluppo(Plot& p, bool si) {
    p.attivo = si;
    p.inviluppo->setVisible(si);
    p.pieno->setVisible(!si);
    if (p.diradato) p.diradato->setVisible(!si);
    if (!si) {
        p.inv.svuota();
        p.inviluppo->data()->clear();
        p.versione_scritta = ULONG_MAX;
    }
}

GraficoWidget::GraficoWidget(int indice, Tipo tipo, QWidget* parent)
    : QWidget(parent), d_(std::make_unique<Impl>(this, indice, tipo)) {
    auto* strati = new QVBoxLayout(this);
    strati->setContentsMargins(0, 0, 0, 0);
    d_->qcp = new PianoOpaco(this);
    strati->addWidget(d_->qcp);
    d_->segue = d_->segue_predefinito();
    d_->costruisci();
    d_->puntatore.emplace(d_->qcp, d_->asse_x(), d_->asse_y(), *d_->cursori,
                          PuntatoreGrafico::Azioni{
                              [this](int c, double x, double y) { trascina_cursore(c, x, y); },
                              [this] {
                                  if (su_click) su_click(d_->indice);
                              },
                              [this] { d_->segue = false; },
                          });

    connect(d_->qcp, &QCustomPlot::afterReplot, this, [this] { ++d_->ridisegni; });
    // Once the plot knows its size and span, just before it draws.
    connect(d_->qcp, &QCustomPlot::afterLayout, this, [this] { d_->aggiorna_inviluppi(); });
}

GraficoWidget::~GraficoWidget() {
    // The plot goes first, while the state its signals reach still exists.
    d_->orologio.ferma();
    delete d_->qcp;
}

int GraficoWidget::indice() const { return d_->indice; }
GraficoWidget::Tipo GraficoWidget::tipo() const { return d_->tipo; }

void GraficoWidget::accoda(int plot, double y, double incremento_x) {
    if (Impl::Plot* p = d_->plot_n(plot)) d_->accoda_punto(*p, p->ultima_x + incremento_x, y);
}

void GraficoWidget::accoda_riga(const float* valori, std::size_t n, double incremento_x) {
    if (!valori) return;
    const double x = d_->x_riga + incremento_x;
    if (!std::isfinite(x)) return;
    d_->x_riga = x;
    const std::size_t m = std::min(n, d_->plot.size());
    for (std::size_t i = 0; i < m; ++i) d_->accoda_punto(d_->plot[i], x, static_cast<double>(valori[i]));
}

void GraficoWidget::cancella_dati() {
    for (Impl::Plot& p : d_->plot) {
        p.punti.cancella();
        p.ultima_x = 0;
        p.pieno->data()->clear();
        if (p.diradato) p.diradato->data()->clear();
        if (p.attivo) d_->mostra_inviluppo(p, false);
    }
    d_->x_riga = -1;
    d_->segue = d_->segue_predefinito();
    if (d_->segue) {
        // The new trial starts at x 0; a view left at the end of the last one
        // would only catch up when the data reached it.
        QCPAxis* x = d_->asse_x();
        x->setRange(-d_->margine_x(), x->range().size() - d_->margine_x());
    }
    d_->richiedi_ridisegno();
}

void GraficoWidget::aggiorna() {
    d_->sposta_in_attesa();
    d_->richiedi_ridisegno();
}

bool GraficoWidget::visibile() const { return !isHidden(); }

int GraficoWidget::cursore_per_nome(const std::string& nome) const { return d_->cursori->per_nome(nome); }
double GraficoWidget::cursore_x(int cursore) const { return d_->cursori->x(cursore); }
double GraficoWidget::cursore_y(int cursore) const { return d_->cursori->y(cursore); }

void GraficoWidget::imposta_cursore_x(int cursore, double x) {
    if (!d_->cursori->esiste(cursore) || !std::isfinite(x)) return;
    // The analysis moves cursors onto points it has just appended.
    if (d_->sposta_in_attesa()) d_->richiedi_ridisegno();
    // y follows plot 1 at the nearest x; without data it stays.
    const std::optional<Punto> v = d_->plot.front().punti.piu_vicino(x);
    d_->colloca_cursore(cursore, x, v ? v->y : d_->cursori->y(cursore));
}

void GraficoWidget::trascina_cursore(int cursore, double x, double y) {
    if (!d_->cursori->esiste(cursore) || !std::isfinite(x) || !std::isfinite(y)) return;
    d_->colloca_cursore(cursore, x, y);
    if (su_cambio_cursore) su_cambio_cursore(d_->indice, cursore, x, y);
}

int GraficoWidget::numero_assi() const { return static_cast<int>(d_->assi.size()); }

int GraficoWidget::asse_per_nome(const std::string& nome) const {
    for (std::size_t i = 0; i < d_->assi.size(); ++i)
        if (d_->assi[i].nome == nome) return static_cast<int>(i) + 1;
    return 0;
}

std::string GraficoWidget::didascalia_asse(int asse) const {
    QCPAxis* a = d_->asse_n(asse);
    return a ? a->label().toStdString() : std::string();
}

void GraficoWidget::imposta_didascalia_asse(int asse, const std::string& testo) {
    if (QCPAxis* a = d_->asse_n(asse)) {
        a->setLabel(QString::fromStdString(testo));
        d_->richiedi_ridisegno();
    }
}

double GraficoWidget::minimo_asse(int asse) const {
    QCPAxis* a = d_->asse_n(asse);
    return a ? a->range().lower : 0.0;
}

double GraficoWidget::massimo_asse(int asse) const {
    QCPAxis* a = d_->asse_n(asse);
    return a ? a->range().upper : 0.0;
}

void GraficoWidget::imposta_intervallo_asse(int asse, double minimo, double massimo) {
    if (QCPAxis* a = d_->asse_n(asse)) {
        a->setRange(minimo, massimo); // an invalid range is refused by the axis
        d_->richiedi_ridisegno();
    }
}

void GraficoWidget::imposta_annotazione(int annotazione, const std::string& testo) {
    if (d_->cursori->imposta_lettura(annotazione, QString::fromStdString(testo)))
        d_->richiedi_ridisegno(); // a cursor moved: on the next frame
}

std::string GraficoWidget::testo_annotazione(int annotazione) const {
    return d_->cursori->lettura(annotazione).toStdString();
}

int GraficoWidget::modo_puntatore() const { return d_->puntatore->modo(); }
void GraficoWidget::imposta_modo_puntatore(int modo) { d_->puntatore->imposta_modo(modo); }

std::vector<std::pair<double, double>> GraficoWidget::punti(int plot) const {
    std::vector<std::pair<double, double>> r;
    const Impl::Plot* p = d_->plot_n(plot);
    if (!p) return r;
    r.reserve(p->punti.dimensione());
    for (const StoricoGrafico::Punti* parte : {&p->punti.diradati(), &p->punti.pieni()})
        for (const Punto& q : *parte) r.emplace_back(q.x, q.y);
    return r;
}

std::size_t GraficoWidget::punti_in_attesa() const {
    std::size_t n = 0;
    for (const Impl::Plot& p : d_->plot) n += p.punti.in_attesa();
    return n;
}

void GraficoWidget::svuota_in_attesa() {
    if (d_->sposta_in_attesa()) d_->richiedi_ridisegno();
}

long GraficoWidget::punti_accodati() const { return d_->accodati; }

void GraficoWidget::fotogramma() { d_->fotogramma(); }

int GraficoWidget::intervallo_fotogramma_ms() const { return d_->orologio.intervallo_ms(); }

long GraficoWidget::ridisegni() const { return d_->ridisegni; }

void GraficoWidget::imposta_limite_storico(const LimiteStorico& l) {
    for (Impl::Plot& p : d_->plot) p.punti.imposta_limite(l);
}

GraficoWidget::LimiteStorico GraficoWidget::limite_storico() const { return d_->plot.front().punti.limite(); }

void GraficoWidget::imposta_inviluppi(bool si) {
    d_->inviluppi_permessi = si;
    d_->richiedi_ridisegno();
}

bool GraficoWidget::inviluppi() const { return d_->inviluppi_permessi; }

bool GraficoWidget::segue_dati() const { return d_->segue; }
void GraficoWidget::imposta_segue_dati(bool segue) { d_->segue = segue; }

QCustomPlot* GraficoWidget::plot_qcp() const { return d_->qcp; }

// --- style files

StileGrafico GraficoWidget::Impl::stile() const {
    StileGrafico s;
    s.tipo = QLatin1String(nome_tipo(tipo));
    s.modo_puntatore = puntatore->modo();
    s.segue_dati = segue;
    for (const Asse& a : assi)
        s.assi.push_back({QString::fromStdString(a.nome), a.qcp->label(), a.qcp->range().lower, a.qcp->range().upper});
    for (const Plot& p : plot)
        s.plot.push_back({p.pieno->name(), bgr_da_colore(p.pieno->pen().color()), p.pieno->pen().widthF(), p.tratto});
    return s;
}

void GraficoWidget::Impl::applica_stile(const StileGrafico& s) {
    for (std::size_t i = 0; i < assi.size(); ++i) {
        const QCPRange r(s.assi[i].minimo, s.assi[i].massimo);
        assi[i].qcp->setLabel(s.assi[i].didascalia);
        if (assi[i].qcp->range() != r) assi[i].qcp->setRange(r);
    }
    for (std::size_t i = 0; i < plot.size(); ++i) {
        QPen penna = plot[i].pieno->pen();
        penna.setColor(colore_da_bgr(s.plot[i].colore));
        penna.setWidthF(s.plot[i].spessore);
        applica_aspetto(plot[i], penna, s.plot[i].tratto);
    }
    if (s.modo_puntatore != puntatore->modo()) puntatore->imposta_modo(s.modo_puntatore);
    segue = s.segue_dati;
    richiedi_ridisegno();
}

bool GraficoWidget::esporta_stile(const std::string& percorso) const {
    QString errore;
    if (!scrivi_file_stile(QString::fromStdString(percorso), d_->stile(), errore)) {
        d_->errore_stile = errore.toStdString();
        return false;
    }
    return true;
}

bool GraficoWidget::importa_stile(const std::string& percorso) {
    QString errore;
    const std::optional<StileGrafico> s =
        leggi_file_stile(QString::fromStdString(percorso), d_->stile(), &QCPRange::validRange, errore);
    if (!s) {
        d_->errore_stile = errore.toStdString();
        return false;
    }
    d_->applica_stile(*s);
    d_->errore_stile.clear();
    return true;
}

std::string GraficoWidget::ultimo_errore_stile() const { return d_->errore_stile; }

} // namespace vexa
