// Where the panels and their controls go, from the inner sizes alone. The
// layout rules were drawn in twips; the fractions hold in any unit and the
// fixed offsets (50, 200, 300 twips) become pixels at 15 twips per pixel.
// Everything is computed in pixels as real numbers and rounded only when a
// rectangle is handed to a widget, so fifteen columns of w/15 fill the width
// exactly instead of losing a pixel per column.
#pragma once

#include <QRect>
#include <QRectF>

#include <array>

namespace vexa {

inline constexpr double TWIP_PER_PIXEL = 15.0;
inline constexpr double da_twip(double twip) { return twip / TWIP_PER_PIXEL; }

// Rounds the edges, not the size, so neighbours stay flush.
QRect arrotonda(const QRectF& r);

struct PannelliPrincipali {
    QRectF intestazione, grafici, comandi;
};
// W, H: the main window's inner size.
PannelliPrincipali disponi_pannelli(double W, double H);

struct Intestazione {
    QRectF configura, riga1, riga2, spostamento;
};
Intestazione disponi_intestazione(double w, double h);

struct Grafici {
    QRectF slide, grafico0, num_vel, grafico1, lbl_valori;
    std::array<QRectF, 15> titoli, colonne;
};
Grafici disponi_grafici(double w, double h);

// The nine command buttons, left to right, in the panel's order.
std::array<QRectF, 9> disponi_comandi(double w, double h);

// The three graph views. L = slide left + width, W = graph window inner width.
struct Viste {
    // single view: the shown graph from L to W (height unchanged)
    static QRectF singola(const QRectF& attuale, double L, double W);
    // dual view: both 0.45 W wide, time graph at L, repetitions graph right of it
    static QRectF doppia_tempo(const QRectF& attuale, double L, double W, double altezza_slide);
    static QRectF doppia_ripetizioni(const QRectF& tempo, double W, double altezza_slide);
};

} // namespace vexa
