#include "storico_grafico.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace vexa {

namespace {

bool x_minore(const Punto& a, const Punto& b) { return a.x < b.x; }

std::optional<Punto> vicino(const StoricoGrafico::Punti& punti, double x) {
    if (punti.empty()) return std::nullopt;
    const auto it = std::lower_bound(punti.begin(), punti.end(), Punto{x, 0}, x_minore);
    if (it == punti.end()) return punti.back();
    if (it == punti.begin()) return *it;
    const auto prima = it - 1;
    return (x - prima->x <= it->x - x) ? *prima : *it;
}

// Every old point is gone from the mirror's point of view: it starts over.
void da_capo(StoricoGrafico::Cambiamento& c) {
    c.tolti += c.nuovi_da;
    c.nuovi_da = 0;
}

} // namespace

StoricoGrafico::StoricoGrafico(bool limitato) : limitato_(limitato) { in_attesa_.reserve(1024); }

void StoricoGrafico::imposta_limite(const LimiteStorico& l) {
    limite_ = l;
    if (!(limite_.secondi_per_colonna > 0) || !std::isfinite(limite_.secondi_per_colonna))
        limite_.secondi_per_colonna = 0.1;
    if (!(limite_.secondi_storico >= 0)) limite_.secondi_storico = 0;
}

bool StoricoGrafico::accoda(double x, double y) {
    if (!std::isfinite(x)) return false;
    if (!in_attesa_.empty() && x < in_attesa_.back().x) in_attesa_ordinati_ = false;
    in_attesa_.push_back({x, y});
    return true;
}

void StoricoGrafico::cancella() {
    in_attesa_.clear();
    in_attesa_ordinati_ = true;
    pieni_.clear();
    diradati_.clear();
}

StoricoGrafico::Cambiamenti StoricoGrafico::sposta_in_attesa() {
    Cambiamenti c{{0, pieni_.size()}, {0, diradati_.size()}};
    if (in_attesa_.empty()) return c;
    inserisci(pieni_, in_attesa_, in_attesa_ordinati_, c.pieni);
    in_attesa_.clear(); // keeps its capacity for the next frame
    in_attesa_ordinati_ = true;
    if (limitato_) dirada(c);
    return c;
}

// Placed as the plots always placed their points, so equal x keep their
// order: a sorted batch no later than the first point goes in front, any
// other batch after the last point, merged in where it overlaps.
void StoricoGrafico::inserisci(Punti& parte, std::vector<Punto>& nuovi, bool ordinati, Cambiamento& c) {
    if (nuovi.empty()) return;
    const std::size_t vecchi = parte.size();
    if (ordinati && vecchi > 0 && !(parte.front().x < nuovi.back().x)) {
        parte.insert(parte.begin(), nuovi.begin(), nuovi.end());
        da_capo(c);
        return;
    }
    if (!ordinati) std::sort(nuovi.begin(), nuovi.end(), x_minore);
    parte.insert(parte.end(), nuovi.begin(), nuovi.end());
    const auto meta = parte.begin() + static_cast<std::ptrdiff_t>(vecchi);
    if (vecchi > 0 && meta->x < (meta - 1)->x) {
        std::inplace_merge(parte.begin(), meta, parte.end(), x_minore);
        da_capo(c);
    }
}

void StoricoGrafico::togli(Punti& parte, std::size_t n, Cambiamento& c) {
    if (n == 0) return;
    parte.erase(parte.begin(), parte.begin() + static_cast<std::ptrdiff_t>(n));
    if (n <= c.nuovi_da) {
        c.tolti += n;
        c.nuovi_da -= n;
    } else {
        da_capo(c);
    }
}

void StoricoGrafico::dirada(Cambiamenti& c) {
    const std::size_t pieni = std::clamp<std::size_t>(limite_.punti_pieni, 1, INT_MAX / 2);
    // Thin in chunks, not point by point: each pass costs a scan and an erase.
    const std::size_t blocco = std::max<std::size_t>(1, pieni / 10);
    const std::size_t n = pieni_.size();
    if (n <= pieni + blocco) return;

    // Cut where a column starts, so each column is thinned once, in one pass;
    // the column the cut falls in waits for the next pass.
    const double passo = limite_.secondi_per_colonna;
    const auto colonna = [passo](const Punto& p) { return std::floor(p.x / passo); };
    const auto inizio = pieni_.cbegin();
    const auto eccesso = inizio + static_cast<std::ptrdiff_t>(n - pieni);
    const double colonna_taglio = colonna(*eccesso);
    auto fine = std::partition_point(inizio, eccesso, [&](const Punto& p) { return colonna(p) < colonna_taglio; });
    if (fine == inizio) // a column wider than the whole excess
        fine = std::lower_bound(inizio, pieni_.cend(), *eccesso, x_minore);
    if (fine == inizio) return; // every excess point shares the cut's x

    // Per column, its lowest and its highest point, in x order: a spike survives
    // the thinning however short it was.
    appoggio_.clear();
    for (auto da = inizio; da != fine;) {
        const double col = colonna(*da);
        auto mn = da, mx = da;
        auto it = da + 1;
        for (; it != fine && colonna(*it) == col; ++it) {
            if (it->y < mn->y) mn = it;
            if (it->y > mx->y) mx = it;
        }
        if (mn == mx) {
            appoggio_.push_back(*mn);
        } else {
            appoggio_.push_back(mn < mx ? *mn : *mx);
            appoggio_.push_back(mn < mx ? *mx : *mn);
        }
        da = it;
    }
    inserisci(diradati_, appoggio_, true, c.diradati);
    // The points before `fine` have smaller x than all after it.
    togli(pieni_, static_cast<std::size_t>(fine - inizio), c.pieni);
    const Punto piu_vecchio{pieni_.back().x - limite_.secondi_storico, 0};
    const auto via = std::lower_bound(diradati_.begin(), diradati_.end(), piu_vecchio, x_minore);
    togli(diradati_, static_cast<std::size_t>(via - diradati_.begin()), c.diradati);
}

std::size_t StoricoGrafico::quanti_tra(double da, double a) const {
    if (!(da <= a)) return 0;
    std::size_t n = 0;
    for (const Punti* parte : {&diradati_, &pieni_}) {
        const auto inizio = std::lower_bound(parte->begin(), parte->end(), Punto{da, 0}, x_minore);
        const auto fine = std::upper_bound(inizio, parte->end(), Punto{a, 0}, x_minore);
        n += static_cast<std::size_t>(fine - inizio);
    }
    return n;
}

std::optional<Punto> StoricoGrafico::piu_vicino(double x) const {
    std::optional<Punto> v = vicino(pieni_, x);
    const std::optional<Punto> vd = vicino(diradati_, x);
    if (vd && (!v || std::abs(vd->x - x) < std::abs(v->x - x))) v = vd;
    return v;
}

} // namespace vexa
