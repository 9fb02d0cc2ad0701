#include "cursori_grafico.h"

#include <qcustomplot.h>

#include <cmath>
#include <utility>

namespace vexa {

namespace {

// How close to a cursor line (in pixels) a press grabs it.
constexpr double PRESA_CURSORE_PX = 6;

} // namespace

CursoriGrafico::CursoriGrafico(QCustomPlot* qcp, QCPAxis* x, QCPAxis* y, const DefCursore* def, std::size_t n,
                               const QFont& font_letture)
    : qcp_(qcp), x_(x) {
    // A layer on top for the cursors and their readouts, painted in the one
    // buffer of the plot: every buffer is cleared and composed at each full
    // redraw, sixty times a second, while a cursor dragged now redraws a
    // plot whose curves keep their pixels (a millisecond).
    qcp->addLayer(QStringLiteral("cursori"), qcp->layer(QStringLiteral("overlay")), QCustomPlot::limAbove);
    strato_ = qcp->layer(QStringLiteral("cursori"));
    strato_->setMode(QCPLayer::lmLogical);
    qcp->layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    for (std::size_t i = 0; i < n; ++i) {
        Cursore c;
        c.nome = def[i].nome;
        c.linea = new QCPItemStraightLine(qcp);
        c.linea->setLayer(strato_);
        c.linea->setPen(QPen(def[i].colore, 1.5, Qt::DashLine));
        c.linea->setSelectable(false);
        for (QCPItemPosition* p : {c.linea->point1, c.linea->point2}) p->setAxes(x, y);
        c.segno = new QCPItemTracer(qcp);
        c.segno->setLayer(strato_);
        c.segno->setStyle(QCPItemTracer::tsPlus);
        c.segno->setSize(14);
        c.segno->setPen(QPen(def[i].colore, 2));
        c.segno->setSelectable(false);
        c.segno->position->setAxes(x, y);
        cursori_.push_back(c);
    }
    for (std::size_t i = 0; i < cursori_.size(); ++i) colloca(static_cast<int>(i) + 1, 0, 0);

    const std::array<std::pair<QPointF, Qt::Alignment>, 2> posti{
        std::pair{QPointF(0.01, 0.01), Qt::AlignLeft | Qt::AlignTop},
        std::pair{QPointF(0.99, 0.01), Qt::AlignRight | Qt::AlignTop},
    };
    for (std::size_t i = 0; i < letture_.size(); ++i) {
        auto* t = new QCPItemText(qcp);
        t->setLayer(strato_);
        t->position->setType(QCPItemPosition::ptAxisRectRatio);
        t->position->setCoords(posti[i].first);
        t->setPositionAlignment(posti[i].second);
        t->setTextAlignment(Qt::AlignLeft);
        t->setFont(font_letture);
        t->setPadding(QMargins(4, 2, 4, 2));
        t->setText(QString()); // the item's own placeholder would show otherwise
        t->setSelectable(false);
        letture_[i] = t;
    }
}

int CursoriGrafico::per_nome(const std::string& nome) const {
    for (std::size_t i = 0; i < cursori_.size(); ++i)
        if (cursori_[i].nome == nome) return static_cast<int>(i) + 1;
    return 0;
}

void CursoriGrafico::colloca(int c, double x, double y) {
    if (!esiste(c)) return;
    Cursore& k = cursori_[indice(c)];
    k.x = x;
    k.y = y;
    k.linea->point1->setCoords(x, 0);
    k.linea->point2->setCoords(x, 1);
    k.segno->position->setCoords(x, y);
}

int CursoriGrafico::vicino(const QPointF& pos) const {
    if (!qcp_->axisRect()->rect().contains(pos.toPoint())) return 0;
    int scelto = 0;
    double migliore = PRESA_CURSORE_PX;
    for (std::size_t i = 0; i < cursori_.size(); ++i) {
        const double d = std::abs(x_->coordToPixel(cursori_[i].x) - pos.x());
        if (d <= migliore) {
            migliore = d;
            scelto = static_cast<int>(i) + 1;
        }
    }
    return scelto;
}

bool CursoriGrafico::imposta_lettura(int n, const QString& testo) {
    if (n < 1 || n > static_cast<int>(letture_.size())) return false;
    letture_[static_cast<std::size_t>(n - 1)]->setText(testo);
    return true;
}

QString CursoriGrafico::lettura(int n) const {
    if (n < 1 || n > static_cast<int>(letture_.size())) return {};
    return letture_[static_cast<std::size_t>(n - 1)]->text();
}

} // namespace vexa
