// What the mouse does on a graph in each pointer mode: 2 drags the cursors
// (a press near a cursor line grabs it), 3 pans, 6 zooms (wheel or
// rectangle), 9 is a plain pointer. In every mode a press released where it
// was is a click.
#pragma once

#include <QPointF>

#include <functional>

class QCPAxis;
class QCustomPlot;
class QMouseEvent;

namespace vexa {

class CursoriGrafico;

class PuntatoreGrafico {
public:
    struct Azioni {
        std::function<void(int cursore, double x, double y)> trascina;
        std::function<void()> click;
        // The user panned or zoomed: the live end must stop pulling the view back.
        std::function<void()> vista_spostata;
    };

    // Cursors are dragged in the coordinates of `x` and `y`.
    PuntatoreGrafico(QCustomPlot* qcp, QCPAxis* x, QCPAxis* y, const CursoriGrafico& cursori, Azioni azioni);

    int modo() const { return modo_; }
    // An unknown mode is ignored; a press under way is forgotten.
    void imposta_modo(int modo);

private:
    void applica_modo();
    void premuta(QMouseEvent* e);
    void mossa(QMouseEvent* e);
    void rilasciata(QMouseEvent* e);

    QCustomPlot* qcp_;
    QCPAxis *x_, *y_;
    const CursoriGrafico& cursori_;
    Azioni azioni_;
    int modo_ = 2;
    bool premuto_ = false;
    bool trascinato_ = false;
    QPointF pos_pressione_;
    int cursore_preso_ = 0;
    bool su_cursore_ = false; // the pointer shows the cursor can be dragged
};

} // namespace vexa
