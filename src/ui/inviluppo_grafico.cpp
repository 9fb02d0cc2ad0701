#include "inviluppo_grafico.h"

#include <algorithm>
#include <cmath>

namespace vexa {

namespace {

constexpr long MASSIMO_SALTO = 1L << 16;

} // namespace

void InviluppoGrafico::ricomincia(double origine, double passo, long prima, long ultima) {
    svuota();
    if (!(passo > 0) || !std::isfinite(passo) || !std::isfinite(origine)) return;
    origine_ = origine;
    passo_ = passo;
    prima_ = prima;
    ultima_ = std::max(prima, ultima);
}

void InviluppoGrafico::svuota() {
    colonne_.clear();
    origine_ = passo_ = 0;
    prima_ = 0;
    ultima_ = mancante_da_ = LONG_MAX;
    ++versione_;
}

long InviluppoGrafico::colonna(double x) const {
    const double k = std::floor((x - origine_) / passo_);
    // Far beyond any view: pinned, so the conversion stays defined.
    return static_cast<long>(std::clamp(k, -1e15, 1e15));
}

void InviluppoGrafico::togli_prima_di(long k) {
    if (k <= prima_) return;
    const auto via = static_cast<std::size_t>(std::min<long>(k - prima_, static_cast<long>(colonne_.size())));
    colonne_.erase(colonne_.begin(), colonne_.begin() + static_cast<std::ptrdiff_t>(via));
    prima_ = k;
    if (ultima_ < prima_) ultima_ = prima_;
    ++versione_;
}

void InviluppoGrafico::imposta_ultima(long k) {
    k = std::max(k, prima_);
    if (k < ultima_ && static_cast<long>(colonne_.size()) > k - prima_ + 1) {
        colonne_.resize(static_cast<std::size_t>(k - prima_ + 1));
        // What was dropped is missing again if the columns reach it later.
        mancante_da_ = std::min(mancante_da_, k + 1);
        ++versione_;
    }
    ultima_ = k;
}

void InviluppoGrafico::aggiungi(double x, double y) {
    if (!valido() || !std::isfinite(x)) return;
    const long k = colonna(x);
    if (k < prima_) return;
    // A point far beyond the columns there are would make all the columns
    // between: it waits, as missing, for a view that reaches it.
    const long fine = prima_ + static_cast<long>(colonne_.size());
    if (k > ultima_ || k - fine > MASSIMO_SALTO) {
        mancante_da_ = std::min(mancante_da_, k);
        return;
    }
    const auto i = static_cast<std::size_t>(k - prima_);
    if (i >= colonne_.size()) colonne_.resize(i + 1);
    Colonna& c = colonne_[i];
    const Punto p{x, y};
    if (!c.piena) {
        c = {p, p, p, p, true};
    } else {
        if (x < c.primo.x) c.primo = p;
        if (x >= c.ultimo.x) c.ultimo = p;
        if (y < c.minimo.y) c.minimo = p;
        if (y > c.massimo.y) c.massimo = p;
    }
    ++versione_;
}

void InviluppoGrafico::punti(std::vector<Punto>& out) const {
    out.clear();
    for (const Colonna& c : colonne_) {
        if (!c.piena) continue;
        Punto q[4] = {c.primo, c.minimo, c.massimo, c.ultimo};
        // The lowest and the highest in the order they came; first and last stay at the ends.
        if (q[2].x < q[1].x) std::swap(q[1], q[2]);
        out.insert(out.end(), q, q + 4);
    }
}

} // namespace vexa
