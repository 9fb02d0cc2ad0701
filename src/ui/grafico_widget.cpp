#include "grafico_widget.h"

#include "colori.h"

#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

#include <QElapsedTimer>

namespace vexa {

namespace {

// About 60 frames a second: fast enough to look live, slow enough that a board
// at 8,000 records a second lands in batches of a hundred or more per plot.
constexpr int PERIODO_FOTOGRAMMA_MS = 16;
// A graph's redraws may take at most this share of the UI thread: where one
// costs more (a slow machine, a dense trace at the wire rate) the clock slows
// down, to no fewer than 10 frames a second, instead of the UI falling behind.
constexpr double QUOTA_DISEGNO = 0.08;
constexpr int PERIODO_MASSIMO_MS = 100;
// If nothing runs the event loop, the pending points must not grow forever.
constexpr int MASSIMO_IN_ATTESA = 1 << 16;
// How close to a cursor line (in pixels) a press grabs it.
constexpr double PRESA_CURSORE_PX = 6;
// Movement (manhattan, pixels) that turns a press into a drag rather than a click.
constexpr int SOGLIA_TRASCINAMENTO_PX = 3;

constexpr const char* INTESTAZIONE_STILE = "VEXA-GRAFICO 1";
constexpr const char* FINE_STILE = "fine";
// A style file is a few dozen lines; anything this big is not one.
constexpr qint64 DIMENSIONE_MASSIMA_STILE = 1 << 20;
constexpr double SPESSORE_MASSIMO = 20;

enum class Stile { linea, punti, linea_punti, nessuno };

struct Rgb {
    int r, g, b;
};

struct DefAsse {
    const char* nome;
    const char* didascalia;
    double minimo, massimo;
};

struct DefPlot {
    const char* nome;
    int asse; // y axis by number
    Rgb colore;
    double spessore;
    Stile stile;
};

struct DefCursore {
    const char* nome;
    Rgb colore;
};

// A curve whose lines are cut at the plot's edge before they are drawn. The
// acceleration of a fast stream reaches values a million times its axis; the
// raster engine strokes such a line over its whole imagined length, which cost
// a hundred milliseconds a frame where the visible part costs a fraction of one.
class GraficoTagliato : public QCPGraph {
public:
    using QCPGraph::QCPGraph;

protected:
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& linee) const override {
        // A margin beyond the edge, so the pen's own width is never cut off.
        const QRectF r = clipRect().adjusted(-8, -8, 8, 8);
        const QPointF interruzione(0, qQNaN());
        tagliate_.clear();
        tagliate_.reserve(linee.size() + 16);
        bool aperta = false; // the last point written continues the line
        for (qsizetype i = 1; i < linee.size(); ++i) {
            QPointF a = linee[i - 1], b = linee[i];
            if (qIsNaN(a.y()) || qIsNaN(b.y()) || !taglia(r, a, b)) {
                if (aperta) tagliate_.push_back(interruzione);
                aperta = false;
                continue;
            }
            if (!aperta || tagliate_.back() != a) {
                if (aperta) tagliate_.push_back(interruzione);
                tagliate_.push_back(a);
            }
            tagliate_.push_back(b);
            // A segment cut at its far end does not join the next one.
            aperta = b == linee[i];
            if (!aperta) tagliate_.push_back(interruzione);
        }
        const QPen penna = painter->pen();
        const long larghezza = std::lround(penna.widthF());
        if (larghezza < 2 || larghezza > 3 || penna.style() != Qt::SolidLine ||
            painter->modes().testFlag(QCPPainter::pmVectorized)) {
            QCPGraph::drawLinePlot(painter, tagliate_);
            return;
        }
        // A thick pen goes through Qt's path stroker, which on a dense trace
        // (min and max in every pixel column) costs twenty times the thin line.
        // Thin lines a pixel apart look the same from across the room.
        QPen sottile = penna;
        sottile.setWidthF(1);
        painter->setPen(sottile);
        // Two passes on the diagonal thicken steep and flat strokes alike.
        static constexpr int SPOSTAMENTI[4][2] = {{0, 0}, {1, 1}, {1, 0}, {0, 1}};
        const int passate = larghezza == 2 ? 2 : 4;
        for (int k = 0; k < passate; ++k) {
            painter->save();
            painter->translate(SPOSTAMENTI[k][0], SPOSTAMENTI[k][1]);
            QCPGraph::drawLinePlot(painter, tagliate_);
            painter->restore();
        }
        painter->setPen(penna);
    }

private:
    // Liang-Barsky: what of the segment a-b lies in r; false when nothing.
    static bool taglia(const QRectF& r, QPointF& a, QPointF& b) {
        const double dx = b.x() - a.x(), dy = b.y() - a.y();
        double t0 = 0, t1 = 1;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
        for (int k = 0; k < 4; ++k) {
            if (p[k] == 0) {
                if (q[k] < 0) return false;
                continue;
            }
            const double t = q[k] / p[k];
            if (p[k] < 0) t0 = std::max(t0, t);
            else t1 = std::min(t1, t);
            if (t0 > t1) return false;
        }
        const QPointF inizio = a;
        if (t1 < 1) b = QPointF(inizio.x() + t1 * dx, inizio.y() + t1 * dy);
        if (t0 > 0) a = QPointF(inizio.x() + t0 * dx, inizio.y() + t0 * dy);
        return true;
    }
    mutable QVector<QPointF> tagliate_;
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
    {"velocita", 2, {20, 60, 220}, 2, Stile::linea},
    {"plot_2", 2, {150, 90, 200}, 1, Stile::linea},
    {"plot_3", 2, {0, 150, 160}, 1, Stile::linea},
    {"plot_4", 2, {120, 120, 120}, 1, Stile::linea},
    {"accelerazione", 4, {240, 140, 0}, 1, Stile::linea},
    {"spostamento", 3, {0, 160, 60}, 2, Stile::linea},
};
const DefCursore CURSORI_TEMPO[] = {{"Cursor_1", {200, 0, 0}}, {"Cursor_2", {160, 0, 160}}};

const DefAsse ASSI_RIPETIZIONI[] = {
    {"XAxis", "N° Ripetizioni", -0.5, 10.5},
    {"Y_durata", "Tempo (Sec)", 0, 3},
    {"Y_velocita", "V media (mm/s)", 0, 1500},
};
// One point per repetition: markers, so the first repetition shows on its own.
const DefPlot PLOT_RIPETIZIONI[] = {
    {"durata", 2, {230, 120, 0}, 2, Stile::linea_punti},
    {"velocita_media", 3, {20, 60, 220}, 2, Stile::linea_punti},
};
const DefCursore CURSORI_RIPETIZIONI[] = {{"Cursore_ampiezze", {90, 90, 90}}};

const char* nome_tipo(GraficoWidget::Tipo t) { return t == GraficoWidget::Tipo::Tempo ? "tempo" : "ripetizioni"; }

const char* nome_stile(Stile s) {
    switch (s) {
    case Stile::linea: return "linea";
    case Stile::punti: return "punti";
    case Stile::linea_punti: return "linea_punti";
    case Stile::nessuno: return "nessuno";
    }
    return "linea";
}

std::optional<Stile> stile_da_nome(const QString& n) {
    for (Stile s : {Stile::linea, Stile::punti, Stile::linea_punti, Stile::nessuno})
        if (n == QLatin1String(nome_stile(s))) return s;
    return std::nullopt;
}

bool modo_valido(int m) { return m == 2 || m == 3 || m == 6 || m == 9; }

// Shortest text that reads back to the same double, never in the user's locale.
QString numero(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

std::optional<double> leggi_numero(const QString& s) {
    bool ok = false;
    const double v = s.toDouble(&ok); // always the C locale
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int> leggi_intero(const QString& s) {
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return v;
}

// Captions may hold line breaks; the file keeps one key per line.
QString proteggi(const QString& s) {
    QString r;
    r.reserve(s.size());
    for (QChar c : s) {
        if (c == u'\\')
            r += QLatin1String("\\\\");
        else if (c == u'\n')
            r += QLatin1String("\\n");
        else if (c == u'\r')
            r += QLatin1String("\\r");
        else
            r += c;
    }
    return r;
}

std::optional<QString> sproteggi(const QString& s) {
    QString r;
    r.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'\\') {
            r += s[i];
            continue;
        }
        if (++i == s.size()) return std::nullopt;
        if (s[i] == u'\\')
            r += u'\\';
        else if (s[i] == u'n')
            r += u'\n';
        else if (s[i] == u'r')
            r += u'\r';
        else
            return std::nullopt;
    }
    return r;
}

// Nearest point to x of a sorted container, if it has any.
std::optional<QCPGraphData> piu_vicino(const QCPGraphDataContainer& dati, double x) {
    if (dati.isEmpty()) return std::nullopt;
    auto it = dati.findBegin(x, false);
    if (it == dati.constEnd()) return *(it - 1);
    if (it == dati.constBegin()) return *it;
    auto prima = it - 1;
    return (x - prima->key <= it->key - x) ? *prima : *it;
}

} // namespace

struct GraficoWidget::Impl {
    struct Plot {
        QCPGraph* pieno = nullptr;
        // Min and max per column of what left `pieno`; time graph only.
        QCPGraph* storico = nullptr;
        QVector<QCPGraphData> in_attesa;
        bool in_attesa_ordinati = true;
        double ultima_x = 0;
        Stile stile = Stile::linea;
    };
    struct Asse {
        std::string nome;
        QCPAxis* qcp = nullptr;
    };
    struct Cursore {
        std::string nome;
        double x = 0, y = 0;
        QCPLayer* strato = nullptr;
        QCPItemStraightLine* linea = nullptr;
        QCPItemTracer* segno = nullptr;
    };

    GraficoWidget* w;
    int indice;
    Tipo tipo;
    QCustomPlot* qcp = nullptr;
    std::vector<Asse> assi;
    std::vector<Plot> plot;
    std::vector<Cursore> cursori;
    std::array<QCPItemText*, 2> annotazioni{};
    QCPLayer* strato_annotazioni = nullptr;

    QTimer orologio;
    bool ridisegno_richiesto = false;
    long ridisegni = 0;
    long accodati = 0;
    double x_riga = -1;
    LimiteStorico limite;
    QVector<QCPGraphData> diradati; // reused by every thinning

    bool segue = true;
    int modo = 2;
    mutable std::string errore_stile;

    bool premuto = false;
    bool trascinato = false;
    QPointF pos_pressione;
    int cursore_preso = 0;
    bool puntatore_su_cursore = false;

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
    Cursore* cursore_n(int c) {
        return c >= 1 && c <= static_cast<int>(cursori.size()) ? &cursori[static_cast<std::size_t>(c - 1)] : nullptr;
    }
    const Cursore* cursore_n(int c) const { return const_cast<Impl*>(this)->cursore_n(c); }
    QCPAxis* asse_x() const { return assi[0].qcp; }
    QCPAxis* asse_y() const { return assi[1].qcp; }

    void costruisci();
    void crea_cursori(const DefCursore* def, std::size_t n);
    void crea_annotazioni();
    void applica_aspetto(Plot& p, const QPen& penna, Stile s);
    void applica_modo();

    void avvia_orologio() {
        if (!orologio.isActive()) orologio.start();
    }
    void richiedi_ridisegno() {
        ridisegno_richiesto = true;
        avvia_orologio();
    }
    // Redraws one buffered layer alone; the data layers keep their pixels.
    void ridisegna_strato(QCPLayer* s) {
        if (ridisegni == 0)
            richiedi_ridisegno(); // no paint buffers exist before the first full redraw
        else
            s->replot();
    }

    void accoda_punto(Plot& p, double x, double y) {
        if (!std::isfinite(x)) return;
        if (!p.in_attesa.isEmpty() && x < p.in_attesa.constLast().key) p.in_attesa_ordinati = false;
        p.in_attesa.append(QCPGraphData(x, y));
        ++accodati;
        p.ultima_x = x;
        if (p.in_attesa.size() >= MASSIMO_IN_ATTESA) sposta_in_attesa();
        avvia_orologio();
    }

    bool sposta_in_attesa();
    void limita_storico(Plot& p);
    void segui(double x_nuova);
    void fotogramma() {
        const bool nuovi = sposta_in_attesa();
        if (nuovi || ridisegno_richiesto) {
            ridisegno_richiesto = false;
            // Drawn now, paint included, so the clock knows what a frame costs.
            QElapsedTimer t;
            t.start();
            qcp->replot(QCustomPlot::rpImmediateRefresh);
            regola_ritmo(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
    }
    void regola_ritmo(double ms) {
        costo_ms = costo_ms <= 0 ? ms : 0.8 * costo_ms + 0.2 * ms;
        const long periodo = std::lround(costo_ms / QUOTA_DISEGNO);
        orologio.setInterval(static_cast<int>(std::clamp<long>(periodo, PERIODO_FOTOGRAMMA_MS, PERIODO_MASSIMO_MS)));
    }
    double costo_ms = 0; // smoothed cost of a frame

    void colloca_cursore(Cursore& c) {
        c.linea->point1->setCoords(c.x, 0);
        c.linea->point2->setCoords(c.x, 1);
        c.segno->position->setCoords(c.x, c.y);
        ridisegna_strato(c.strato);
    }
    int cursore_vicino(const QPointF& pos) const;

    void premuta(QMouseEvent* e);
    void mossa(QMouseEvent* e);
    void rilasciata(QMouseEvent* e);

    QString testo_stile() const;
    bool applica_file_stile(const QString& percorso);
};

void GraficoWidget::Impl::costruisci() {
    const bool tempo = tipo == Tipo::Tempo;
    QCPAxisRect* rett = qcp->axisRect();

    // Read from two metres away: large ticks, bold captions.
    QFont tacche = w->font();
    tacche.setPointSize(11);
    QFont etichette = tacche;
    etichette.setBold(true);

    const DefAsse* def_assi = tempo ? ASSI_TEMPO : ASSI_RIPETIZIONI;
    const std::size_t n_assi = tempo ? std::size(ASSI_TEMPO) : std::size(ASSI_RIPETIZIONI);
    std::vector<QCPAxis*> qa{qcp->xAxis, qcp->yAxis, qcp->yAxis2};
    if (tempo) qa.push_back(rett->addAxis(QCPAxis::atRight));
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
        QSharedPointer<QCPAxisTickerFixed> interi(new QCPAxisTickerFixed);
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
    plot.resize(n_plot);
    for (std::size_t i = 0; i < n_plot; ++i) {
        const DefPlot& d = def_plot[i];
        Plot& p = plot[i];
        p.pieno = new GraficoTagliato(asse_x(), asse_n(d.asse));
        p.pieno->setName(QString::fromUtf8(d.nome));
        p.in_attesa.reserve(1024);
    }
    // Added after every full-resolution graph, so graph(i) stays plot i + 1.
    if (tempo) {
        for (std::size_t i = 0; i < n_plot; ++i) {
            Plot& p = plot[i];
            p.storico = new GraficoTagliato(asse_x(), p.pieno->valueAxis());
            p.storico->setName(p.pieno->name() + QLatin1String("_storico"));
        }
    }
    for (std::size_t i = 0; i < n_plot; ++i) {
        const DefPlot& d = def_plot[i];
        applica_aspetto(plot[i], QPen(QColor(d.colore.r, d.colore.g, d.colore.b), d.spessore), d.stile);
    }
    // Hundreds of thousands of points: antialiasing would cost more than it shows.
    if (tempo) qcp->setNotAntialiasedElements(QCP::aePlottables);
    qcp->setNoAntialiasingOnDrag(true);

    if (tempo)
        crea_cursori(CURSORI_TEMPO, std::size(CURSORI_TEMPO));
    else
        crea_cursori(CURSORI_RIPETIZIONI, std::size(CURSORI_RIPETIZIONI));
    crea_annotazioni();
}

void GraficoWidget::Impl::crea_cursori(const DefCursore* def, std::size_t n) {
    // One buffered layer on top for the cursors and their readout: dragging a
    // cursor repaints that layer, not the data. One, not one each: every full
    // redraw clears and composes each buffer, sixty times a second.
    qcp->addLayer(QStringLiteral("cursori"), qcp->layer(QStringLiteral("overlay")), QCustomPlot::limAbove);
    QCPLayer* strato = qcp->layer(QStringLiteral("cursori"));
    strato->setMode(QCPLayer::lmBuffered);
    for (std::size_t i = 0; i < n; ++i) {

        const QColor colore(def[i].colore.r, def[i].colore.g, def[i].colore.b);
        Cursore c;
        c.nome = def[i].nome;
        c.strato = strato;
        c.linea = new QCPItemStraightLine(qcp);
        c.linea->setLayer(strato);
        c.linea->setPen(QPen(colore, 1.5, Qt::DashLine));
        c.linea->setSelectable(false);
        for (QCPItemPosition* p : {c.linea->point1, c.linea->point2}) p->setAxes(asse_x(), asse_y());
        c.segno = new QCPItemTracer(qcp);
        c.segno->setLayer(strato);
        c.segno->setStyle(QCPItemTracer::tsPlus);
        c.segno->setSize(14);
        c.segno->setPen(QPen(colore, 2));
        c.segno->setSelectable(false);
        c.segno->position->setAxes(asse_x(), asse_y());
        cursori.push_back(c);
    }
    for (Cursore& c : cursori) {
        c.linea->point1->setCoords(c.x, 0);
        c.linea->point2->setCoords(c.x, 1);
        c.segno->position->setCoords(c.x, c.y);
    }
}

void GraficoWidget::Impl::crea_annotazioni() {
    // The readouts change with every cursor move: on the cursors' layer.
    strato_annotazioni = qcp->layer(QStringLiteral("cursori"));
    QFont f = w->font();
    f.setPointSize(11);
    f.setBold(true);
    const std::array<std::pair<QPointF, Qt::Alignment>, 2> posti{
        std::pair{QPointF(0.01, 0.01), Qt::AlignLeft | Qt::AlignTop},
        std::pair{QPointF(0.99, 0.01), Qt::AlignRight | Qt::AlignTop},
    };
    for (std::size_t i = 0; i < annotazioni.size(); ++i) {
        auto* t = new QCPItemText(qcp);
        t->setLayer(strato_annotazioni);
        t->position->setType(QCPItemPosition::ptAxisRectRatio);
        t->position->setCoords(posti[i].first);
        t->setPositionAlignment(posti[i].second);
        t->setTextAlignment(Qt::AlignLeft);
        t->setFont(f);
        t->setPadding(QMargins(4, 2, 4, 2));
        t->setText(QString()); // the item's own placeholder would show otherwise
        t->setSelectable(false);
        annotazioni[i] = t;
    }
}

void GraficoWidget::Impl::applica_aspetto(Plot& p, const QPen& penna, Stile s) {
    p.stile = s;
    const bool linea = s == Stile::linea || s == Stile::linea_punti;
    const bool punti = s == Stile::punti || s == Stile::linea_punti;
    for (QCPGraph* g : {p.pieno, p.storico}) {
        if (!g) continue;
        g->setPen(penna);
        g->setLineStyle(linea ? QCPGraph::lsLine : QCPGraph::lsNone);
        g->setScatterStyle(punti ? QCPScatterStyle(QCPScatterStyle::ssDisc, 7) : QCPScatterStyle());
    }
}

void GraficoWidget::Impl::applica_modo() {
    QCP::Interactions interazioni;
    QCP::SelectionRectMode rettangolo = QCP::srmNone;
    if (modo == 6) {
        interazioni = QCP::iRangeZoom;
        rettangolo = QCP::srmZoom;
    } else if (modo == 3) {
        interazioni = QCP::iRangeDrag;
    }
    qcp->setInteractions(interazioni);
    qcp->setSelectionRectMode(rettangolo);
    if (modo != 2 && puntatore_su_cursore) {
        qcp->unsetCursor();
        puntatore_su_cursore = false;
    }
}

bool GraficoWidget::Impl::sposta_in_attesa() {
    bool nuovi = false;
    double x_nuova = -std::numeric_limits<double>::infinity();
    for (Plot& p : plot) {
        if (p.in_attesa.isEmpty()) continue;
        auto dati = p.pieno->data();
        dati->add(p.in_attesa, p.in_attesa_ordinati);
        p.in_attesa.clear(); // keeps its capacity for the next frame
        p.in_attesa_ordinati = true;
        x_nuova = std::max(x_nuova, (dati->constEnd() - 1)->key);
        if (p.storico) limita_storico(p);
        nuovi = true;
    }
    if (nuovi) segui(x_nuova);
    return nuovi;
}

void GraficoWidget::Impl::limita_storico(Plot& p) {
    auto dati = p.pieno->data();
    const auto pieni = static_cast<int>(std::clamp<std::size_t>(limite.punti_pieni, 1, INT_MAX / 2));
    // Thin in chunks, not point by point: each pass costs a scan and an erase.
    const int blocco = std::max(1, pieni / 10);
    const int n = dati->size();
    if (n <= pieni + blocco) return;

    // Cut where a column starts, so each column is thinned once, in one pass;
    // the column the cut falls in waits for the next pass.
    const double passo = limite.secondi_per_colonna;
    const auto colonna = [passo](const QCPGraphData& d) { return std::floor(d.key / passo); };
    const auto inizio = dati->constBegin();
    const auto eccesso = inizio + (n - pieni);
    const double colonna_taglio = colonna(*eccesso);
    auto fine = std::partition_point(inizio, eccesso, [&](const QCPGraphData& d) { return colonna(d) < colonna_taglio; });
    if (fine == inizio) fine = dati->findBegin(eccesso->key, false); // a column wider than the whole excess
    if (fine == inizio) return; // every excess point shares the cut's x

    // Per column, its lowest and its highest point, in x order: a spike survives
    // the thinning however short it was.
    diradati.clear();
    for (auto da = inizio; da != fine;) {
        const double c = colonna(*da);
        auto mn = da, mx = da;
        auto it = da + 1;
        for (; it != fine && colonna(*it) == c; ++it) {
            if (it->value < mn->value) mn = it;
            if (it->value > mx->value) mx = it;
        }
        if (mn == mx) {
            diradati.append(*mn);
        } else {
            diradati.append(mn < mx ? *mn : *mx);
            diradati.append(mn < mx ? *mx : *mn);
        }
        da = it;
    }
    auto storico = p.storico->data();
    storico->add(diradati, true);
    dati->removeBefore(fine->key); // exactly the points before `fine`: their keys are all smaller
    storico->removeBefore((dati->constEnd() - 1)->key - limite.secondi_storico);
}

void GraficoWidget::Impl::segui(double x_nuova) {
    if (!segue) return;
    QCPAxis* x = asse_x();
    const QCPRange r = x->range();
    const double fine = x_nuova + margine_x();
    if (fine > r.upper) x->setRange(fine - r.size(), fine);
}

int GraficoWidget::Impl::cursore_vicino(const QPointF& pos) const {
    if (!qcp->axisRect()->rect().contains(pos.toPoint())) return 0;
    int scelto = 0;
    double migliore = PRESA_CURSORE_PX;
    for (std::size_t i = 0; i < cursori.size(); ++i) {
        const double d = std::abs(asse_x()->coordToPixel(cursori[i].x) - pos.x());
        if (d <= migliore) {
            migliore = d;
            scelto = static_cast<int>(i) + 1;
        }
    }
    return scelto;
}

void GraficoWidget::Impl::premuta(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    premuto = true;
    trascinato = false;
    pos_pressione = e->position();
    cursore_preso = modo == 2 ? cursore_vicino(e->position()) : 0;
}

void GraficoWidget::Impl::mossa(QMouseEvent* e) {
    if (!premuto) {
        if (modo != 2) return;
        const bool vicino = cursore_vicino(e->position()) > 0;
        if (vicino != puntatore_su_cursore) {
            puntatore_su_cursore = vicino;
            if (vicino)
                qcp->setCursor(Qt::SizeHorCursor);
            else
                qcp->unsetCursor();
        }
        return;
    }
    if (!trascinato && (e->position() - pos_pressione).manhattanLength() > SOGLIA_TRASCINAMENTO_PX)
        trascinato = true;
    if (!trascinato) return;
    if (cursore_preso > 0) {
        w->trascina_cursore(cursore_preso, asse_x()->pixelToCoord(e->position().x()),
                            asse_y()->pixelToCoord(e->position().y()));
    } else if (modo == 3) {
        // The user is panning: the live end must stop pulling the view back.
        segue = false;
    }
}

void GraficoWidget::Impl::rilasciata(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !premuto) return;
    premuto = false;
    cursore_preso = 0;
    if (!trascinato && w->su_click) w->su_click(indice);
}

GraficoWidget::GraficoWidget(int indice, Tipo tipo, QWidget* parent)
    : QWidget(parent), d_(std::make_unique<Impl>(this, indice, tipo)) {
    auto* strati = new QVBoxLayout(this);
    strati->setContentsMargins(0, 0, 0, 0);
    d_->qcp = new QCustomPlot(this);
    strati->addWidget(d_->qcp);
    d_->qcp->setMouseTracking(true);
    d_->segue = d_->segue_predefinito();
    d_->costruisci();
    d_->applica_modo();

    d_->orologio.setSingleShot(true);
    d_->orologio.setInterval(PERIODO_FOTOGRAMMA_MS);
    connect(&d_->orologio, &QTimer::timeout, this, [this] { d_->fotogramma(); });
    connect(d_->qcp, &QCustomPlot::afterReplot, this, [this] { ++d_->ridisegni; });
    connect(d_->qcp, &QCustomPlot::mousePress, this, [this](QMouseEvent* e) { d_->premuta(e); });
    connect(d_->qcp, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { d_->mossa(e); });
    connect(d_->qcp, &QCustomPlot::mouseRelease, this, [this](QMouseEvent* e) { d_->rilasciata(e); });
    connect(d_->qcp, &QCustomPlot::mouseWheel, this, [this](QWheelEvent*) {
        if (d_->modo == 6) d_->segue = false;
    });
    connect(d_->qcp->selectionRect(), &QCPSelectionRect::accepted, this, [this](const QRect&, QMouseEvent*) {
        if (d_->modo == 6) d_->segue = false;
    });
}

GraficoWidget::~GraficoWidget() {
    // The plot goes first, while the state its signals reach still exists.
    d_->orologio.stop();
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
        p.in_attesa.clear();
        p.in_attesa_ordinati = true;
        p.ultima_x = 0;
        p.pieno->data()->clear();
        if (p.storico) p.storico->data()->clear();
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

int GraficoWidget::cursore_per_nome(const std::string& nome) const {
    for (std::size_t i = 0; i < d_->cursori.size(); ++i)
        if (d_->cursori[i].nome == nome) return static_cast<int>(i) + 1;
    return 0;
}

double GraficoWidget::cursore_x(int cursore) const {
    const Impl::Cursore* c = d_->cursore_n(cursore);
    return c ? c->x : 0.0;
}

double GraficoWidget::cursore_y(int cursore) const {
    const Impl::Cursore* c = d_->cursore_n(cursore);
    return c ? c->y : 0.0;
}

void GraficoWidget::imposta_cursore_x(int cursore, double x) {
    Impl::Cursore* c = d_->cursore_n(cursore);
    if (!c || !std::isfinite(x)) return;
    // The analysis moves cursors onto points it has just appended.
    if (d_->sposta_in_attesa()) d_->richiedi_ridisegno();
    c->x = x;
    const Impl::Plot& p = d_->plot.front();
    std::optional<QCPGraphData> v = piu_vicino(*p.pieno->data(), x);
    if (p.storico) {
        const std::optional<QCPGraphData> vs = piu_vicino(*p.storico->data(), x);
        if (vs && (!v || std::abs(vs->key - x) < std::abs(v->key - x))) v = vs;
    }
    if (v) c->y = v->value;
    d_->colloca_cursore(*c);
}

void GraficoWidget::trascina_cursore(int cursore, double x, double y) {
    Impl::Cursore* c = d_->cursore_n(cursore);
    if (!c || !std::isfinite(x) || !std::isfinite(y)) return;
    c->x = x;
    c->y = y;
    d_->colloca_cursore(*c);
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
    if (annotazione < 1 || annotazione > static_cast<int>(d_->annotazioni.size())) return;
    d_->annotazioni[static_cast<std::size_t>(annotazione - 1)]->setText(QString::fromStdString(testo));
    d_->ridisegna_strato(d_->strato_annotazioni);
}

std::string GraficoWidget::testo_annotazione(int annotazione) const {
    if (annotazione < 1 || annotazione > static_cast<int>(d_->annotazioni.size())) return {};
    return d_->annotazioni[static_cast<std::size_t>(annotazione - 1)]->text().toStdString();
}

int GraficoWidget::modo_puntatore() const { return d_->modo; }

void GraficoWidget::imposta_modo_puntatore(int modo) {
    if (!modo_valido(modo)) return;
    d_->modo = modo;
    d_->premuto = false;
    d_->cursore_preso = 0;
    d_->applica_modo();
}

std::vector<std::pair<double, double>> GraficoWidget::punti(int plot) const {
    std::vector<std::pair<double, double>> r;
    const Impl::Plot* p = d_->plot_n(plot);
    if (!p) return r;
    r.reserve(static_cast<std::size_t>(p->pieno->data()->size() + (p->storico ? p->storico->data()->size() : 0)));
    for (const QCPGraph* g : {p->storico, p->pieno})
        if (g)
            for (const QCPGraphData& d : *g->data()) r.emplace_back(d.key, d.value);
    return r;
}

std::size_t GraficoWidget::punti_in_attesa() const {
    std::size_t n = 0;
    for (const Impl::Plot& p : d_->plot) n += static_cast<std::size_t>(p.in_attesa.size());
    return n;
}

void GraficoWidget::svuota_in_attesa() {
    if (d_->sposta_in_attesa()) d_->richiedi_ridisegno();
}

long GraficoWidget::punti_accodati() const { return d_->accodati; }

void GraficoWidget::fotogramma() { d_->fotogramma(); }

int GraficoWidget::intervallo_fotogramma_ms() const { return d_->orologio.interval(); }

long GraficoWidget::ridisegni() const { return d_->ridisegni; }

void GraficoWidget::imposta_limite_storico(const LimiteStorico& l) {
    LimiteStorico v = l;
    // A zero or broken column width would make every point a column of its own.
    if (!(v.secondi_per_colonna > 0) || !std::isfinite(v.secondi_per_colonna)) v.secondi_per_colonna = 0.1;
    if (!(v.secondi_storico >= 0)) v.secondi_storico = 0;
    d_->limite = v;
}

GraficoWidget::LimiteStorico GraficoWidget::limite_storico() const { return d_->limite; }

bool GraficoWidget::segue_dati() const { return d_->segue; }
void GraficoWidget::imposta_segue_dati(bool segue) { d_->segue = segue; }

QCustomPlot* GraficoWidget::plot_qcp() const { return d_->qcp; }

// --- style files

QString GraficoWidget::Impl::testo_stile() const {
    QString t;
    const auto riga = [&t](const QString& chiave, const QString& valore) {
        t += chiave + u'=' + valore + u'\n';
    };
    t += QLatin1String(INTESTAZIONE_STILE) + u'\n';
    t += QLatin1String("# Stile di un grafico di Vexa Meter: una chiave=valore per riga.\n");
    riga(QStringLiteral("tipo"), QLatin1String(nome_tipo(tipo)));
    riga(QStringLiteral("modo_puntatore"), QString::number(modo));
    riga(QStringLiteral("segue_dati"), QString::number(segue ? 1 : 0));
    for (std::size_t i = 0; i < assi.size(); ++i) {
        const QString k = QStringLiteral("asse.%1.").arg(i + 1);
        const QCPRange r = assi[i].qcp->range();
        riga(k + QLatin1String("nome"), QString::fromStdString(assi[i].nome));
        riga(k + QLatin1String("didascalia"), proteggi(assi[i].qcp->label()));
        riga(k + QLatin1String("minimo"), numero(r.lower));
        riga(k + QLatin1String("massimo"), numero(r.upper));
    }
    for (std::size_t i = 0; i < plot.size(); ++i) {
        const QString k = QStringLiteral("plot.%1.").arg(i + 1);
        const QPen penna = plot[i].pieno->pen();
        t += QStringLiteral("# plot %1: %2\n").arg(i + 1).arg(plot[i].pieno->name());
        riga(k + QLatin1String("colore"), QString::number(bgr_da_colore(penna.color())));
        riga(k + QLatin1String("spessore"), numero(penna.widthF()));
        riga(k + QLatin1String("stile"), QLatin1String(nome_stile(plot[i].stile)));
    }
    t += QLatin1String(FINE_STILE) + u'\n';
    return t;
}

bool GraficoWidget::esporta_stile(const std::string& percorso) const {
    const QString p = QString::fromStdString(percorso);
    QSaveFile f(p);
    // Written aside and renamed at commit: a failure never leaves half a file.
    if (!f.open(QIODevice::WriteOnly) || f.write(d_->testo_stile().toUtf8()) < 0 || !f.commit()) {
        d_->errore_stile = QStringLiteral("Impossibile scrivere il file di stile %1: %2").arg(p, f.errorString()).toStdString();
        return false;
    }
    return true;
}

bool GraficoWidget::importa_stile(const std::string& percorso) {
    return d_->applica_file_stile(QString::fromStdString(percorso));
}

std::string GraficoWidget::ultimo_errore_stile() const { return d_->errore_stile; }

bool GraficoWidget::Impl::applica_file_stile(const QString& percorso) {
    struct AsseLetto {
        std::optional<QString> didascalia;
        std::optional<double> minimo, massimo;
        int riga = 0; // the later of the range's lines, for the min < max check
    };
    struct PlotLetto {
        std::optional<QColor> colore;
        std::optional<double> spessore;
        std::optional<Stile> stile;
    };

    QString motivo;
    int riga_errore = 0;
    const auto rifiuta = [&](int riga, const QString& m) {
        riga_errore = riga;
        motivo = m;
        return false;
    };

    QFile f(percorso);
    if (!f.exists()) {
        errore_stile = QStringLiteral("File di stile non trovato: %1").arg(percorso).toStdString();
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        errore_stile = QStringLiteral("File di stile illeggibile: %1 (%2)").arg(percorso, f.errorString()).toStdString();
        return false;
    }
    const QByteArray contenuto = f.read(DIMENSIONE_MASSIMA_STILE + 1);
    if (f.error() != QFileDevice::NoError) {
        errore_stile = QStringLiteral("File di stile illeggibile: %1 (%2)").arg(percorso, f.errorString()).toStdString();
        return false;
    }

    std::optional<int> modo_letto;
    std::optional<bool> segue_letto;
    std::map<int, AsseLetto> assi_letti;
    std::map<int, PlotLetto> plot_letti;

    // Everything is read and checked before anything is applied: a broken file
    // leaves the graph as it was.
    const auto leggi = [&]() -> bool {
        if (contenuto.size() > DIMENSIONE_MASSIMA_STILE) return rifiuta(1, QStringLiteral("file troppo grande"));
        if (contenuto.trimmed().isEmpty()) return rifiuta(1, QStringLiteral("file vuoto"));
        const QList<QByteArray> righe = contenuto.split('\n');
        std::map<QString, int> viste; // key -> line, to refuse repeated keys
        bool fine_vista = false;
        bool tipo_visto = false;
        int ultima = 1;
        for (qsizetype i = 0; i < righe.size(); ++i) {
            const int nr = static_cast<int>(i) + 1;
            QByteArray grezza = righe[i];
            if (grezza.endsWith('\r')) grezza.chop(1);
            // Stateless: a sequence cut short at the end of the line is an error too.
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString testo = utf8(grezza);
            if (utf8.hasError()) return rifiuta(nr, QStringLiteral("testo non in UTF-8"));
            const QString pulita = testo.trimmed();
            if (i == 0) {
                if (pulita != QLatin1String(INTESTAZIONE_STILE))
                    return rifiuta(nr, QStringLiteral("intestazione mancante o errata (attesa «%1»)")
                                           .arg(QLatin1String(INTESTAZIONE_STILE)));
                continue;
            }
            if (pulita.isEmpty() || pulita.startsWith(u'#')) continue;
            ultima = nr;
            if (fine_vista) return rifiuta(nr, QStringLiteral("testo dopo la riga «%1»").arg(QLatin1String(FINE_STILE)));
            if (pulita == QLatin1String(FINE_STILE)) {
                fine_vista = true;
                continue;
            }
            const qsizetype uguale = testo.indexOf(u'=');
            if (uguale < 0) return rifiuta(nr, QStringLiteral("manca «=» in «%1»").arg(pulita));
            const QString chiave = testo.left(uguale).trimmed();
            const QString valore_grezzo = testo.mid(uguale + 1);
            const QString valore = valore_grezzo.trimmed();
            if (auto [it, nuova] = viste.emplace(chiave, nr); !nuova)
                return rifiuta(nr, QStringLiteral("chiave %1 ripetuta (già alla riga %2)").arg(chiave).arg(it->second));

            const auto non_numerico = [&] {
                return rifiuta(nr, QStringLiteral("valore non numerico per %1: «%2»").arg(chiave, valore));
            };

            if (chiave == QLatin1String("tipo")) {
                if (valore != QLatin1String("tempo") && valore != QLatin1String("ripetizioni"))
                    return rifiuta(nr, QStringLiteral("tipo di grafico sconosciuto «%1»").arg(valore));
                if (valore != QLatin1String(nome_tipo(tipo)))
                    return rifiuta(nr, QStringLiteral("il file è per un grafico «%1», questo è un grafico «%2»")
                                           .arg(valore, QLatin1String(nome_tipo(tipo))));
                tipo_visto = true;
                continue;
            }
            if (chiave == QLatin1String("modo_puntatore")) {
                const std::optional<int> m = leggi_intero(valore);
                if (!m) return non_numerico();
                if (!modo_valido(*m))
                    return rifiuta(nr, QStringLiteral("modo del puntatore %1 non previsto (ammessi 2, 3, 6, 9)").arg(*m));
                modo_letto = m;
                continue;
            }
            if (chiave == QLatin1String("segue_dati")) {
                if (valore != QLatin1String("0") && valore != QLatin1String("1"))
                    return rifiuta(nr, QStringLiteral("segue_dati vale 0 o 1, non «%1»").arg(valore));
                segue_letto = valore == QLatin1String("1");
                continue;
            }

            // asse.N.campo and plot.N.campo
            const QStringList parti = chiave.split(u'.');
            const bool e_asse = parti.size() == 3 && parti[0] == QLatin1String("asse");
            const bool e_plot = parti.size() == 3 && parti[0] == QLatin1String("plot");
            if (!e_asse && !e_plot) return rifiuta(nr, QStringLiteral("chiave sconosciuta «%1»").arg(chiave));
            const std::optional<int> num = leggi_intero(parti[1]);
            const int quanti = static_cast<int>(e_asse ? assi.size() : plot.size());
            if (!num || *num < 1 || *num > quanti)
                return rifiuta(nr, QStringLiteral("%1 «%2» inesistente: il grafico ne ha da 1 a %3")
                                       .arg(e_asse ? QStringLiteral("asse") : QStringLiteral("plot"), parti[1])
                                       .arg(quanti));
            const QString& campo = parti[2];

            if (e_asse) {
                AsseLetto& a = assi_letti[*num];
                if (campo == QLatin1String("nome")) {
                    // Names are how the program finds its axes: a file may not rename them.
                    const QString atteso = QString::fromStdString(assi[static_cast<std::size_t>(*num - 1)].nome);
                    if (valore != atteso)
                        return rifiuta(nr, QStringLiteral("l'asse %1 si chiama «%2», non «%3»").arg(*num).arg(atteso, valore));
                } else if (campo == QLatin1String("didascalia")) {
                    const std::optional<QString> d = sproteggi(valore_grezzo);
                    if (!d) return rifiuta(nr, QStringLiteral("barra rovesciata non valida in %1").arg(chiave));
                    a.didascalia = d;
                } else if (campo == QLatin1String("minimo") || campo == QLatin1String("massimo")) {
                    const std::optional<double> v = leggi_numero(valore);
                    if (!v) return non_numerico();
                    (campo == QLatin1String("minimo") ? a.minimo : a.massimo) = v;
                    a.riga = std::max(a.riga, nr);
                } else {
                    return rifiuta(nr, QStringLiteral("chiave sconosciuta «%1»").arg(chiave));
                }
                continue;
            }

            PlotLetto& p = plot_letti[*num];
            if (campo == QLatin1String("colore")) {
                const std::optional<int> c = leggi_intero(valore);
                if (!c) return non_numerico();
                if (*c < 0 || *c > 0xFFFFFF)
                    return rifiuta(nr, QStringLiteral("colore %1 fuori intervallo (da 0 a 16777215)").arg(*c));
                p.colore = colore_da_bgr(*c);
            } else if (campo == QLatin1String("spessore")) {
                const std::optional<double> s = leggi_numero(valore);
                if (!s) return non_numerico();
                if (*s < 0 || *s > SPESSORE_MASSIMO)
                    return rifiuta(nr, QStringLiteral("spessore %1 fuori intervallo (da 0 a %2)")
                                           .arg(valore, numero(SPESSORE_MASSIMO)));
                p.spessore = s;
            } else if (campo == QLatin1String("stile")) {
                p.stile = stile_da_nome(valore);
                if (!p.stile)
                    return rifiuta(nr, QStringLiteral("stile «%1» sconosciuto (linea, punti, linea_punti o nessuno)")
                                           .arg(valore));
            } else {
                return rifiuta(nr, QStringLiteral("chiave sconosciuta «%1»").arg(chiave));
            }
        }
        if (!fine_vista)
            return rifiuta(ultima, QStringLiteral("file troncato: manca la riga «%1»").arg(QLatin1String(FINE_STILE)));
        if (!tipo_visto) return rifiuta(ultima, QStringLiteral("manca la chiave tipo"));

        for (auto& [n, a] : assi_letti) {
            if (!a.minimo && !a.massimo) continue;
            const QCPRange attuale = asse_n(n)->range();
            const double mn = a.minimo.value_or(attuale.lower);
            const double mx = a.massimo.value_or(attuale.upper);
            if (!(mn < mx))
                return rifiuta(a.riga, QStringLiteral("asse %1: il minimo (%2) non è minore del massimo (%3)")
                                           .arg(n)
                                           .arg(numero(mn), numero(mx)));
            if (!QCPRange::validRange(mn, mx))
                return rifiuta(a.riga, QStringLiteral("asse %1: intervallo da %2 a %3 non rappresentabile")
                                           .arg(n)
                                           .arg(numero(mn), numero(mx)));
            a.minimo = mn;
            a.massimo = mx;
        }
        return true;
    };

    if (!leggi()) {
        errore_stile =
            QStringLiteral("File di stile non valido (%1, riga %2): %3").arg(percorso).arg(riga_errore).arg(motivo).toStdString();
        return false;
    }

    for (const auto& [n, a] : assi_letti) {
        QCPAxis* asse = asse_n(n);
        if (a.didascalia) asse->setLabel(*a.didascalia);
        if (a.minimo) asse->setRange(*a.minimo, *a.massimo);
    }
    for (const auto& [n, letto] : plot_letti) {
        Plot& p = *plot_n(n);
        QPen penna = p.pieno->pen();
        if (letto.colore) penna.setColor(*letto.colore);
        if (letto.spessore) penna.setWidthF(*letto.spessore);
        applica_aspetto(p, penna, letto.stile.value_or(p.stile));
    }
    if (modo_letto) {
        modo = *modo_letto;
        premuto = false;
        cursore_preso = 0;
        applica_modo();
    }
    if (segue_letto) segue = *segue_letto;
    errore_stile.clear();
    richiedi_ridisegno();
    return true;
}

} // namespace vexa
