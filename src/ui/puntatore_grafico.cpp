#include "puntatore_grafico.h"

#include "cursori_grafico.h"
#include "stile_grafico.h"

#include <QMouseEvent>
#include <qcustomplot.h>

namespace vexa {

namespace {

// Movement (manhattan, pixels) that turns a press into a drag rather than a click.
constexpr int SOGLIA_TRASCINAMENTO_PX = 3;

} // namespace

PuntatoreGrafico::PuntatoreGrafico(QCustomPlot* qcp, QCPAxis* x, QCPAxis* y, const CursoriGrafico& cursori,
                                   Azioni azioni)
    : qcp_(qcp), x_(x), y_(y), cursori_(cursori), azioni_(std::move(azioni)) {
    qcp->setMouseTracking(true); // the pointer changes over a cursor line
    applica_modo();
    QObject::connect(qcp, &QCustomPlot::mousePress, qcp, [this](QMouseEvent* e) { premuta(e); });
    QObject::connect(qcp, &QCustomPlot::mouseMove, qcp, [this](QMouseEvent* e) { mossa(e); });
    QObject::connect(qcp, &QCustomPlot::mouseRelease, qcp, [this](QMouseEvent* e) { rilasciata(e); });
    QObject::connect(qcp, &QCustomPlot::mouseWheel, qcp, [this](QWheelEvent*) {
        if (modo_ == 6) azioni_.vista_spostata();
    });
    QObject::connect(qcp->selectionRect(), &QCPSelectionRect::accepted, qcp, [this](const QRect&, QMouseEvent*) {
        if (modo_ == 6) azioni_.vista_spostata();
    });
}

void PuntatoreGrafico::imposta_modo(int modo) {
    if (!modo_puntatore_valido(modo)) return;
    modo_ = modo;
    premuto_ = false;
    cursore_preso_ = 0;
    applica_modo();
}

void PuntatoreGrafico::applica_modo() {
    QCP::Interactions interazioni;
    QCP::SelectionRectMode rettangolo = QCP::srmNone;
    if (modo_ == 6) {
        interazioni = QCP::iRangeZoom;
        rettangolo = QCP::srmZoom;
    } else if (modo_ == 3) {
        interazioni = QCP::iRangeDrag;
    }
    qcp_->setInteractions(interazioni);
    qcp_->setSelectionRectMode(rettangolo);
    if (modo_ != 2 && su_cursore_) {
        qcp_->unsetCursor();
        su_cursore_ = false;
    }
}

void PuntatoreGrafico::premuta(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    premuto_ = true;
    trascinato_ = false;
    pos_pressione_ = e->position();
    cursore_preso_ = modo_ == 2 ? cursori_.vicino(e->position()) : 0;
}

void PuntatoreGrafico::mossa(QMouseEvent* e) {
    if (!premuto_) {
        if (modo_ != 2) return;
        const bool vicino = cursori_.vicino(e->position()) > 0;
        if (vicino != su_cursore_) {
            su_cursore_ = vicino;
            if (vicino)
                qcp_->setCursor(Qt::SizeHorCursor);
            else
                qcp_->unsetCursor();
        }
        return;
    }
    if (!trascinato_ && (e->position() - pos_pressione_).manhattanLength() > SOGLIA_TRASCINAMENTO_PX)
        trascinato_ = true;
    if (!trascinato_) return;
    if (cursore_preso_ > 0)
        azioni_.trascina(cursore_preso_, x_->pixelToCoord(e->position().x()), y_->pixelToCoord(e->position().y()));
    else if (modo_ == 3)
        azioni_.vista_spostata();
}

void PuntatoreGrafico::rilasciata(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !premuto_) return;
    premuto_ = false;
    cursore_preso_ = 0;
    if (!trascinato_) azioni_.click();
}

} // namespace vexa
