// Rows listed from a damaged stream against those of the clean one: the
// damage may cost the repetition it falls in (changed, or lost), and the
// records dropped with it shift the time base of everything after; nothing
// else may differ.
#pragma once

#include "analysis/vista_memoria.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace vexa::test {

// Empty when `guaste` are `pulite` but for one repetition; else what differs.
inline std::string oltre_una_ripetizione(const std::vector<std::string>& pulite,
                                         const std::vector<std::string>& guaste) {
    // Columns 2 to 7 are a repetition's rise, 8 to 13 its descent; 1 its time.
    auto colonne = [](const std::string& r, std::size_t da, std::size_t a) {
        std::stringstream ss(r);
        std::string c, m;
        for (std::size_t i = 0; std::getline(ss, c, ';'); ++i)
            if (i >= da && i < a) m += c + ';';
        return m;
    };
    auto tempo = [&](const std::string& r) {
        std::string t = colonne(r, 1, 2);
        for (char& c : t)
            if (c == ',') c = '.';
        return std::stod(t);
    };
    std::size_t k = 0;
    while (k < pulite.size() && k < guaste.size() && pulite[k] == guaste[k])
        ++k;
    // Row k is the damaged one; the rest pair up with the clean rows after it,
    // or from it when the damaged repetition was lost altogether.
    const std::size_t salto = guaste.size() == pulite.size() ? 1 : 0;
    if (!salto && guaste.size() + 1 != pulite.size())
        return std::to_string(guaste.size()) + " righe invece di " + std::to_string(pulite.size());
    double ritardo = 0;
    for (std::size_t g = k + salto; g < guaste.size(); ++g) {
        const std::string& p = pulite[g + 1 - salto];
        // Damage at the top that ends a rise also moves that top, where the
        // next repetition starts: its time and its descent.
        const bool dalla_cima = g == k + salto;
        if (colonne(p, 2, dalla_cima ? 8 : 14) != colonne(guaste[g], 2, dalla_cima ? 8 : 14))
            return guaste[g] + " invece di " + p;
        if (dalla_cima) continue;
        const double d = tempo(p) - tempo(guaste[g]);
        if (g == k + salto + 1) ritardo = d;
        if (d < -0.011 || std::fabs(d - ritardo) > 0.011)
            return "tempo " + guaste[g] + " invece di " + p;
    }
    return {};
}

inline std::string oltre_una_ripetizione(const ProvaMemoria& pulita, const ProvaMemoria& guasta) {
    std::vector<std::string> p, g;
    for (int r = 0; r < pulita.righe(); ++r) p.push_back(pulita.riga(r));
    for (int r = 0; r < guasta.righe(); ++r) g.push_back(guasta.riga(r));
    return oltre_una_ripetizione(p, g);
}

} // namespace vexa::test
