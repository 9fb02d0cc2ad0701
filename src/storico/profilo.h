// The load-velocity profile: the least-squares line through one point per
// set (the load, the best velocity of the set), and the load at which that
// line reaches the exercise's velocity at one repetition maximum. Plain C++:
// the window and the command-line tool print the same figures from here.
#pragma once

#include "trials/file_prova.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexa {

// The velocity at 1RM of an exercise nobody has set one for, mm/s.
inline constexpr double VELOCITA_1RM_PREDEFINITA = 300;

struct PuntoProfilo {
    double carico_kg = 0;
    double velocita = 0; // mm/s
};

struct Profilo {
    int punti = 0;
    int carichi_distinti = 0;
    // The line, once two loads differ; r2 only when the velocities differ too.
    std::optional<double> pendenza;   // mm/s per kg
    std::optional<double> intercetta; // mm/s at no load
    std::optional<double> r2;
    std::optional<double> massimale;  // kg
    std::string motivo;               // why there is no estimate (Italian, UTF-8); empty with one
};

// The estimate needs two different loads, a line that falls as the load
// grows, and a velocity at 1RM below the line's velocity at no load; each
// missing condition gives its own reason instead of a number.
Profilo calcola_profilo(const std::vector<PuntoProfilo>& punti, double velocita_1rm);

// Days since 1970-01-01 of the Monday that starts the week of `giorno`.
int64_t lunedi_della_settimana(int64_t giorno);

// One estimate per calendar week (Monday to Sunday) whose sets give one;
// weeks that do not are left out. Points come with their day (days since
// 1970-01-01), in any order; weeks come back in order.
struct StimaSettimanale {
    int64_t lunedi = 0;
    Profilo profilo;
};
std::vector<StimaSettimanale> stime_settimanali(const std::vector<std::pair<int64_t, PuntoProfilo>>& punti,
                                                double velocita_1rm);

// The profile as a ";" file with the program's conventions (each field
// followed by ";", CR LF, Windows-1252, the locale's decimal separator).
struct PuntoDatato {
    DataOra quando;
    std::string file; // UTF-8
    PuntoProfilo punto;
};
struct IntestazioneProfilo {
    std::string atleta, squadra, esercizio; // UTF-8
    bool vmp = false;                        // VMP instead of the mean concentric velocity
    DataOra dal, al;
    double velocita_1rm = VELOCITA_1RM_PREDEFINITA;
};
std::string testo_profilo(const IntestazioneProfilo& intestazione, const std::vector<PuntoDatato>& punti,
                          const Profilo& profilo, const FormatoLocale& f);

} // namespace vexa
