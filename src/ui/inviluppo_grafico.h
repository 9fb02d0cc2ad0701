// What a pixel can show of a dense curve: per column of x, its first and last
// point (so the line joins the next column where the data does) and its
// lowest and highest (so a spike one sample wide still shows). A few thousand
// points stand for the hundreds of thousands a live view holds.
//
// The columns lie on a grid fixed in x, not in the view: a view scrolling by
// whole columns only adds columns on the right and drops them on the left.
// Points go into their column in any order; a column's first and last are
// those of least and greatest x.
#pragma once

#include "storico_grafico.h"

#include <climits>
#include <cstddef>
#include <deque>
#include <vector>

namespace vexa {

class InviluppoGrafico {
public:
    // Empty, columns `passo` wide from `origine` on; kept are the columns from
    // `prima` to `ultima`. A zero, negative or broken width leaves it invalid.
    void ricomincia(double origine, double passo, long prima, long ultima = LONG_MAX);
    void svuota();
    bool valido() const { return passo_ > 0; }
    double origine() const { return origine_; }
    double passo() const { return passo_; }
    long colonna(double x) const;
    long prima() const { return prima_; }
    long ultima() const { return ultima_; }

    // Drops the columns before `k` (which becomes the first kept), or after it.
    void togli_prima_di(long k);
    void imposta_ultima(long k);

    // Into its column; a point left of the columns kept is not, and one right
    // of them is remembered as missing (see mancante_da).
    void aggiungi(double x, double y);
    // The leftmost column a point was refused for on the right since the
    // last ricomincia; LONG_MAX when none was.
    long mancante_da() const { return mancante_da_; }

    std::size_t colonne() const { return colonne_.size(); }
    // Counts every change: a copy of the points made at one count is still good at the same count.
    unsigned long versione() const { return versione_; }
    // Four points a column, in x order, the same point twice where it is
    // two of them: every column drawn the same way, as the plot thins a
    // curve with more points than pixels into the same four.
    void punti(std::vector<Punto>& out) const;

private:
    struct Colonna {
        Punto primo, minimo, massimo, ultimo;
        bool piena = false;
    };

    double origine_ = 0, passo_ = 0;
    long prima_ = 0, ultima_ = LONG_MAX, mancante_da_ = LONG_MAX;
    std::deque<Colonna> colonne_; // colonne_[i] is column prima_ + i
    unsigned long versione_ = 0;
};

} // namespace vexa
