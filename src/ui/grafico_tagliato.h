// A curve whose lines are cut at the plot's edge before they are drawn. The
// acceleration of a fast stream reaches values a million times its axis; the
// raster engine strokes such a line over its whole imagined length, which cost
// a hundred milliseconds a frame where the visible part costs a fraction of one.
#pragma once

#include <qcustomplot.h>

#include <vector>

namespace vexa {

class GraficoTagliato;

// Curves that keep their pixels between frames, together in one picture: a
// live view that scrolls by whole pixels moves the pixels already drawn and
// draws only what changed (the last columns, a strip at the left edge)
// instead of every curve sixty times a second, and lays the picture on the
// plot once, not once a curve. The first curve of the group that is drawn
// draws them all, in their order. Only for curves drawn without
// antialiasing, whose lines drawn twice leave the same pixels.
class MemoriaCurve {
public:
    void aggiungi(GraficoTagliato* g) { curve_.push_back(g); }

private:
    friend class GraficoTagliato;
    struct Firma {
        const GraficoTagliato* curva;
        QPen penna;
        QCPRange y;
        bool operator==(const Firma& f) const { return curva == f.curva && penna == f.penna && y == f.y; }
    };
    std::vector<GraficoTagliato*> curve_;
    QImage immagine_; // what the plot paints on, the curves alone on transparent
    std::vector<Firma> firme_;
    QRect area_;
    qreal dpr_ = 1;
    double inizio_x_ = 0, ampiezza_x_ = 0;
};

class GraficoTagliato : public QCPGraph {
public:
    using QCPGraph::QCPGraph;

    // Joins a group of curves kept together (nullptr: drawn anew each time).
    void imposta_memoria(MemoriaCurve* memoria);

protected:
    void draw(QCPPainter* painter) override;
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& linee) const override;

private:
    // The lines from linee[da] on, cut at the edge, with the pen's width.
    void disegna(QCPPainter* painter, const QVector<QPointF>& linee, qsizetype da) const;
    bool in_memoria() const;
    bool memoria_utilizzabile(const QCPPainter* painter) const;
    const GraficoTagliato* prima_in_memoria() const;
    void disegna_memoria(QCPPainter* painter, const QVector<QPointF>& mie) const;
    // The lines the plot would hand drawLinePlot now.
    QVector<QPointF> linee_attuali() const;
    // Liang-Barsky: what of the segment a-b lies in r; false when nothing.
    static bool taglia(const QRectF& r, QPointF& a, QPointF& b);

    mutable QVector<QPointF> tagliate_;
    mutable QVector<QPointF> agganciate_;

    MemoriaCurve* memoria_ = nullptr;
    mutable QVector<QPointF> disegnate_; // the lines the group's picture holds of this curve
};

} // namespace vexa
