#include "vbt.h"

#include <algorithm>
#include <limits>

namespace vexa {

double perdita_velocita(float migliore, float vmedia) {
    if (!(migliore > 0)) return 0;
    const double b = static_cast<double>(migliore);
    return (b - static_cast<double>(vmedia)) / b * 100;
}

bool soglia_raggiunta(double perdita, float soglia) {
    return soglia > 0 && perdita >= static_cast<double>(soglia) - 1e-9;
}

IndiciVbt CalcoloVbt::indici(const Ripetizione& P, int32_t n, float carico_kg) const {
    return calcola(P, n, carico_kg, nullptr);
}

IndiciVbt CalcoloVbt::indici_con_cima_ferma(const Ripetizione& P, int32_t n, float carico_kg) const {
    if (fase_vuota()) return calcola(P, n, carico_kg, nullptr);
    const Grezzo cima{ultimo_tempo(), 0.0f, ultima_posizione()};
    return calcola(P, n, carico_kg, &cima);
}

IndiciVbt CalcoloVbt::calcola(const Ripetizione& P, int32_t n, float carico_kg, const Grezzo* cima) const {
    IndiciVbt f;
    f.numero = n;
    f.vmedia_conc = P.vmedia_conc;
    f.vmax_conc = P.vmax_conc;
    // What the ring still holds of the time base, and of the phase in it.
    const uint64_t dati = n_;
    const uint64_t primo = std::max(base_, dati > CAPACITA ? dati - CAPACITA : 0);
    const uint64_t inizio = std::max(inizio_fase_, primo);
    const uint64_t fine = dati + (cima ? 1 : 0); // one past the top
    if (inizio >= fine) return f;
    const Grezzo* const anello = anello_.data();
    const auto x = [&](uint64_t i) -> const Grezzo& { return i == dati ? *cima : anello[i & MASCHERA]; };
    const auto lontano = [](double t, const Grezzo& j) {
        return t - static_cast<double>(j.tempo) >= FINESTRA_ACCELERAZIONE;
    };
    const auto accelerazione = [](const Grezzo& k, const Grezzo& j) {
        return (static_cast<double>(k.velocita) - static_cast<double>(j.velocita)) /
               (static_cast<double>(k.tempo) - static_cast<double>(j.tempo)) / 1000;
    };
    // How many samples from `primo` lie at least a window before the first
    // of the phase: movement time only grows, so halving finds it.
    uint64_t lontani0 = primo;
    {
        const double t = static_cast<double>(x(inizio).tempo);
        uint64_t alto = inizio;
        while (lontani0 < alto) {
            const uint64_t m = lontani0 + (alto - lontani0) / 2;
            if (lontano(t, x(m)))
                lontani0 = m + 1;
            else
                alto = m;
        }
    }

    // One pass up the phase. The peak sample is the first to reach the listed
    // peak; the propulsive phase ends one sample before the first after it
    // that brakes harder than gravity; the peak power is the highest (g + a)
    // × v up to there. Where a bound settles a sample no division is made:
    // over at least 20 ms, braking harder than g takes a velocity drop beyond
    // 196.2 mm/s, and a velocity gain dv adds at most dv / 20 m/s². Nor can a
    // sample below g × the peak velocity be the highest, as the peak sample
    // itself (no slower than what came before it) reaches that much; should
    // the phase prove otherwise (its peak came before it), the pass is made
    // again without that floor, from the first sample as the peak.
    constexpr double MARGINE = 1 + 1e-12; // far above the rounding of the exact figures
    constexpr double CALO_MINIMO = GRAVITA * 1000 * FINESTRA_ACCELERAZIONE / MARGINE;
    const double v_picco = static_cast<double>(P.vmax_conc);
    const double pavimento = GRAVITA * v_picco;
    uint64_t e = 0;
    double potenza = 0; // (g + a) × v, mm/s × m/s²
    for (int giro = 0; giro < 2; ++giro) {
        const bool dal_primo = giro == 1;
        uint64_t lontani = lontani0;
        bool picco_visto = false;
        double soglia = dal_primo ? -std::numeric_limits<double>::infinity() : pavimento;
        potenza = -std::numeric_limits<double>::infinity();
        e = fine - 1;
        for (uint64_t i = inizio; i < fine; ++i) {
            const Grezzo& k = x(i);
            const double t = static_cast<double>(k.tempo);
            while (lontani < i && lontano(t, anello[lontani & MASCHERA])) ++lontani;
            const double v = static_cast<double>(k.velocita);
            const bool dopo_picco = picco_visto;
            picco_visto = picco_visto || v == v_picco || dal_primo;
            if (lontani == primo) { // nothing 20 ms before: no acceleration
                potenza = std::max(potenza, GRAVITA * v);
                soglia = std::max(soglia, potenza);
                continue;
            }
            const Grezzo& j = anello[(lontani - 1) & MASCHERA];
            const double dv = v - static_cast<double>(j.velocita);
            if (dv < -CALO_MINIMO && dopo_picco && accelerazione(k, j) < -GRAVITA) {
                e = i - 1;
                break;
            }
            if ((GRAVITA + std::max(dv, 0.0) * 0.05) * v * MARGINE > soglia || v <= 0) {
                potenza = std::max(potenza, (GRAVITA + accelerazione(k, j)) * v);
                soglia = std::max(soglia, potenza);
            }
        }
        if (picco_visto && potenza >= pavimento) break;
    }

    // In Single, step by step, as the mean concentric velocity: with no
    // braking before the top the two are the same number.
    const Grezzo& pe = x(e);
    const float spostamento = pe.posizione - P.pos_inversione;
    const float durata = pe.tempo - P.t_inversione;
    if (durata > 0) f.vmp = spostamento / durata;
    if (carico_kg > 0) {
        const double carico = static_cast<double>(carico_kg);
        if (durata > 0) {
            const double v = std::max(0.0, static_cast<double>(pe.velocita) / 1000);
            f.potenza_media = carico * (GRAVITA * static_cast<double>(spostamento) / 1000 + 0.5 * v * v) /
                              static_cast<double>(durata);
        }
        f.potenza_picco = carico * potenza / 1000;
    }
    return f;
}

} // namespace vexa
