// A curve whose lines are cut at the plot's edge before they are drawn. The
// acceleration of a fast stream reaches values a million times its axis; the
// raster engine strokes such a line over its whole imagined length, which cost
// a hundred milliseconds a frame where the visible part costs a fraction of one.
#pragma once

#include <qcustomplot.h>

namespace vexa {

class GraficoTagliato : public QCPGraph {
public:
    using QCPGraph::QCPGraph;

protected:
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& linee) const override;

private:
    // Liang-Barsky: what of the segment a-b lies in r; false when nothing.
    static bool taglia(const QRectF& r, QPointF& a, QPointF& b);

    mutable QVector<QPointF> tagliate_;
};

} // namespace vexa
