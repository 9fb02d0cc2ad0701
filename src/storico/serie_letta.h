// A saved set read back for the history: the results file ("... dati.csv",
// one line per listed repetition) and, when it is there, the velocity-training
// file beside it ("... vbt.csv"). Plain C++, so a data folder from any machine
// can be checked without Qt: the readers take bytes and give either the whole
// set or an Italian text saying what is wrong with the file.
#pragma once

#include "trials/file_prova.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexa {

// The value columns of a results line, in the order the file writes them
// (the concentric phase first, then the eccentric one).
enum class ColonnaRisultati : int {
    tempo,
    durata_conc,
    spost_conc,
    vmedia_conc,
    vmax_conc,
    t_vmax_conc,
    s_vmax_conc,
    durata_ecc,
    spost_ecc,
    vmedia_ecc,
    vmax_ecc,
    t_vmax_ecc,
    s_vmax_ecc,
};
inline constexpr int N_COLONNE_RISULTATI = 13;

// The velocity-training figures of one repetition; each unknown until a
// velocity-training file gives it.
struct FigureVbt {
    std::optional<double> vmedia, vmp, vmax, pmedia, pmax, perdita;
};

struct RipetizioneSerie {
    int32_t numero = 0;
    // Empty where the file left the field empty.
    std::array<std::optional<double>, N_COLONNE_RISULTATI> valori{};
    std::string nota; // UTF-8
    FigureVbt vbt;

    std::optional<double> valore(ColonnaRisultati c) const { return valori[static_cast<std::size_t>(c)]; }
};

struct SerieLetta {
    DataOra quando;                // when the file was written, as its first line says
    std::string atleta, esercizio; // UTF-8; empty for a set without repetitions
    double carico_kg = 0;
    std::vector<RipetizioneSerie> ripetizioni;
    bool con_vbt = false;          // a velocity-training file was read into the repetitions
    std::string avviso;            // why a velocity-training file given was not used

    // The highest mean concentric velocity and VMP of the listed
    // repetitions, and the velocity loss of the last one; unknown when no
    // repetition says.
    std::optional<double> vmedia_migliore() const;
    std::optional<double> vmp_migliore() const;
    std::optional<double> perdita_finale() const;
};

// The first bytes of a file are enough: a results file is known by the column
// header on its second line, whatever its name.
bool sembra_file_dati(std::string_view inizio);

// The results file `dati`, with the velocity-training file `vbt` when there
// is one. Numbers are read with either decimal separator, so a file written
// under another regional setting reads the same. A velocity-training file
// that does not fit (another layout, repetitions the results do not list)
// leaves the figures unknown and says why in `avviso`; the set still reads.
std::variant<SerieLetta, std::string> leggi_serie(std::string_view dati, std::optional<std::string_view> vbt = {});

} // namespace vexa
