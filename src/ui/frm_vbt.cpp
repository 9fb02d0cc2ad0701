#include "frm_vbt.h"

#include "analysis/formato.h"
#include "analysis/vbt.h"
#include "servizi_widget.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace vexa {

namespace {

// The working screen's scale colours: light on dark, readable at the rack.
const QColor SFONDO(24, 24, 24);
const QColor TESTO(240, 240, 240);
const QColor GRIGLIA(70, 70, 70);
const QColor BARRA(70, 150, 230);
const QColor BARRA_STOP(220, 40, 40);
const QColor LINEA_STOP(255, 140, 0);
const QColor ROSSO_STOP(200, 0, 0);
const QString TITOLO = QStringLiteral("Vmedia (mm/s)");

// The largest bold font, up to `massimo` pixels, whose line of `testo` fits `spazio`.
QFont adattato(QFont f, const QString& testo, QSizeF spazio, double massimo) {
    f.setBold(true);
    f.setPixelSize(100);
    const QFontMetricsF fm(f);
    const double px = std::min({massimo, 100 * spazio.width() / std::max(1.0, fm.horizontalAdvance(testo)),
                                100 * spazio.height() / std::max(1.0, fm.height())});
    f.setPixelSize(std::max(6, static_cast<int>(px)));
    return f;
}

// 1, 2 or 5 times a power of ten, at least `grezzo`.
double passo_tondo(double grezzo) {
    if (!(grezzo > 0) || !std::isfinite(grezzo)) return 1;
    const double p = std::pow(10.0, std::floor(std::log10(grezzo)));
    const double f = grezzo / p;
    return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * p;
}

const char* const TITOLI[] = {"N°Rip",       "Vmedia\n(mm/s)", "VMP\n(mm/s)", "Vmax\n(mm/s)",
                              "Pmedia\n(W)", "Pmax\n(W)",      "Perdita\n(%)"};
constexpr int COLONNE = 7;

} // namespace

// ---------------------------------------------------------------- GraficoVbt

GraficoVbt::GraficoVbt(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(160);
}

void GraficoVbt::imposta(std::vector<IndiciVbt> barre, UltimaVbt ultima, float migliore, float soglia,
                         int selezionata) {
    barre_ = std::move(barre);
    ultima_ = ultima;
    migliore_ = migliore;
    soglia_ = soglia;
    selezionata_ = selezionata;
    update();
}

double GraficoVbt::linea_stop() const {
    if (!(soglia_ > 0) || !(migliore_ > 0)) return 0;
    return static_cast<double>(migliore_) * (1 - static_cast<double>(soglia_) / 100);
}

double GraficoVbt::massimo_scala() const {
    double m = 100;
    // A broken file can give an infinite mean velocity; the grid below counts
    // up to the top of the scale and would never get there.
    for (const IndiciVbt& b : barre_)
        if (std::isfinite(b.vmedia_conc)) m = std::max(m, static_cast<double>(b.vmedia_conc));
    const double passo = passo_tondo(m / 4);
    return std::ceil(m * 1.12 / passo) * passo;
}

QRectF GraficoVbt::area_barre() const {
    const double m = std::max(4.0, height() / 40.0);
    const QFontMetricsF fm(font());
    const double sinistra = fm.horizontalAdvance(QStringLiteral("00000")) + 2 * m;
    return QRectF(sinistra, m + fm.height(), std::max(1.0, width() - sinistra - m),
                  std::max(1.0, height() - 2 * m - 2 * fm.height()));
}

void GraficoVbt::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), SFONDO);
    const QRectF a = area_barre();
    const QFontMetricsF fm(font());
    const double alto = massimo_scala();
    const auto y_di = [&](double v) { return a.bottom() - std::clamp(v / alto, 0.0, 1.0) * a.height(); };

    p.setFont(font());
    p.setPen(TESTO);
    p.drawText(QRectF(0, 0, width(), fm.height() + 4), Qt::AlignCenter, TITOLO);
    const double passo = passo_tondo(alto / 5);
    for (double v = 0; v <= alto + passo * 1e-6; v += passo) {
        const double y = y_di(v);
        p.setPen(QPen(GRIGLIA, 1));
        p.drawLine(QPointF(a.left(), y), QPointF(a.right(), y));
        p.setPen(TESTO);
        p.drawText(QRectF(0, y - fm.height() / 2, a.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'f', 0));
    }

    const int n = static_cast<int>(barre_.size());
    // Room for a usual set at a readable width; a long one packs tighter.
    const double posto = a.width() / std::max(n, 8);
    // Numbers that would run into each other go by round steps: every 2nd,
    // 5th, 10th... The newest keeps its own where it has room.
    const double largo = n ? fm.horizontalAdvance(QString::number(barre_.back().numero)) + 6 : 0;
    const auto ogni = static_cast<int32_t>(std::max(1.0, passo_tondo(largo / posto)));
    for (int i = 0; i < n; ++i) {
        const IndiciVbt& b = barre_[static_cast<std::size_t>(i)];
        const bool extra = i == n - 1 && ultima_ != UltimaVbt::Nessuna;
        const double x = a.left() + posto * i + posto * 0.15;
        const QRectF barra(x, y_di(b.vmedia_conc), posto * 0.7, a.bottom() - y_di(b.vmedia_conc));
        const QColor colore = soglia_raggiunta(b.perdita, soglia_) ? BARRA_STOP : BARRA;
        if (extra) {
            p.setPen(QPen(colore, 2, Qt::DashLine));
            p.setBrush(QBrush(colore, Qt::BDiagPattern));
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(colore);
        }
        p.drawRect(barra);
        if (i == selezionata_) {
            p.setPen(QPen(Qt::white, 3));
            p.setBrush(Qt::NoBrush);
            p.drawRect(barra.adjusted(-2, -2, 2, 2));
        }
        p.setPen(TESTO);
        if (b.numero % ogni == 0 || (i == n - 1 && (b.numero % ogni) * posto >= largo))
            p.drawText(QRectF(x + posto * 0.35 - std::max(posto, largo) / 2, a.bottom() + 2, std::max(posto, largo),
                              fm.height()),
                       Qt::AlignCenter, QString::number(b.numero));
        if (posto >= fm.horizontalAdvance(QStringLiteral("0000")))
            p.drawText(QRectF(x - posto * 0.15, barra.top() - fm.height() - 1, posto, fm.height()), Qt::AlignCenter,
                       QString::number(std::round(static_cast<double>(b.vmedia_conc)), 'f', 0));
    }

    if (const double v = linea_stop(); v > 0) {
        const double y = y_di(v);
        p.setPen(QPen(LINEA_STOP, 3, Qt::DashLine));
        p.drawLine(QPointF(a.left(), y), QPointF(a.right(), y));
        // The caption goes in the title's row, as a legend: on the line it
        // would cover the newest bars of a long set. Where the row is too
        // narrow for both, on the line after all.
        const QString t = QStringLiteral("STOP -%1 %").arg(QString::number(static_cast<double>(soglia_), 'g', 4));
        const double fine = a.right() - 4, inizio = fine - fm.horizontalAdvance(t);
        const double campione = inizio - 4 - 2 * fm.height();
        if (campione > (width() + fm.horizontalAdvance(TITOLO)) / 2 + 8) {
            const double riga = (fm.height() + 4) / 2;
            p.drawLine(QPointF(campione, riga), QPointF(inizio - 4, riga));
            p.setPen(LINEA_STOP);
            p.drawText(QRectF(inizio, 0, fine - inizio, fm.height() + 4), Qt::AlignRight | Qt::AlignVCenter, t);
        } else {
            p.setPen(LINEA_STOP);
            p.drawText(QRectF(a.left(), y - fm.height() - 1, a.width() - 4, fm.height()), Qt::AlignRight, t);
        }
    }
}

void GraficoVbt::mousePressEvent(QMouseEvent* e) {
    const QRectF a = area_barre();
    const int n = static_cast<int>(barre_.size());
    const double posto = a.width() / std::max(n, 8);
    const int i = static_cast<int>(std::floor((e->position().x() - a.left()) / posto));
    if (i >= 0 && i < n && su_click) su_click(i);
}

// ---------------------------------------------------------------- LetturaPerdita

LetturaPerdita::LetturaPerdita(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(150);
}

void LetturaPerdita::imposta(double perdita, bool stop, bool provvisoria, char separatore) {
    testo_ = perdita < 0 ? QStringLiteral("-") : QString::fromStdString(formatta(perdita, 1, separatore)) + " %";
    stop_ = stop;
    provvisoria_ = provvisoria;
    update();
}

void LetturaPerdita::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(rect(), stop_ ? ROSSO_STOP : Qt::black);
    const double w = width(), h = height();
    const QString didascalia =
        provvisoria_ ? QStringLiteral("Perdita di velocità (provvisoria)") : QStringLiteral("Perdita di velocità");
    QRectF sopra(0, 0, w, h * 0.22);
    QRectF valore(0, h * 0.22, w, h * 0.78);
    if (stop_) {
        // "STOP" is what the athlete must read; the loss stays, smaller, beside the caption.
        p.setPen(Qt::white);
        p.setFont(adattato(font(), didascalia + "  " + testo_, sopra.size() * 0.9, 60));
        p.drawText(sopra, Qt::AlignCenter, didascalia + "  " + testo_);
        p.setFont(adattato(font(), QStringLiteral("STOP"), valore.size() * 0.9, 400));
        p.drawText(valore, Qt::AlignCenter, QStringLiteral("STOP"));
        return;
    }
    p.setPen(QColor(200, 200, 200));
    p.setFont(adattato(font(), didascalia, sopra.size() * 0.9, 40));
    p.drawText(sopra, Qt::AlignCenter, didascalia);
    QFont f = adattato(font(), QStringLiteral("00,0 %"), valore.size() * 0.9, 400);
    f.setItalic(provvisoria_);
    p.setFont(f);
    p.setPen(provvisoria_ ? QColor(150, 150, 150) : Qt::white);
    p.drawText(valore, Qt::AlignCenter, testo_);
}

// ---------------------------------------------------------------- Frm_vbt

Frm_vbt::Frm_vbt(const Stato& stato, QWidget* parent)
    : QWidget(parent, Qt::Window), separatore(separatore_di_sistema()), s_(stato) {
    setObjectName(QStringLiteral("Frm_vbt"));
    setWindowTitle(QStringLiteral("Indici VBT"));
    Lettura = new LetturaPerdita(this);
    Lettura->setObjectName(QStringLiteral("Lettura_perdita"));
    Grafico = new GraficoVbt(this);
    Grafico->setObjectName(QStringLiteral("Grafico_vbt"));
    Tabella = new QTableWidget(0, COLONNE, this);
    Tabella->setObjectName(QStringLiteral("Tabella_vbt"));
    for (int c = 0; c < COLONNE; ++c)
        Tabella->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(TITOLI[c])));
    Tabella->verticalHeader()->hide();
    Tabella->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Tabella->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tabella->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tabella->setSelectionMode(QAbstractItemView::SingleSelection);
    QFont f = Tabella->font();
    f.setPointSizeF(std::max(11.0, f.pointSizeF() * 1.2));
    Tabella->setFont(f);
    // Room for "12 (non elencata)" beside the number, whether or not it shows:
    // the columns do not jump when a provisional row comes and goes.
    Tabella->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    Tabella->setColumnWidth(0, QFontMetrics(f).horizontalAdvance(QStringLiteral("00 (non elencata)")) + 16);

    auto* l = new QVBoxLayout(this);
    l->addWidget(Lettura, 3);
    l->addWidget(Grafico, 3);
    l->addWidget(Tabella, 4);
    resize(680, 720);

    connect(Tabella, &QTableWidget::currentCellChanged, this, [this](int riga, int, int, int) { scegli(riga); });
    Grafico->su_click = [this](int barra) {
        if (barra < elencate_) {
            seleziona(barra);
            scegli(barra);
        }
    };
    aggiorna();
}

void Frm_vbt::aggiorna(const std::optional<IndiciVbt>& extra, UltimaVbt ultima) {
    const QSignalBlocker blocco(Tabella);
    const auto& elencate = s_.indici_vbt;
    const int n = static_cast<int>(elencate.size());
    // A trial emptied and refilled since the last look: start over.
    if (n < elencate_) elencate_ = 0;
    Tabella->setRowCount(elencate_);
    const char sep = separatore;
    auto riempi = [&](int riga, const IndiciVbt& x, const QString& numero, bool normale) {
        const QString testi[COLONNE] = {numero,
                                        QString::fromStdString(formatta(x.vmedia_conc, 0, sep)),
                                        QString::fromStdString(formatta(x.vmp, 0, sep)),
                                        QString::fromStdString(formatta(x.vmax_conc, 0, sep)),
                                        QString::fromStdString(formatta(x.potenza_media, 0, sep)),
                                        QString::fromStdString(formatta(x.potenza_picco, 0, sep)),
                                        QString::fromStdString(formatta(x.perdita, 1, sep))};
        for (int c = 0; c < COLONNE; ++c) {
            auto* item = new QTableWidgetItem(testi[c]);
            item->setTextAlignment(Qt::AlignCenter);
            if (!normale) {
                QFont f = Tabella->font();
                f.setItalic(true);
                item->setFont(f);
                item->setForeground(QColor(110, 110, 110));
                item->setFlags(Qt::ItemIsEnabled);
            }
            if (normale && soglia_raggiunta(x.perdita, s_.soglia_perdita) && c == COLONNE - 1)
                item->setForeground(BARRA_STOP);
            Tabella->setItem(riga, c, item);
        }
    };
    Tabella->setRowCount(n);
    for (int r = elencate_; r < n; ++r)
        riempi(r, elencate[static_cast<std::size_t>(r)], QString::number(elencate[static_cast<std::size_t>(r)].numero),
               true);
    elencate_ = n;
    extra_ = extra.has_value() && ultima != UltimaVbt::Nessuna;
    if (extra_) {
        Tabella->setRowCount(n + 1);
        const QString stato =
            ultima == UltimaVbt::Provvisoria ? QStringLiteral("provvisoria") : QStringLiteral("non elencata");
        riempi(n, *extra, QString::number(extra->numero) + " (" + stato + ")", false);
        Tabella->scrollToBottom();
    }

    std::vector<IndiciVbt> barre = elencate;
    if (extra_) barre.push_back(*extra);
    Grafico->imposta(std::move(barre), extra_ ? ultima : UltimaVbt::Nessuna, s_.vmedia_migliore, s_.soglia_perdita,
                     riga_selezionata());
    const bool provvisoria = extra_ && ultima == UltimaVbt::Provvisoria;
    const double perdita = provvisoria ? extra->perdita : n > 0 ? elencate.back().perdita : -1;
    Lettura->imposta(perdita, s_.stop_dato, provvisoria, sep);
}

void Frm_vbt::seleziona(int riga) {
    const QSignalBlocker blocco(Tabella);
    if (riga >= 0 && riga < elencate_) {
        Tabella->setCurrentCell(riga, 0);
        Tabella->selectRow(riga);
    } else {
        Tabella->clearSelection();
        Tabella->setCurrentCell(-1, -1);
    }
    Grafico->seleziona(riga_selezionata());
}

int Frm_vbt::riga_selezionata() const {
    const int r = Tabella->currentRow();
    return r >= 0 && r < elencate_ ? r : -1;
}

void Frm_vbt::scegli(int riga) {
    if (riga < 0 || riga >= elencate_) return;
    if (su_selezione) su_selezione(riga);
}

void Frm_vbt::closeEvent(QCloseEvent* e) {
    e->accept();
    if (su_chiusura) su_chiusura();
}

} // namespace vexa
