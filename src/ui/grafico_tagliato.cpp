#include "grafico_tagliato.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vexa {

void GraficoTagliato::imposta_memoria(MemoriaCurve* memoria) {
    memoria_ = memoria;
    disegnate_.clear();
    if (memoria) memoria->aggiungi(this);
}

namespace {

// x on the raster engine's own grid of 1/64 pixel, rounded to the nearest:
// the same point seen from a view moved by whole pixels comes out a hair off
// (the plot places its points at quarters of a pixel, right on that grid),
// and where the engine truncated it the line would step through other pixels
// than the ones kept. Every curve is placed so, and the pixel-column
// envelopes stay the picture of all the points.
void aggancia(const QVector<QPointF>& linee, QVector<QPointF>& out) {
    out.resize(linee.size());
    for (qsizetype i = 0; i < linee.size(); ++i) out[i] = QPointF(std::round(linee[i].x() * 64) / 64, linee[i].y());
}

bool stesso_punto(const QPointF& nuovo, const QPointF& vecchio, double dx) {
    const auto uguale = [](double a, double b) { return std::abs(a - b) < 1e-6 || (qIsNaN(a) && qIsNaN(b)); };
    return uguale(nuovo.x(), vecchio.x() + dx) && uguale(nuovo.y(), vecchio.y());
}

// Moves the pixels of each row of the rect by dx (whole pixels) and clears
// what is left: only that rect of the picture is ever laid on the plot.
void sposta(QImage& img, const QRect& r, long dx) {
    const QRect dentro = r.intersected(img.rect());
    const long w = dentro.width();
    if (w <= 0 || dx == 0) return;
    dx = std::clamp(dx, -w, w);
    const auto byte = static_cast<std::size_t>(img.depth() / 8);
    const auto b = static_cast<long>(byte);
    for (int y = dentro.top(); y <= dentro.bottom(); ++y) {
        uchar* riga = img.scanLine(y) + dentro.left() * b;
        if (dx < 0) {
            std::memmove(riga, riga - dx * b, static_cast<std::size_t>(w + dx) * byte);
            std::memset(riga + (w + dx) * b, 0, static_cast<std::size_t>(-dx) * byte);
        } else {
            std::memmove(riga + dx * b, riga, static_cast<std::size_t>(w - dx) * byte);
            std::memset(riga, 0, static_cast<std::size_t>(dx) * byte);
        }
    }
}

// The part of the lines that may reach into [sinistra, destra] (x growing
// along them): from the last point well left of it to the first well right.
QVector<QPointF> tratto(const QVector<QPointF>& linee, int sinistra, int destra) {
    const qsizetype n = linee.size();
    qsizetype da = 0, a = n;
    while (da + 1 < n && linee[da + 1].x() < sinistra - 3) ++da;
    for (qsizetype k = da; k < n; ++k)
        if (linee[k].x() > destra + 3) {
            a = k + 1;
            break;
        }
    return linee.mid(da, a - da);
}

} // namespace

bool GraficoTagliato::in_memoria() const {
    return memoria_ && visible() && lineStyle() == lsLine && !mDataContainer->isEmpty() && !selected();
}

bool GraficoTagliato::memoria_utilizzabile(const QCPPainter* painter) const {
    const QCPAxis* kx = keyAxis();
    return kx && valueAxis() && painter->device() && kx->orientation() == Qt::Horizontal && !kx->rangeReversed() &&
           kx->range().size() > 0 && painter->transform().isIdentity() &&
           !painter->modes().testFlag(QCPPainter::pmVectorized) && !painter->modes().testFlag(QCPPainter::pmNoCaching);
}

const GraficoTagliato* GraficoTagliato::prima_in_memoria() const {
    for (const GraficoTagliato* g : memoria_->curve_)
        if (g->in_memoria()) return g;
    return nullptr;
}

void GraficoTagliato::draw(QCPPainter* painter) {
    // The group's first curve drew this one with it.
    if (in_memoria() && memoria_utilizzabile(painter) && prima_in_memoria() != this) return;
    QCPGraph::draw(painter);
}

QVector<QPointF> GraficoTagliato::linee_attuali() const {
    QVector<QPointF> linee, agganciate;
    if (!keyAxis() || !valueAxis() || keyAxis()->range().size() <= 0 || mDataContainer->isEmpty()) return agganciate;
    // As the plot asks for them when nothing is selected.
    getLines(&linee, QCPDataRange(0, dataCount()).adjusted(-1, 1));
    aggancia(linee, agganciate);
    return agganciate;
}

void GraficoTagliato::drawLinePlot(QCPPainter* painter, const QVector<QPointF>& linee) const {
    aggancia(linee, agganciate_);
    if (in_memoria() && memoria_utilizzabile(painter)) {
        disegna_memoria(painter, agganciate_);
        return;
    }
    disegnate_.clear();
    disegna(painter, agganciate_, 0);
}

void GraficoTagliato::disegna_memoria(QCPPainter* painter, const QVector<QPointF>& mie) const {
    MemoriaCurve& M = *memoria_;
    QCPAxis* const kx = keyAxis();
    QPaintDevice* const dispositivo = painter->device();
    // Where the layer lets a plottable paint: its rect, one row up.
    const QRect area = clipRect().translated(0, -1);
    const qreal dpr = dispositivo->devicePixelRatioF();
    const double inizio = kx->range().lower, ampiezza = kx->range().size();

    // The curves of the group drawn now, each with its lines and pen.
    struct Curva {
        const GraficoTagliato* g;
        QVector<QPointF> linee;
        QPen penna;
    };
    std::vector<Curva> curve;
    std::vector<MemoriaCurve::Firma> firme;
    bool antialiasing = false;
    for (const GraficoTagliato* g : M.curve_) {
        if (!g->in_memoria()) continue;
        g->applyDefaultAntialiasingHint(painter);
        antialiasing = antialiasing || painter->testRenderHint(QPainter::Antialiasing);
        curve.push_back({g, g == this ? mie : g->linee_attuali(), g->pen()});
        firme.push_back({g, g->pen(), g->valueAxis()->range()});
    }
    if (antialiasing || area.isEmpty()) {
        // Lines drawn twice would not leave the same pixels: each anew.
        for (const Curva& c : curve) {
            c.g->disegnate_.clear();
            painter->setPen(c.penna);
            c.g->applyDefaultAntialiasingHint(painter);
            c.g->disegna(painter, c.linee, 0);
        }
        M.immagine_ = QImage();
        return;
    }

    bool da_capo = M.immagine_.isNull() || M.immagine_.size() != QSize(dispositivo->width(), dispositivo->height()) ||
                   area != M.area_ || dpr != M.dpr_ || firme != M.firme_ ||
                   std::abs(ampiezza - M.ampiezza_x_) > 1e-12 * ampiezza;
    // How far the view moved, in pixels: only whole ones keep what is drawn.
    double dx = 0;
    if (!da_capo) {
        dx = kx->coordToPixel(M.inizio_x_) - kx->coordToPixel(inizio);
        const double fisici = dx * dpr;
        da_capo = std::abs(fisici - std::round(fisici)) > 1e-6 || std::abs(fisici) >= area.width() * dpr;
    }
    if (da_capo) {
        // As large as what the plot paints on, so the lines are drawn at the
        // very coordinates they would be drawn at there.
        M.immagine_ = QImage(dispositivo->width(), dispositivo->height(), QImage::Format_ARGB32_Premultiplied);
        M.immagine_.setDevicePixelRatio(dpr);
        M.immagine_.fill(Qt::transparent);
        M.area_ = area;
        M.dpr_ = dpr;
        M.firme_ = firme;
        M.ampiezza_x_ = ampiezza;
        dx = 0;
    } else if (dx != 0) {
        const QRect fisica(QPoint(static_cast<int>(std::floor(area.left() * dpr)),
                                  static_cast<int>(std::floor(area.top() * dpr))),
                           QPoint(static_cast<int>(std::ceil((area.right() + 1) * dpr)) - 1,
                                  static_cast<int>(std::ceil((area.bottom() + 1) * dpr)) - 1));
        sposta(M.immagine_, fisica, std::lround(dx * dpr));
    }
    M.inizio_x_ = inizio;

    // What is drawn of a curve, moved with the view, holds from a few pixels
    // inside the left edge (the column the view cuts changes as it moves) up
    // to its first line that differs: the last column still filling, the new
    // ones. Each line drawn again reaches two pixels either side of its ends:
    // the pixel its end rounds to, the thick pen's passes one further.
    const double bordo = area.left() + 4;
    int fine_bordo = area.left() - 1, coda = area.right() + 1;
    for (const Curva& c : curve) {
        const QVector<QPointF>& nuove = c.linee;
        const QVector<QPointF>& vecchie = c.g->disegnate_;
        const qsizetype n = nuove.size(), m = da_capo ? 0 : vecchie.size();
        qsizetype i0 = 0, j0 = 0;
        while (i0 < n && !(nuove[i0].x() >= bordo)) ++i0;
        while (j0 < m && !(vecchie[j0].x() + dx >= bordo - 1e-6)) ++j0;
        qsizetype i = i0, j = j0;
        while (i < n && j < m && stesso_punto(nuove[i], vecchie[j], dx)) {
            ++i;
            ++j;
        }
        if (i == i0) {
            coda = area.left();
            continue;
        }
        fine_bordo = std::max(fine_bordo, static_cast<int>(std::floor(nuove[i0].x())) + 3);
        if (i < n || j < m) coda = std::min(coda, static_cast<int>(std::floor(nuove[i - 1].x())) - 2);
    }
    std::vector<QRect> regioni;
    if (coda <= fine_bordo + 1) {
        regioni.push_back(area);
    } else {
        regioni.push_back(QRect(QPoint(area.left(), area.top()), QPoint(fine_bordo, area.bottom())).intersected(area));
        regioni.push_back(QRect(QPoint(coda, area.top()), area.bottomRight()).intersected(area));
    }

    // A region is drawn on a sheet of its own, clipped at the plot's edge
    // only, and only the region is taken from it: a line clipped elsewhere
    // is stepped from another point, and the ends of a piece of a curve are
    // capped where the whole curve runs on; either would lay other pixels
    // than the whole curve drawn at once. One sheet for every group: they
    // are drawn on the screen's thread, one after the other.
    static QImage foglio;
    for (const QRect& regione : regioni) {
        if (regione.isEmpty()) continue;
        if (foglio.size() != M.immagine_.size())
            foglio = QImage(M.immagine_.size(), QImage::Format_ARGB32_Premultiplied);
        foglio.setDevicePixelRatio(dpr);
        {
            QCPPainter p(&foglio);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(regione, Qt::transparent);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.setClipRect(area);
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setBrush(Qt::NoBrush);
            for (const Curva& c : curve) {
                p.setPen(c.penna);
                c.g->disegna(&p, tratto(c.linee, regione.left(), regione.right()), 0);
            }
        }
        QPainter copia(&M.immagine_);
        copia.setCompositionMode(QPainter::CompositionMode_Source);
        copia.drawImage(QRectF(regione), foglio, QRectF(QPointF(regione.topLeft()) * dpr, QSizeF(regione.size()) * dpr));
    }
    for (const Curva& c : curve) c.g->disegnate_ = c.linee;
    painter->drawImage(QRectF(area), M.immagine_, QRectF(QPointF(area.topLeft()) * dpr, QSizeF(area.size()) * dpr));
}

void GraficoTagliato::disegna(QCPPainter* painter, const QVector<QPointF>& linee, qsizetype da) const {
    // A margin beyond the edge, so the pen's own width is never cut off.
    const QRectF r = clipRect().adjusted(-8, -8, 8, 8);
    const QPointF interruzione(0, qQNaN());
    tagliate_.clear();
    tagliate_.reserve(linee.size() - da + 16);
    bool aperta = false; // the last point written continues the line
    for (qsizetype i = std::max<qsizetype>(da, 0) + 1; i < linee.size(); ++i) {
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

bool GraficoTagliato::taglia(const QRectF& r, QPointF& a, QPointF& b) {
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

} // namespace vexa
