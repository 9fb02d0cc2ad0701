#include "asse_memorizzato.h"

#include <algorithm>
#include <utility>

namespace vexa {

namespace {

void fine(const QCPLineEnding& e, int (&out)[4]) {
    out[0] = e.style();
    out[1] = qRound(e.width() * 64);
    out[2] = qRound(e.length() * 64);
    out[3] = e.inverted();
}

} // namespace

AsseMemorizzato::AsseMemorizzato(QCPAxisRect* rett, AxisType tipo) : QCPAxis(rett, tipo) {
    setTicker(QSharedPointer<QCPAxisTicker>(new TaccheMemorizzate<QCPAxisTicker>));
}

AsseMemorizzato* AsseMemorizzato::sostituisci(QCPAxisRect* rett, QCPAxis*& asse) {
    const AxisType tipo = asse->axisType();
    const bool visibile = asse->visible();
    const bool griglia = asse->grid()->visible();
    const QPen zero = asse->grid()->zeroLinePen();
    const QString strato = asse->layer() ? asse->layer()->name() : QString();
    const QString strato_griglia = asse->grid()->layer() ? asse->grid()->layer()->name() : QString();
    rett->removeAxis(asse); // also clears the plot's pointer to it
    auto* nuovo = new AsseMemorizzato(rett, tipo);
    rett->addAxis(tipo, nuovo);
    nuovo->setVisible(visibile);
    nuovo->grid()->setVisible(griglia);
    nuovo->grid()->setZeroLinePen(zero);
    if (!strato.isEmpty()) nuovo->setLayer(strato);
    if (!strato_griglia.isEmpty()) nuovo->grid()->setLayer(strato_griglia);
    asse = nuovo;
    return nuovo;
}

AsseMemorizzato::Firma AsseMemorizzato::firma(const QCPPainter* painter) const {
    Firma f;
    f.range = mRange;
    f.rovesciato = mRangeReversed;
    f.rett = mAxisRect->rect();
    f.vista = mParentPlot->viewport();
    f.tacche = mTickVector;
    f.sottotacche = mSubTickVector;
    f.etichette = mTickVectorLabels;
    f.didascalia = mLabel;
    f.base = getBasePen();
    f.tacca = getTickPen();
    f.sottotacca = getSubTickPen();
    f.carattere_etichette = getTickLabelFont();
    f.carattere_didascalia = getLabelFont();
    f.colore_etichette = getTickLabelColor();
    f.colore_didascalia = getLabelColor();
    f.mostra_tacche = mTicks;
    f.mostra_sottotacche = mSubTicks;
    f.mostra_etichette = mTickLabels;
    f.potenze = mNumberBeautifulPowers;
    const QCPAxisPainterPrivate& p = *mAxisPainter;
    f.tacca_dentro = p.tickLengthIn;
    f.tacca_fuori = p.tickLengthOut;
    f.sottotacca_dentro = p.subTickLengthIn;
    f.sottotacca_fuori = p.subTickLengthOut;
    f.spazio_etichette = p.tickLabelPadding;
    f.spazio_didascalia = p.labelPadding;
    f.scostamento = p.offset;
    f.rotazione = p.tickLabelRotation;
    f.lato = p.tickLabelSide;
    f.croce = p.numberMultiplyCross;
    fine(p.lowerEnding, f.fine_bassa);
    fine(p.upperEnding, f.fine_alta);
    f.sfumato = painter->antialiasing();
    f.modi = painter->modes();
    f.dpr = painter->device()->devicePixelRatioF();
    return f;
}

QRect AsseMemorizzato::area() const {
    const QRect r = mAxisRect->rect();
    const QRect v = mParentPlot->viewport();
    const QCPAxisPainterPrivate& p = *mAxisPainter;
    // Inward reach: ticks, the pen, and the endings of a second axis on a side.
    const int dentro = std::max({p.tickLengthIn, p.subTickLengthIn, 0}) +
                       qCeil(std::max({p.lowerEnding.width(), p.upperEnding.width(), p.lowerEnding.length(),
                                       p.upperEnding.length(), 0.0})) +
                       qCeil(std::max({getBasePen().widthF(), getTickPen().widthF(), getSubTickPen().widthF()})) + 2;
    switch (mAxisType) {
    case atLeft:
        return QRect(QPoint(v.left(), v.top()), QPoint(r.left() - p.offset + dentro, v.bottom()));
    case atRight:
        return QRect(QPoint(r.right() + p.offset - dentro, v.top()), QPoint(v.right(), v.bottom()));
    case atTop:
        return QRect(QPoint(v.left(), v.top()), QPoint(v.right(), r.top() - p.offset + dentro));
    case atBottom:
        return QRect(QPoint(v.left(), r.bottom() + p.offset - dentro), QPoint(v.right(), v.bottom()));
    }
    return v;
}

void AsseMemorizzato::draw(QCPPainter* painter) {
    // Exports and vector output draw as they always did.
    if (!painter->device() || painter->modes().testFlag(QCPPainter::pmVectorized) ||
        painter->modes().testFlag(QCPPainter::pmNoCaching) || !painter->transform().isIdentity()) {
        QCPAxis::draw(painter);
        return;
    }
    if (mOrientation == Qt::Horizontal) {
        disegna_con_didascalia_memorizzata(painter);
        return;
    }
    Firma f = firma(painter);
    const QRect zona = area();
    if (!valida_ || !(f == firma_) || zona != area_) {
        const qreal dpr = f.dpr;
        const QSize dim(qCeil(zona.width() * dpr), qCeil(zona.height() * dpr));
        if (immagine_.size() != dim) immagine_ = QImage(dim, QImage::Format_ARGB32_Premultiplied);
        immagine_.setDevicePixelRatio(dpr);
        immagine_.fill(Qt::transparent);
        {
            QCPPainter p(&immagine_);
            p.setModes(painter->modes());
            p.setRenderHints(painter->renderHints());
            p.setAntialiasing(painter->antialiasing());
            p.translate(-zona.topLeft());
            QCPAxis::draw(&p);
        }
        firma_ = std::move(f);
        area_ = zona;
        valida_ = true;
        ++disegni_;
    }
    painter->drawImage(area_.topLeft(), immagine_);
}

} // namespace vexa

namespace vexa {

void AsseMemorizzato::disegna_con_didascalia_memorizzata(QCPPainter* painter) {
    QCPAxisPainterPrivate& p = *mAxisPainter;
    const QRect r = mAxisRect->rect();
    if (mLabel.isEmpty() || mAxisType != atBottom || p.tickLabelSide != lsOutside) {
        QCPAxis::draw(painter);
        return;
    }
    const QFont carattere = getLabelFont();
    const QColor colore = getLabelColor();
    const qreal dpr = painter->device()->devicePixelRatioF();
    if (mLabel != testo_didascalia_ || carattere != carattere_didascalia_ || colore != colore_didascalia_ ||
        r.width() != larghezza_didascalia_ || dpr != dpr_didascalia_) {
        const QRect ingombro = QFontMetrics(carattere).boundingRect(0, 0, 0, 0, Qt::TextDontClip, mLabel);
        didascalia_ = QImage();
        // A caption wider than the axis spills over its ends: drawn as the plot draws it.
        if (ingombro.width() <= r.width() && ingombro.height() > 0) {
            didascalia_ = QImage(QSize(qCeil(r.width() * dpr), qCeil(ingombro.height() * dpr)),
                                 QImage::Format_ARGB32_Premultiplied);
            didascalia_.setDevicePixelRatio(dpr);
            didascalia_.fill(Qt::transparent);
            QCPPainter d(&didascalia_);
            d.setFont(carattere);
            d.setPen(QPen(colore));
            d.drawText(0, 0, r.width(), ingombro.height(), Qt::TextDontClip | Qt::AlignCenter, mLabel);
        }
        testo_didascalia_ = mLabel;
        carattere_didascalia_ = carattere;
        colore_didascalia_ = colore;
        larghezza_didascalia_ = r.width();
        dpr_didascalia_ = dpr;
    }
    if (didascalia_.isNull()) {
        QCPAxis::draw(painter);
        return;
    }
    // The axis without its caption, then the caption where the plot puts it:
    // below the tick labels (whose extent the axis has just measured) and
    // its padding, centred on the axis rect's width.
    const QString testo = std::exchange(mLabel, QString());
    QCPAxis::draw(painter);
    mLabel = testo;
    const QPoint origine = r.bottomLeft() + QPoint(0, p.offset);
    int margine = std::max(0, std::max(p.tickLengthOut, p.subTickLengthOut));
    if (!p.tickLabels.isEmpty()) margine = p.tickLabelsSelectionBox().bottom() - origine.y();
    margine += p.labelPadding;
    painter->drawImage(QPoint(origine.x(), origine.y() + margine), didascalia_);
}

} // namespace vexa
