#include "grafico_tagliato.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vexa {

void GraficoTagliato::imposta_memoria(bool si) {
    memoria_ = si;
    immagine_ = QImage();
    disegnate_.clear();
}

void GraficoTagliato::drawLinePlot(QCPPainter* painter, const QVector<QPointF>& linee) const {
    // x on the raster engine's own grid of 1/64 pixel, rounded to the
    // nearest: the same point seen from a view moved by whole pixels comes
    // out a hair off (the plot places its points at quarters of a pixel,
    // right on that grid), and where the engine truncated it the line would
    // step through other pixels than the ones kept. Every curve is placed so,
    // and the pixel-column envelopes stay the picture of all the points.
    agganciate_.resize(linee.size());
    for (qsizetype i = 0; i < linee.size(); ++i)
        agganciate_[i] = QPointF(std::round(linee[i].x() * 64) / 64, linee[i].y());
    if (memoria_ && disegna_con_memoria(painter, agganciate_)) return;
    disegnate_.clear();
    disegna(painter, agganciate_, 0);
}

namespace {

bool stesso_punto(const QPointF& nuovo, const QPointF& vecchio, double dx) {
    const auto uguale = [](double a, double b) { return std::abs(a - b) < 1e-6 || (qIsNaN(a) && qIsNaN(b)); };
    return uguale(nuovo.x(), vecchio.x() + dx) && uguale(nuovo.y(), vecchio.y());
}

// Moves the pixels of each row by dx (whole pixels) and clears what is left.
void sposta(QImage& img, long dx) {
    const long w = img.width();
    const auto byte = static_cast<std::size_t>(img.depth() / 8);
    for (int y = 0; y < img.height(); ++y) {
        uchar* riga = img.scanLine(y);
        if (dx < 0) {
            std::memmove(riga, riga - dx * static_cast<long>(byte), static_cast<std::size_t>(w + dx) * byte);
            std::memset(riga + (w + dx) * static_cast<long>(byte), 0, static_cast<std::size_t>(-dx) * byte);
        } else if (dx > 0) {
            std::memmove(riga + dx * static_cast<long>(byte), riga, static_cast<std::size_t>(w - dx) * byte);
            std::memset(riga, 0, static_cast<std::size_t>(dx) * byte);
        }
    }
}

} // namespace

bool GraficoTagliato::disegna_con_memoria(QCPPainter* painter, const QVector<QPointF>& linee) const {
    QCPAxis* const kx = keyAxis();
    QCPAxis* const vy = valueAxis();
    QPaintDevice* const dispositivo = painter->device();
    if (!kx || !vy || !dispositivo || selected() || kx->orientation() != Qt::Horizontal || kx->rangeReversed() ||
        !painter->transform().isIdentity() || painter->modes().testFlag(QCPPainter::pmVectorized) ||
        painter->modes().testFlag(QCPPainter::pmNoCaching))
        return false;
    applyDefaultAntialiasingHint(painter);
    if (painter->testRenderHint(QPainter::Antialiasing)) return false;
    const QRect area = clipRect();
    if (area.isEmpty()) return false;
    const qreal dpr = dispositivo->devicePixelRatioF();
    const QPen penna = painter->pen();
    const double inizio = kx->range().lower, ampiezza = kx->range().size();

    bool da_capo = immagine_.isNull() || area != area_ || dpr != dpr_ || penna != penna_ || vy->range() != y_ ||
                   std::abs(ampiezza - ampiezza_x_) > 1e-12 * ampiezza || disegnate_.isEmpty();
    // How far the view moved, in pixels: only whole ones keep what is drawn.
    double dx = 0;
    if (!da_capo) {
        dx = kx->coordToPixel(inizio_x_) - kx->coordToPixel(inizio);
        const double fisici = dx * dpr;
        da_capo = std::abs(fisici - std::round(fisici)) > 1e-6 || std::abs(fisici) >= area.width() * dpr;
    }
    if (da_capo) {
        // As large as what the plot paints on, so the lines are drawn at the
        // very coordinates they would be drawn at there.
        immagine_ = QImage(dispositivo->width(), dispositivo->height(), QImage::Format_ARGB32_Premultiplied);
        immagine_.setDevicePixelRatio(dpr);
        immagine_.fill(Qt::transparent);
        area_ = area;
        dpr_ = dpr;
        penna_ = penna;
        y_ = vy->range();
        ampiezza_x_ = ampiezza;
        disegnate_.clear();
        dx = 0;
    } else if (dx != 0) {
        sposta(immagine_, std::lround(dx * dpr));
    }
    inizio_x_ = inizio;

    // What is drawn, moved with the view, holds from a few pixels inside the
    // left edge (the column the view cuts changes as it moves) up to the
    // first line that differs: the last column still filling, the new ones.
    const qsizetype n = linee.size(), m = disegnate_.size();
    const double bordo = area.left() + 4;
    qsizetype i0 = 0, j0 = 0;
    while (i0 < n && !(linee[i0].x() >= bordo)) ++i0;
    while (j0 < m && !(disegnate_[j0].x() + dx >= bordo - 1e-6)) ++j0;
    qsizetype i = i0, j = j0;
    while (i < n && j < m && stesso_punto(linee[i], disegnate_[j], dx)) {
        ++i;
        ++j;
    }
    if (i == i0) {
        ridisegna(linee, area);
    } else {
        // Each line drawn again reaches two pixels either side of its ends:
        // the pixel its end rounds to, the thick pen's passes one further.
        const int fine_bordo = static_cast<int>(std::floor(linee[i0].x())) + 3;
        ridisegna(linee, QRect(QPoint(area.left(), area.top()), QPoint(fine_bordo, area.bottom())).intersected(area));
        if (i < n || j < m) {
            const int x0 = std::max(fine_bordo + 1, static_cast<int>(std::floor(linee[i - 1].x())) - 2);
            ridisegna(linee, QRect(QPoint(x0, area.top()), area.bottomRight()).intersected(area));
        }
    }
    disegnate_ = linee;
    painter->drawImage(QRectF(area), immagine_, QRectF(QPointF(area.topLeft()) * dpr, QSizeF(area.size()) * dpr));
    return true;
}

void GraficoTagliato::ridisegna(const QVector<QPointF>& linee, const QRect& regione) const {
    if (regione.isEmpty()) return;
    // The lines that may reach into it, x growing along them: from the last
    // point well left of it to the first well right of it.
    const qsizetype n = linee.size();
    qsizetype da = 0, a = n;
    while (da + 1 < n && linee[da + 1].x() < regione.left() - 3) ++da;
    for (qsizetype k = da; k < n; ++k)
        if (linee[k].x() > regione.right() + 3) {
            a = k + 1;
            break;
        }
    // Drawn on a sheet of their own, clipped at the plot's edge only, and
    // only the region taken from it: a line clipped elsewhere is stepped from
    // another point, and the ends of a piece of the curve are capped where
    // the whole curve runs on; either would lay other pixels than the whole
    // curve drawn at once.
    // One sheet for every curve: they are drawn one after the other, on the
    // screen's thread.
    static QImage foglio;
    if (foglio.size() != immagine_.size()) foglio = QImage(immagine_.size(), QImage::Format_ARGB32_Premultiplied);
    foglio.setDevicePixelRatio(dpr_);
    {
        QCPPainter p(&foglio);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(regione, Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setClipRect(area_);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(penna_);
        p.setBrush(Qt::NoBrush);
        disegna(&p, linee.mid(da, a - da), 0);
    }
    QPainter c(&immagine_);
    c.setCompositionMode(QPainter::CompositionMode_Source);
    const QRectF sorgente(QPointF(regione.topLeft()) * dpr_, QSizeF(regione.size()) * dpr_);
    c.drawImage(QRectF(regione), foglio, sorgente);
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
