// Rows listed from a damaged stream against those of the clean one: the
// damage may cost the repetition it falls in (changed, or lost), and the
// records dropped with it shift the time base of everything after; nothing
// else may differ.
#pragma once

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace vexa::test {

inline std::vector<std::string> colonne_di(const std::string& riga) {
    std::vector<std::string> c;
    std::stringstream ss(riga);
    for (std::string x; std::getline(ss, x, ';');) c.push_back(x);
    return c;
}

// Empty when `guaste` are `pulite` but for one repetition; else what differs.
inline std::string oltre_una_ripetizione(const std::vector<std::string>& pulite, const std::vector<std::string>& guaste) {
    // Columns 2 to 7 are the rise of a repetition, 8 to 13 its descent.
    auto misure = [](const std::string& r, std::size_t da, std::size_t a) {
        const auto c = colonne_di(r);
        std::string m;
        for (std::size_t i = da; i < a && i < c.size(); ++i) m += c[i] + ';';
        return m;
    };
    auto tempo = [](const std::string& r) {
        const auto c = colonne_di(r);
        std::string t = c.size() > 1 ? c[1] : "";
        for (char& ch : t)
            if (ch == ',') ch = '.';
        return std::stod(t);
    };
    std::size_t k = 0;
    while (k < pulite.size() && k < guaste.size() && pulite[k] == guaste[k]) ++k;
    if (k == pulite.size() && k == guaste.size()) return {};
    // Row k is the damaged one; the rest pair up with the clean rows after it,
    // or from it when the damaged repetition was lost altogether.
    std::size_t salto = 0;
    if (guaste.size() == pulite.size())
        salto = 1;
    else if (guaste.size() + 1 != pulite.size())
        return "righe: " + std::to_string(pulite.size()) + " pulite, " + std::to_string(guaste.size());
    double ritardo = 0;
    for (std::size_t g = k + salto; g < guaste.size(); ++g) {
        const std::string& p = pulite[g + 1 - salto];
        // Damage at the top that ends a rise also moves that top, where the
        // next repetition starts, and so its time and its descent.
        const bool dalla_cima = g == k + salto;
        const std::size_t fine = dalla_cima ? 8 : 14;
        if (misure(p, 2, fine) != misure(guaste[g], 2, fine))
            return "riga " + std::to_string(g + 1) + ": " + guaste[g] + " invece di " + p;
        if (dalla_cima) continue;
        const double d = tempo(p) - tempo(guaste[g]);
        if (g == k + salto + 1) ritardo = d;
        if (d < -0.011 || std::fabs(d - ritardo) > 0.011)
            return "riga " + std::to_string(g + 1) + ": tempo " + guaste[g] + " invece di " + p;
    }
    return {};
}

} // namespace vexa::test
