#include "lista_valori.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <cstdlib>

namespace vexa {

ListaValori::ListaValori(int indice, QWidget* parent) : QAbstractScrollArea(parent), indice_(indice) {
    setObjectName(QStringLiteral("Lst_valori_%1").arg(indice));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(1);
    aggiorna_barra();
}

QString ListaValori::testo(int riga) const {
    if (riga < 0 || riga >= count()) return {};
    return righe_[static_cast<std::size_t>(riga)];
}

void ListaValori::aggiungi(const QString& testo) {
    righe_.push_back(testo);
    aggiorna_barra();
    ridisegna_riga(count() - 1);
}

void ListaValori::imposta_testo(int riga, const QString& testo) {
    if (riga < 0 || riga >= count()) return;
    righe_[static_cast<std::size_t>(riga)] = testo;
    ridisegna_riga(riga);
}

void ListaValori::cancella() {
    righe_.clear();
    const bool cambia = corrente_ != -1;
    corrente_ = -1;
    aggiorna_barra();
    viewport()->update();
    if (cambia) emit currentRowChanged(-1);
}

void ListaValori::setCurrentRow(int riga) {
    if (riga < 0 || riga >= count()) riga = -1;
    if (riga >= 0) scorri_a(riga);
    if (riga == corrente_) return;
    ridisegna_riga(corrente_);
    corrente_ = riga;
    ridisegna_riga(corrente_);
    emit currentRowChanged(corrente_);
}

QRect ListaValori::visualItemRect(int riga) const {
    const int h = altezza_riga();
    return {0, (riga - verticalScrollBar()->value()) * h, viewport()->width(), h};
}

void ListaValori::scorri_a(int riga) {
    QScrollBar* b = verticalScrollBar();
    const int prima = b->value();
    if (riga < prima)
        b->setValue(riga);
    else if (riga >= prima + righe_intere())
        b->setValue(riga - righe_intere() + 1);
}

int ListaValori::altezza_riga() const {
    if (altezza_ == 0) {
        QStyleOptionViewItem o;
        opzione(o);
        o.text = QStringLiteral("0");
        altezza_ = std::max(1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &o, QSize(), this).height());
    }
    return altezza_;
}

int ListaValori::righe_intere() const { return std::max(1, viewport()->height() / altezza_riga()); }

int ListaValori::riga_in(int y) const {
    if (y < 0) return -1;
    const int r = verticalScrollBar()->value() + y / altezza_riga();
    return r < count() ? r : -1;
}

// What an item view hands the style for one of its plain text items.
void ListaValori::opzione(QStyleOptionViewItem& o) const {
    o.initFrom(this);
    o.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus);
    if (!hasFocus()) o.state &= ~QStyle::State_Active;
    o.font = font();
    o.fontMetrics = QFontMetrics(o.font);
    const int icona = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    o.decorationSize = QSize(icona, icona);
    o.decorationPosition = QStyleOptionViewItem::Left;
    o.decorationAlignment = Qt::AlignCenter;
    o.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    o.textElideMode = Qt::ElideRight;
    o.showDecorationSelected = true;
    o.features = QStyleOptionViewItem::HasDisplay;
    o.viewItemPosition = QStyleOptionViewItem::OnlyOne;
    o.widget = this;
}

void ListaValori::aggiorna_barra() {
    QScrollBar* b = verticalScrollBar();
    const int intere = righe_intere();
    b->setPageStep(intere);
    b->setRange(0, std::max(0, count() - intere));
}

void ListaValori::ridisegna_riga(int riga) {
    if (riga < 0) return;
    const QRect r = visualItemRect(riga);
    if (r.intersects(viewport()->rect())) viewport()->update(r);
}

void ListaValori::paintEvent(QPaintEvent* e) {
    // Drawn as the style draws a list box's plain text item (the selected
    // one filled with the highlight, the text two pixels in from the edge),
    // without the text layout the style makes for every item: fifteen
    // columns draw a row or two each at every repetition.
    QPainter p(viewport());
    const QPalette& tavolozza = palette();
    const QPalette::ColorGroup gruppo = !isEnabled() ? QPalette::Disabled
                                        : hasFocus() && isActiveWindow() ? QPalette::Active
                                                                          : QPalette::Inactive;
    const int margine = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const QFontMetrics metrica(font());
    const int h = altezza_riga();
    const int prima = verticalScrollBar()->value();
    const QRect area = e->rect();
    const int w = viewport()->width();
    p.setFont(font());
    for (int r = prima + std::max(0, area.top()) / h; r < count(); ++r) {
        const int y = (r - prima) * h;
        if (y > area.bottom()) break;
        const QRect riga(0, y, w, h);
        const bool scelta = r == corrente_;
        if (scelta) p.fillRect(riga, tavolozza.brush(gruppo, QPalette::Highlight));
        p.setPen(tavolozza.color(gruppo, scelta ? QPalette::HighlightedText : QPalette::Text));
        const QRect testo = riga.adjusted(margine, 0, -margine, 0);
        const QString& t = righe_[static_cast<std::size_t>(r)];
        p.drawText(testo, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   metrica.horizontalAdvance(t) > testo.width() ? metrica.elidedText(t, Qt::ElideRight, testo.width())
                                                                 : t);
        if (scelta && hasFocus()) {
            QStyleOptionFocusRect f;
            f.initFrom(this);
            f.rect = riga;
            f.backgroundColor = tavolozza.color(gruppo, QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &f, &p, this);
        }
    }
}

void ListaValori::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    aggiorna_barra();
}

void ListaValori::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
        altezza_ = 0;
        aggiorna_barra();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(e);
}

// The rows in sight move by whole rows: the pixels already drawn are moved,
// and only the rows that come into sight are drawn. A session adds a row and
// scrolls fifteen columns by one at every repetition.
void ListaValori::scrollContentsBy(int, int dy) {
    const int h = altezza_riga();
    if (std::abs(dy) * h >= viewport()->height())
        viewport()->update();
    else
        viewport()->scroll(0, dy * h);
}

void ListaValori::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton) {
        const int r = riga_in(e->position().toPoint().y());
        if (r >= 0) setCurrentRow(r);
    }
    if (su_mouse_down) su_mouse_down(indice_, e->button());
}

void ListaValori::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const int y = std::clamp(e->position().toPoint().y(), 0, std::max(0, viewport()->height() - 1));
    const int r = riga_in(y);
    if (r >= 0) setCurrentRow(r);
}

void ListaValori::mouseDoubleClickEvent(QMouseEvent* e) {
    const int r = riga_in(e->position().toPoint().y());
    if (r >= 0) setCurrentRow(r);
    if (su_doppio_click) su_doppio_click(indice_);
}

void ListaValori::keyPressEvent(QKeyEvent* e) {
    if (count() == 0) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    const int pagina = righe_intere();
    const int da = std::max(corrente_, 0);
    int a = -1;
    switch (e->key()) {
    case Qt::Key_Up: a = corrente_ < 0 ? 0 : da - 1; break;
    case Qt::Key_Down: a = corrente_ < 0 ? 0 : da + 1; break;
    case Qt::Key_PageUp: a = da - pagina; break;
    case Qt::Key_PageDown: a = da + pagina; break;
    case Qt::Key_Home: a = 0; break;
    case Qt::Key_End: a = count() - 1; break;
    default: QAbstractScrollArea::keyPressEvent(e); return;
    }
    setCurrentRow(std::clamp(a, 0, count() - 1));
    e->accept();
}

void ListaValori::keyReleaseEvent(QKeyEvent* e) {
    QAbstractScrollArea::keyReleaseEvent(e);
    if (su_key_up) su_key_up(indice_);
}

void ListaValori::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void ListaValori::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

} // namespace vexa
