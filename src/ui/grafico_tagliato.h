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

    // Keeps what it drew between frames: a live view that scrolls by whole
    // pixels moves the pixels already drawn and draws only what changed, the
    // last columns, instead of the whole curve sixty times a second. Only
    // for curves drawn without antialiasing, whose lines drawn twice leave
    // the same pixels.
    void imposta_memoria(bool si);

protected:
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& linee) const override;

private:
    // The lines from linee[da] on, cut at the edge, with the pen's width.
    void disegna(QCPPainter* painter, const QVector<QPointF>& linee, qsizetype da) const;
    bool disegna_con_memoria(QCPPainter* painter, const QVector<QPointF>& linee) const;
    // Clears the region of the kept image and draws again what lies in it.
    void ridisegna(const QVector<QPointF>& linee, const QRect& regione) const;
    // Liang-Barsky: what of the segment a-b lies in r; false when nothing.
    static bool taglia(const QRectF& r, QPointF& a, QPointF& b);

    mutable QVector<QPointF> tagliate_;
    mutable QVector<QPointF> agganciate_;

    bool memoria_ = false;
    mutable QImage immagine_; // the plot area, the curve alone on transparent
    mutable QVector<QPointF> disegnate_; // the lines it holds
    mutable QRect area_;
    mutable qreal dpr_ = 1;
    mutable QPen penna_;
    mutable QCPRange y_;
    mutable double inizio_x_ = 0, ampiezza_x_ = 0;
};

} // namespace vexa
