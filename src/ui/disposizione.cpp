#include "disposizione.h"

#include <cmath>

namespace vexa {

QRect arrotonda(const QRectF& r) {
    const int l = static_cast<int>(std::lround(r.left()));
    const int t = static_cast<int>(std::lround(r.top()));
    const int rr = static_cast<int>(std::lround(r.right()));
    const int b = static_cast<int>(std::lround(r.bottom()));
    return QRect(l, t, rr - l, b - t);
}

PannelliPrincipali disponi_pannelli(double W, double H) {
    PannelliPrincipali p;
    p.intestazione = QRectF(0, 0, W, 0.12 * H);
    p.grafici = QRectF(0, p.intestazione.top() + p.intestazione.height(), W, 0.75 * H);
    p.comandi = QRectF(0, p.grafici.top() + p.grafici.height(), W, 0.13 * H);
    return p;
}

Intestazione disponi_intestazione(double w, double h) {
    Intestazione i;
    i.configura = QRectF(0, 0, w / 9, h);
    const double bw = i.configura.width();
    i.riga1 = QRectF(bw + da_twip(300), da_twip(50), w - bw, h / 2);
    i.riga2 = QRectF(bw + da_twip(300), i.riga1.top() + i.riga1.height(), (w - bw) * 2 / 3, h / 2);
    i.spostamento = QRectF(i.riga2.left() + i.riga2.width(), i.riga2.top(), w / 8, i.riga2.height());
    return i;
}

Grafici disponi_grafici(double w, double h) {
    Grafici g;
    g.slide = QRectF(0, 0, 0.1 * w, 0.7 * h);
    g.grafico0 = QRectF(g.slide.left() + g.slide.width(), 0, 0.45 * w, g.slide.height());
    g.num_vel = g.grafico0;
    g.grafico1 = QRectF(g.grafico0.left() + g.grafico0.width(), 0, 0.45 * w, g.slide.height());
    g.lbl_valori = QRectF(0, g.slide.top() + g.slide.height(), w, h / 26);
    const double alto_titoli = g.lbl_valori.top() + g.lbl_valori.height();
    const double alto_liste = alto_titoli + g.lbl_valori.height();
    for (std::size_t i = 0; i < g.titoli.size(); ++i) {
        const double sinistra = static_cast<double>(i) * (w / 15);
        g.titoli[i] = QRectF(sinistra, alto_titoli, w / 15, g.lbl_valori.height());
        g.colonne[i] = QRectF(sinistra, alto_liste, w / 15, h - alto_liste);
    }
    return g;
}

std::array<QRectF, 9> disponi_comandi(double w, double h) {
    // Widths and the 200-twip gaps that split the row into its four groups.
    const double larghezze[9] = {w / 9, w / 10, w / 10, w / 10, w / 10, w / 10, w / 10, w / 10, w / 8.7};
    const bool spazio_prima[9] = {false, false, false, true, true, false, false, true, false};
    std::array<QRectF, 9> r;
    double sinistra = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (i > 0) sinistra = r[i - 1].left() + r[i - 1].width() + (spazio_prima[i] ? da_twip(200) : 0);
        r[i] = QRectF(sinistra, 0, larghezze[i], h);
    }
    return r;
}

QRectF Viste::singola(const QRectF& attuale, double L, double W) {
    return QRectF(L, attuale.top(), W - L, attuale.height());
}

QRectF Viste::doppia_tempo(const QRectF& attuale, double L, double W, double altezza_slide) {
    return QRectF(L, attuale.top(), 0.45 * W, altezza_slide);
}

QRectF Viste::doppia_ripetizioni(const QRectF& tempo, double W, double altezza_slide) {
    return QRectF(tempo.left() + tempo.width(), tempo.top(), 0.45 * W, altezza_slide);
}

} // namespace vexa
