// Saved sets for the history tests: a results file written by the program's
// own writer and a velocity-training file in the layout saved beside it.
#pragma once

#include "analysis/formato.h"
#include "trials/file_prova.h"

#include <string>
#include <vector>

namespace vexa::prova {

struct FigureDiProva {
    float vmedia = 0, vmp = 0, perdita = 0;
};

struct SerieDiProva {
    std::string atleta = "Mario Rossi", esercizio = "Squat";
    float carico = 0;
    DataOra quando;
    std::vector<float> vmedia; // mean concentric velocity of each listed repetition
    char separatore = '.';
    std::string nota;
};

inline std::string testo_dati(const SerieDiProva& s) {
    auto t = [&s](double v, int d) { return formatta(v, d, s.separatore); };
    std::vector<RigaRisultati> righe;
    for (std::size_t i = 0; i < s.vmedia.size(); ++i) {
        RigaRisultati r;
        r.colonne = {std::to_string(i + 1), t(3.1 * static_cast<double>(i), 2), t(0.9, 2), "450",
                     t(s.vmedia[i], 0), t(s.vmedia[i] * 1.8, 0), t(0.3, 2), "150", t(1.3, 2), "-450",
                     "-330", "-400", t(0.12, 2), "50", ""};
        r.nota = i + 1 == s.vmedia.size() ? s.nota : std::string();
        righe.push_back(r);
    }
    FormatoLocale f;
    f.separatore = s.separatore;
    return testo_file_dati(s.atleta, s.esercizio, s.carico, righe, s.quando, f);
}

inline std::string testo_vbt(const std::vector<FigureDiProva>& figure, char separatore) {
    std::string t = "N\xB0Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;\r\n";
    for (std::size_t i = 0; i < figure.size(); ++i) {
        const FigureDiProva& x = figure[i];
        t += std::to_string(i + 1) + ";" + formatta(x.vmedia, 0, separatore) + ";" + formatta(x.vmp, 0, separatore) +
             ";900;500;950;" + formatta(x.perdita, 1, separatore) + ";\r\n";
    }
    return t;
}

} // namespace vexa::prova
