#include "grafico_tagliato.h"

#include <algorithm>
#include <cmath>

namespace vexa {

void GraficoTagliato::drawLinePlot(QCPPainter* painter, const QVector<QPointF>& linee) const {
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
