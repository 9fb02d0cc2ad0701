// The points of one live curve, bounded: the whole trial stays in the recorded
// samples, a graph only shows it. The newest `punti_pieni` points are kept at
// full resolution; older ones are thinned to the lowest and the highest point
// of each `secondi_per_colonna` column of x, and thinned points older than
// `secondi_storico` before the newest are dropped.
//
// Points wait here until the display clock moves them in; each move says what
// it changed, so a plot mirroring the points copies only that, never the
// whole curve.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace vexa {

struct LimiteStorico {
    std::size_t punti_pieni = 80000;
    double secondi_per_colonna = 0.1;
    double secondi_storico = 3600;
};

struct Punto {
    double x = 0, y = 0;
    bool operator==(const Punto&) const = default;
};

class StoricoGrafico {
public:
    using Punti = std::deque<Punto>;

    // What a move did to one part (full-resolution or thinned) of the curve:
    // of the points the part had, the first `tolti` are gone and the rest are
    // its first `nuovi_da` points now; its points from `nuovi_da` on are new.
    // A point arriving among older ones shows as all old points gone.
    struct Cambiamento {
        std::size_t tolti = 0;
        std::size_t nuovi_da = 0;
    };
    struct Cambiamenti {
        Cambiamento pieni, diradati;
    };

    // Unlimited keeps every point, at full resolution: the repetitions graph
    // holds a few dozen.
    explicit StoricoGrafico(bool limitato = true);

    // A zero or broken column width would make each point a column of its own.
    void imposta_limite(const LimiteStorico& l);
    const LimiteStorico& limite() const { return limite_; }

    // Stored for the next move; false (and nothing stored) for an x that is not finite.
    bool accoda(double x, double y);
    std::size_t in_attesa() const { return in_attesa_.size(); }
    // Moves the waiting points in, in x order (a point earlier than those
    // already in goes to its place), then thins and cuts the history.
    Cambiamenti sposta_in_attesa();
    void cancella();

    // Both in x order; every thinned point comes before the full-resolution ones
    // unless a point arrived out of order.
    const Punti& pieni() const { return pieni_; }
    const Punti& diradati() const { return diradati_; }
    std::size_t dimensione() const { return pieni_.size() + diradati_.size(); }
    // Points with x in [da, a], in either part: two searches, no scan.
    std::size_t quanti_tra(double da, double a) const;
    // The points waiting for the next move, in the order they came.
    const std::vector<Punto>& attesa() const { return in_attesa_; }
    // The point nearest to x in either part; on a tie the earlier one, and
    // the full-resolution one over a thinned one.
    std::optional<Punto> piu_vicino(double x) const;

private:
    void inserisci(Punti& parte, std::vector<Punto>& nuovi, bool ordinati, Cambiamento& c);
    void togli(Punti& parte, std::size_t n, Cambiamento& c);
    void dirada(Cambiamenti& c);

    bool limitato_;
    LimiteStorico limite_;
    std::vector<Punto> in_attesa_;
    bool in_attesa_ordinati_ = true;
    Punti pieni_, diradati_;
    std::vector<Punto> appoggio_; // reused by every thinning
};

} // namespace vexa
