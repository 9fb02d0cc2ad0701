#include "indicatori.h"

#include "colori.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace vexa {

namespace {

// The coach reads these from a couple of metres away: light on dark, thick strokes.
const QColor SFONDO_SCALA(24, 24, 24);
const QColor TESTO_SCALA(240, 240, 240);
const QColor BINARIO(60, 60, 60);
const QColor COLORE_SEGNO[2] = {QColor(0, 220, 255), QColor(255, 90, 255)};
const QColor LAMPADA_ACCESA(40, 255, 40);
const QColor LAMPADA_SPENTA(25, 70, 25);
const QColor TESTO_ACCESO(0, 125, 0); // dark enough to read on a light panel

// 1, 2 or 5 times a power of ten, at least `grezzo`: steps a reader can add up at a glance.
double passo_bello(double grezzo) {
    if (!(grezzo > 0) || !std::isfinite(grezzo)) return 1;
    const double potenza = std::pow(10.0, std::floor(std::log10(grezzo)));
    const double f = grezzo / potenza;
    const double m = f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10;
    return m * potenza;
}

int pixel(double px) {
    return std::max(1, static_cast<int>(std::floor(px)));
}

// The largest bold font, up to `px_max` pixels, whose line of `testo` fits `spazio`.
QFont font_adattato(QFont base, const QString& testo, QSizeF spazio, double px_max) {
    base.setBold(true);
    base.setPixelSize(100);
    const QFontMetricsF fm(base);
    const double w = std::max(1.0, fm.horizontalAdvance(testo));
    const double h = std::max(1.0, fm.height());
    const double px = std::min({px_max, 100 * spazio.width() / w, 100 * spazio.height() / h});
    base.setPixelSize(pixel(px));
    return base;
}

struct Estremi {
    double basso, alto;
    double ampiezza() const { return alto - basso; }
};

// The range the scale is drawn over: always finite and non-empty, whatever
// the caller set, so the mapping below never divides by zero.
Estremi estremi_disegno(double minimo, double massimo) {
    Estremi e{std::min(minimo, massimo), std::max(minimo, massimo)};
    if (!std::isfinite(e.basso) || !std::isfinite(e.alto) || !std::isfinite(e.ampiezza()))
        return {0, 1000};
    if (e.alto > e.basso) return e;
    const double mezzo = std::max(1.0, std::abs(e.basso) * 0.1);
    e = {e.basso - mezzo, e.basso + mezzo};
    if (!(e.alto > e.basso)) return {0, 1000};
    return e;
}

QString numero_scala(double v, double passo) {
    if (std::abs(v) < passo * 1e-6) v = 0; // no "-0" where the scale crosses zero
    const int decimali =
        passo >= 1 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(passo) - 1e-9)));
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator); // "1000", narrow enough for the column
    return locale.toString(v, 'f', decimali);
}

struct GeometriaSlide {
    QRectF didascalia;
    QRectF binario;     // the pointer's track; its top and bottom are the scale's ends
    double x_numeri;    // right edge of the tick numbers
    double x_etichette; // left edge of the marks' labels
    double tacca;       // length of a numbered tick
    double passo;       // value between numbered ticks
    QFont font_numeri, font_didascalia;
};

GeometriaSlide geometria_slide(const QWidget& w, const QString& didascalia, const Estremi& e) {
    GeometriaSlide g;
    const double larg = w.width(), alt = w.height();
    const double m = std::max(3.0, larg / 30);

    g.font_didascalia = w.font();
    g.font_didascalia.setBold(true);
    g.font_didascalia.setPixelSize(pixel(std::clamp(std::min(larg / 9, alt / 18), 8.0, 22.0)));
    double alt_didascalia = 0;
    if (!didascalia.isEmpty()) {
        const QFontMetricsF fm(g.font_didascalia);
        const QRectF r = fm.boundingRect(QRectF(0, 0, std::max(1.0, larg - 2 * m), alt),
                                         Qt::TextWordWrap | Qt::AlignHCenter, didascalia);
        alt_didascalia = std::min(r.height(), alt * 0.3);
    }
    g.didascalia = QRectF(m, m, std::max(1.0, larg - 2 * m), alt_didascalia);

    g.font_numeri = w.font();
    g.font_numeri.setBold(true);
    g.font_numeri.setPixelSize(pixel(std::clamp(std::min(alt / 24, larg / 7), 7.0, 20.0)));
    const double mezza_riga = QFontMetricsF(g.font_numeri).height() / 2;

    const double alto = m + alt_didascalia + m + mezza_riga;
    const double basso = std::max(alto + 1, alt - m - mezza_riga);
    const double larg_binario = std::clamp(larg * 0.26, 6.0, 60.0);
    const double x_binario = std::max(m, larg * 0.5 - larg_binario * 0.3);
    g.binario = QRectF(x_binario, alto, larg_binario, basso - alto);
    g.tacca = std::max(4.0, larg_binario * 0.35);
    g.x_numeri = x_binario - g.tacca - 2;
    g.x_etichette = x_binario + larg_binario + 3;

    // One numbered step for every couple of text lines.
    const double righe = std::max(2.0, g.binario.height() / (mezza_riga * 4.4));
    g.passo = passo_bello(e.ampiezza() / righe);
    // The widest number must fit left of the ticks: a narrow slide gets smaller digits.
    const QFontMetricsF fm(g.font_numeri);
    const double larghezza_numeri =
        std::max({1.0, fm.horizontalAdvance(numero_scala(e.basso, g.passo)),
                  fm.horizontalAdvance(numero_scala(e.alto, g.passo))});
    const double spazio = g.x_numeri - m / 2;
    if (larghezza_numeri > spazio)
        g.font_numeri.setPixelSize(
            pixel(std::max(6.0, g.font_numeri.pixelSize() * spazio / larghezza_numeri)));
    return g;
}

double y_di(const GeometriaSlide& g, const Estremi& e, double v) {
    const double t = std::clamp((v - e.basso) / e.ampiezza(), 0.0, 1.0);
    return g.binario.bottom() - t * g.binario.height();
}

void disegna_lampada(QPainter& p, const QRectF& area, bool accesa, bool abilitato) {
    const double r = std::max(2.0, std::min(area.width(), area.height()) / 2 - 2);
    const QPointF c = area.center();
    QColor colore = accesa ? LAMPADA_ACCESA : LAMPADA_SPENTA;
    if (!abilitato) {
        const int g = qGray(colore.rgb());
        colore = QColor(g, g, g);
    }
    QRadialGradient sfumatura(c - QPointF(r * 0.35, r * 0.35), r * 1.3);
    sfumatura.setColorAt(0, accesa ? colore.lighter(160) : colore.lighter(130));
    sfumatura.setColorAt(1, colore);
    p.setPen(QPen(QColor(20, 20, 20), std::max(1.5, r / 10)));
    p.setBrush(sfumatura);
    p.drawEllipse(c, r, r);
}

} // namespace

// ---------------------------------------------------------------- SlideWidget

SlideWidget::SlideWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

double SlideWidget::valore() const {
    return valore_;
}

void SlideWidget::imposta_valore(double v) {
    if (v == valore_) return;
    valore_ = v;
    update();
}

void SlideWidget::imposta_intervallo(double minimo, double massimo) {
    minimo_ = minimo;
    massimo_ = massimo;
    update();
}

double SlideWidget::minimo() const {
    return minimo_;
}

double SlideWidget::massimo() const {
    return massimo_;
}

void SlideWidget::imposta_segno(int segno, double v) {
    if (segno < 1 || segno > 2) return;
    segni_[segno - 1] = v;
    update();
}

void SlideWidget::imposta_colore_puntatore(int puntatore, int32_t colore) {
    if (puntatore != 1 || colore == colore_) return;
    colore_ = colore;
    update();
}

double SlideWidget::segno(int segno) const {
    return segno >= 1 && segno <= 2 ? segni_[segno - 1] : 0;
}

int32_t SlideWidget::colore_puntatore(int puntatore) const {
    return puntatore == 1 ? colore_ : 0;
}

QString SlideWidget::didascalia() const {
    return didascalia_;
}

void SlideWidget::imposta_didascalia(const QString& testo) {
    didascalia_ = testo;
    update();
}

void SlideWidget::imposta_provvisorio(bool provvisorio) {
    if (provvisorio == provvisorio_) return;
    provvisorio_ = provvisorio;
    update();
}

void SlideWidget::imposta_stop(bool stop) {
    if (stop == stop_) return;
    stop_ = stop;
    update();
}

QSize SlideWidget::sizeHint() const {
    return {130, 380};
}

void SlideWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), SFONDO_SCALA);

    const Estremi e = estremi_disegno(minimo_, massimo_);
    const GeometriaSlide g = geometria_slide(*this, didascalia_, e);

    if (!didascalia_.isEmpty()) {
        p.setFont(g.font_didascalia);
        p.setPen(TESTO_SCALA);
        p.drawText(g.didascalia, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, didascalia_);
    }

    p.setPen(Qt::NoPen);
    p.setBrush(BINARIO);
    p.drawRect(g.binario);

    // Numbered ticks, subdivided where there is room.
    const QFontMetricsF fm(g.font_numeri);
    const double passo = g.passo, tacca = g.tacca;
    const double passo_px = passo / e.ampiezza() * g.binario.height();
    const int suddivisioni = passo_px >= 40 ? 5 : passo_px >= 16 ? 2 : 1;
    p.setFont(g.font_numeri);
    const double primo = std::ceil(e.basso / passo - 1e-9) * passo;
    for (int k = 0; k < 200; ++k) {
        const double v = primo + k * passo;
        if (v > e.alto + passo * 1e-9) break;
        const double y = y_di(g, e, v);
        p.setPen(QPen(TESTO_SCALA, 2));
        p.drawLine(QPointF(g.binario.left() - tacca, y), QPointF(g.binario.left(), y));
        const QRectF casella(0, y - fm.height() / 2, std::max(0.0, g.x_numeri), fm.height());
        p.drawText(casella, Qt::AlignRight | Qt::AlignVCenter, numero_scala(v, passo));
    }
    if (suddivisioni > 1) {
        const double fine = passo / suddivisioni;
        const double primo_fine = std::ceil(e.basso / fine - 1e-9) * fine;
        p.setPen(QPen(TESTO_SCALA, 1));
        for (int k = 0; k < 1000; ++k) {
            const double v = primo_fine + k * fine;
            if (v > e.alto + fine * 1e-9) break;
            const double y = y_di(g, e, v);
            p.drawLine(QPointF(g.binario.left() - tacca / 2, y), QPointF(g.binario.left(), y));
        }
    }

    // The pointer: the track filled from the bottom up to the (clamped) value.
    if (!std::isnan(valore_)) {
        const double y = y_di(g, e, valore_);
        const QRectF pieno(g.binario.left(), y, g.binario.width(), g.binario.bottom() - y);
        const QColor c = colore_da_bgr(colore_);
        if (provvisorio_) {
            // The verdict's colour still reads at a glance, dimmed and hatched.
            QColor velato = c;
            velato.setAlpha(90);
            p.fillRect(pieno, velato);
            p.fillRect(pieno, QBrush(c, Qt::BDiagPattern));
        } else {
            p.fillRect(pieno, c);
        }
        p.setPen(QPen(Qt::white, 3));
        p.drawLine(QPointF(g.binario.left() - tacca, y), QPointF(g.binario.right() + 3, y));
    }

    // The alarm limits: dashed across the track, their value beside it.
    QFont font_segni = g.font_numeri;
    font_segni.setPixelSize(pixel(font_segni.pixelSize() * 0.8));
    p.setFont(font_segni);
    const QFontMetricsF fms(font_segni);
    for (int i = 0; i < 2; ++i) {
        const double v = segni_[i];
        if (!(v >= e.basso && v <= e.alto)) continue;
        const double y = y_di(g, e, v);
        QPen tratteggio(COLORE_SEGNO[i], 2, Qt::DashLine);
        p.setPen(tratteggio);
        p.drawLine(QPointF(g.binario.left() - tacca, y), QPointF(g.binario.right() + 3, y));
        p.setPen(COLORE_SEGNO[i]);
        const QRectF casella(g.x_etichette, y - fms.height() / 2,
                             std::max(0.0, width() - g.x_etichette), fms.height());
        p.drawText(casella, Qt::AlignLeft | Qt::AlignVCenter, numero_scala(v, passo / 10));
    }

    if (stop_) {
        // Over the caption, where the eye goes first, and a frame that shows
        // from across the room even when the slide is narrow.
        const QColor rosso(220, 0, 0);
        const double bordo = std::max(3.0, width() / 25.0);
        p.setPen(QPen(rosso, bordo));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(bordo / 2, bordo / 2, -bordo / 2, -bordo / 2));
        const QRectF area(bordo, bordo, std::max(1.0, width() - 2 * bordo),
                          std::max({g.didascalia.bottom() - bordo, height() / 7.0, 1.0}));
        p.fillRect(area, rosso);
        const QString testo = QStringLiteral("STOP");
        p.setFont(font_adattato(font(), testo, area.size() * 0.85, 200));
        p.setPen(Qt::white);
        p.drawText(area, Qt::AlignCenter, testo);
    }
}

void SlideWidget::mousePressEvent(QMouseEvent* e) {
    if (!interattivo || !isEnabled() || e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    da_mouse(qRound(e->position().y()));
}

void SlideWidget::mouseMoveEvent(QMouseEvent* e) {
    if (!interattivo || !isEnabled() || !(e->buttons() & Qt::LeftButton)) {
        e->ignore();
        return;
    }
    da_mouse(qRound(e->position().y()));
}

void SlideWidget::da_mouse(int y) {
    double v = minimo_;
    if (massimo_ != minimo_) {
        const Estremi e = estremi_disegno(minimo_, massimo_);
        const GeometriaSlide g = geometria_slide(*this, didascalia_, e);
        const double t = std::clamp((g.binario.bottom() - y) / g.binario.height(), 0.0, 1.0);
        // One pixel of drag moves the value by a round amount, not by 0.37 of something.
        const double fine = passo_bello(e.ampiezza() / std::max(1.0, g.binario.height()));
        v = std::clamp(std::round((e.basso + t * e.ampiezza()) / fine) * fine, e.basso, e.alto);
    }
    if (v == valore_) return;
    valore_ = v;
    update();
    if (su_cambio_valore) su_cambio_valore(v);
}

// ------------------------------------------------------------- NumericoWidget

NumericoWidget::NumericoWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

double NumericoWidget::valore() const {
    return valore_;
}

void NumericoWidget::imposta_valore(double v) {
    // Called at the sample rate during a set: repaint only when the digits change.
    const bool stesso_testo = std::round(v) == std::round(valore_);
    valore_ = v;
    if (!stesso_testo) update();
}

int32_t NumericoWidget::colore() const {
    return colore_;
}

void NumericoWidget::imposta_colore(int32_t colore) {
    if (colore == colore_) return;
    colore_ = colore;
    update();
}

void NumericoWidget::imposta_visibile(bool visibile) {
    setVisible(visibile);
}

void NumericoWidget::imposta_provvisorio(bool provvisorio) {
    if (provvisorio == provvisorio_) return;
    provvisorio_ = provvisorio;
    update();
}

void NumericoWidget::imposta_dimensione_carattere(int punti) {
    punti_ = std::max(1, punti);
    update();
}

int NumericoWidget::dimensione_carattere() const {
    return punti_;
}

QString NumericoWidget::testo() const {
    if (!std::isfinite(valore_)) return {};
    double r = std::round(valore_); // half away from zero
    if (r == 0) r = 0;              // -0.4 shows "0", not "-0"
    return QString::number(r, 'f', 0);
}

void NumericoWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QString t = testo();
    if (t.isEmpty()) return;

    QFont f = font();
    f.setBold(true);
    f.setPixelSize(100);
    const QFontMetricsF rif(f);
    // Fitted to at least three digits, so the size holds still while the value
    // moves between 99 and 100.
    const double larg_rif =
        std::max({1.0, rif.horizontalAdvance(t), rif.horizontalAdvance(QStringLiteral("000"))});
    const double alt_cifre = rif.capHeight() > 0 ? rif.capHeight() : rif.ascent() * 0.72;
    const double massimo = punti_ * logicalDpiY() / 72.0;
    const double px =
        std::min({massimo, 100 * width() * 0.92 / larg_rif, 100 * height() * 0.8 / alt_cifre});
    f.setPixelSize(pixel(px));
    const QFontMetricsF fm(f);
    const double cifre = fm.capHeight() > 0 ? fm.capHeight() : fm.ascent() * 0.72;

    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(f);
    QColor colore = colore_da_bgr(colore_);
    if (provvisorio_) colore = colore.darker(170);
    p.setPen(colore);
    p.drawText(QPointF((width() - fm.horizontalAdvance(t)) / 2, (height() + cifre) / 2), t);
    if (provvisorio_) {
        const QString nota = QStringLiteral("provvisoria");
        const double sotto = (height() - cifre) / 2;
        p.setFont(font_adattato(font(), nota, QSizeF(width() * 0.9, std::max(1.0, sotto * 0.8)), 48));
        p.setPen(colore_da_bgr(colore_));
        p.drawText(QRectF(0, (height() + cifre) / 2, width(), sotto), Qt::AlignCenter, nota);
    }
}

// ------------------------------------------------------------- PulsanteWidget

PulsanteWidget::PulsanteWidget(Aspetto aspetto, Azione azione, QWidget* parent)
    : QWidget(parent), aspetto_(aspetto), azione_(azione) {
    setFocusPolicy(Qt::StrongFocus);
    if (aspetto_ == Aspetto::LampadaLampeggiante) {
        lampeggio_ = new QTimer(this);
        lampeggio_->setInterval(500);
        connect(lampeggio_, &QTimer::timeout, this, [this] {
            fase_lampeggio_ = !fase_lampeggio_;
            update();
        });
    }
}

bool PulsanteWidget::valore() const {
    return valore_;
}

void PulsanteWidget::imposta_valore(bool v) {
    cambia(v, true);
}

void PulsanteWidget::imposta_valore_silenzioso(bool v) {
    cambia(v, false);
}

void PulsanteWidget::cambia(bool v, bool evento) {
    if (v == valore_) return;
    valore_ = v;
    fase_lampeggio_ = true;
    // The timer runs only while the lamp blinks: an idle window stays asleep.
    if (lampeggio_) {
        if (v)
            lampeggio_->start();
        else
            lampeggio_->stop();
    }
    update();
    if (evento && su_cambio_valore) su_cambio_valore(v);
}

void PulsanteWidget::imposta_testi(const std::string& etichetta, const std::string& testo_on,
                                   const std::string& testo_off) {
    etichetta_ = QString::fromStdString(etichetta);
    on_ = QString::fromStdString(testo_on);
    off_ = QString::fromStdString(testo_off);
    updateGeometry();
    update();
}

void PulsanteWidget::imposta_suggerimento(const std::string& testo) {
    setToolTip(QString::fromStdString(testo));
}

void PulsanteWidget::imposta_immagine(const QIcon& immagine) {
    immagine_ = immagine;
    update();
}

QString PulsanteWidget::etichetta() const {
    return etichetta_;
}

QString PulsanteWidget::testo_on() const {
    return on_;
}

QString PulsanteWidget::testo_off() const {
    return off_;
}

QString PulsanteWidget::testo_mostrato() const {
    return valore_ ? on_ : off_;
}

PulsanteWidget::Aspetto PulsanteWidget::aspetto() const {
    return aspetto_;
}

bool PulsanteWidget::lampada_accesa() const {
    return valore_ && (aspetto_ != Aspetto::LampadaLampeggiante || fase_lampeggio_);
}

QSize PulsanteWidget::sizeHint() const {
    return aspetto_ == Aspetto::Immagine ? QSize(110, 90) : QSize(110, 150);
}

void PulsanteWidget::mousePressEvent(QMouseEvent* e) {
    if (!isEnabled()) {
        e->ignore();
        return;
    }
    int codice = 0;
    switch (e->button()) {
    case Qt::LeftButton:
        codice = 1;
        break;
    case Qt::RightButton:
        codice = 2;
        break;
    case Qt::MiddleButton:
        codice = 4;
        break;
    default:
        break;
    }
    if (codice == 0) {
        e->ignore();
        return;
    }
    // The program reads the button before the value moves (the right button opens its menu).
    if (su_mouse) su_mouse(codice);
    if (codice != 1) return;
    premuto_ = true;
    update();
    if (azione_ == Azione::Momentaneo) cambia(true, true);
}

void PulsanteWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !premuto_) {
        e->ignore();
        return;
    }
    premuto_ = false;
    update();
    const bool dentro = rect().contains(e->position().toPoint());
    if (azione_ == Azione::Momentaneo)
        cambia(false, true);
    else if (dentro)
        cambia(!valore_, true);
    if (dentro && su_click) su_click();
}

void PulsanteWidget::keyPressEvent(QKeyEvent* e) {
    const int k = e->key();
    if (!isEnabled() || (k != Qt::Key_Space && k != Qt::Key_Return && k != Qt::Key_Enter)) {
        QWidget::keyPressEvent(e);
        return;
    }
    // Holding the key down must not make the switch chatter.
    if (e->isAutoRepeat()) return;
    if (azione_ == Azione::Momentaneo) {
        cambia(true, true);
        cambia(false, true);
    } else {
        cambia(!valore_, true);
    }
    if (su_click) su_click();
}

void PulsanteWidget::changeEvent(QEvent* e) {
    // A disabled widget gets no mouse release: a held momentary button would stay on.
    if (e->type() == QEvent::EnabledChange && !isEnabled() && premuto_) {
        premuto_ = false;
        if (azione_ == Azione::Momentaneo) cambia(false, true);
        update();
    }
    QWidget::changeEvent(e);
}

void PulsanteWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool abilitato = isEnabled();
    const QColor testo =
        palette().color(abilitato ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    const double larg = width(), alt = height();
    const double m = std::max(2.0, std::min(larg, alt) / 40);
    QRectF resto(m, m, std::max(1.0, larg - 2 * m), std::max(1.0, alt - 2 * m));

    const bool faccia_senza_icona = aspetto_ == Aspetto::Immagine && immagine_.isNull();
    const double px_testi = std::max(8.0, std::min(alt / 7, 28.0));

    if (!etichetta_.isEmpty() && !faccia_senza_icona) {
        const QFont f = font_adattato(font(), etichetta_, {resto.width(), alt * 0.22}, px_testi);
        const double h = QFontMetricsF(f).height();
        p.setFont(f);
        p.setPen(testo);
        p.drawText(QRectF(resto.left(), resto.top(), resto.width(), h), Qt::AlignCenter,
                   etichetta_);
        resto.setTop(resto.top() + h + m);
    }

    // Room for the on/off text is kept even when the current one is empty, so
    // the lamp does not jump when the value changes.
    if (!on_.isEmpty() || !off_.isEmpty()) {
        const QString mostrato = testo_mostrato();
        const QFont f = font_adattato(font(), mostrato.isEmpty() ? QStringLiteral("X") : mostrato,
                                      {resto.width(), alt * 0.2}, px_testi);
        const double h = QFontMetricsF(f).height();
        const QRectF riga(resto.left(), std::max(resto.top(), resto.bottom() - h), resto.width(),
                          h);
        p.setFont(f);
        p.setPen(valore_ && abilitato ? TESTO_ACCESO : testo);
        p.drawText(riga, Qt::AlignCenter, mostrato);
        resto.setBottom(riga.top() - m);
    }
    if (resto.height() < 2) resto.setHeight(2);

    switch (aspetto_) {
    case Aspetto::LampadaLampeggiante:
    case Aspetto::Lampada:
        disegna_lampada(p, resto, lampada_accesa(), abilitato);
        break;

    case Aspetto::Levetta: {
        const double h = resto.height() * 0.92;
        const double w = std::clamp(h * 0.42, 4.0, resto.width() * 0.6);
        const QRectF fessura(resto.center().x() - w / 2, resto.center().y() - h / 2, w, h);
        p.setPen(QPen(QColor(20, 20, 20), 2));
        p.setBrush(valore_ && abilitato ? LAMPADA_ACCESA.darker(150) : QColor(70, 70, 70));
        p.drawRoundedRect(fessura, w / 2, w / 2);
        const double d = w * 0.9;
        const double y = valore_ ? fessura.top() + w * 0.05 : fessura.bottom() - w * 0.05 - d;
        const QRectF leva(fessura.center().x() - d / 2, y, d, d);
        QRadialGradient sfumatura(leva.center() - QPointF(d * 0.2, d * 0.2), d * 0.7);
        sfumatura.setColorAt(0, QColor(250, 250, 250));
        sfumatura.setColorAt(1, abilitato ? QColor(170, 170, 170) : QColor(120, 120, 120));
        p.setBrush(sfumatura);
        p.drawEllipse(leva);
        break;
    }

    case Aspetto::Immagine: {
        const bool giu = premuto_ || (azione_ == Azione::Interruttore && valore_);
        const QRectF faccia = resto.adjusted(1, 1, -1, -1);
        const QColor base = palette().color(QPalette::Button);
        p.setPen(Qt::NoPen);
        p.setBrush(giu ? base.darker(125) : base);
        p.drawRect(faccia);
        // Bevel: light from the top left when raised, the other way round when pressed.
        const QColor chiaro = base.lighter(150), scuro = base.darker(220);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(giu ? scuro : chiaro, 2));
        p.drawLine(faccia.topLeft(), faccia.topRight());
        p.drawLine(faccia.topLeft(), faccia.bottomLeft());
        p.setPen(QPen(giu ? chiaro : scuro, 2));
        p.drawLine(faccia.bottomLeft(), faccia.bottomRight());
        p.drawLine(faccia.topRight(), faccia.bottomRight());
        const QRectF interno = faccia.adjusted(4, 4, -4, -4).translated(giu ? 1 : 0, giu ? 1 : 0);
        if (!immagine_.isNull()) {
            immagine_.paint(&p, interno.toRect(), Qt::AlignCenter,
                            abilitato ? QIcon::Normal : QIcon::Disabled,
                            valore_ ? QIcon::On : QIcon::Off);
        } else if (!etichetta_.isEmpty()) {
            p.setFont(font_adattato(font(), etichetta_, interno.size(), 48));
            p.setPen(palette().color(abilitato ? QPalette::Active : QPalette::Disabled,
                                     QPalette::ButtonText));
            p.drawText(interno, Qt::AlignCenter, etichetta_);
        }
        break;
    }
    }

    if (hasFocus()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(testo, 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace vexa
