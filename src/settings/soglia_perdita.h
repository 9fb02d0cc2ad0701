// The velocity-loss threshold of an athlete in an exercise: the loss within a
// set at which the program tells the athlete to stop. It lives in the per-user
// settings store, group "soglie_perdita", one key per squad, athlete and
// exercise, so neither "pesi.ini" nor the athlete's ".cfg" changes layout.
#pragma once

#include <QString>
#include <string>

namespace vexa {

inline constexpr float SOGLIA_PERDITA_PREDEFINITA = 20; // %
inline constexpr int SOGLIA_PERDITA_MASSIMA = 100;      // %; 0 turns the alert off

// The stored threshold, or the default when there is none (or what is stored
// is not a whole percentage from 0 to 100).
float leggi_soglia_perdita(const std::string& squadra, const std::string& atleta, const std::string& esercizio);
// Empty when stored, else why not (in Italian). Without an athlete or an
// exercise there is nothing to store it under, and nothing is stored.
QString salva_soglia_perdita(const std::string& squadra, const std::string& atleta, const std::string& esercizio,
                             float soglia);

} // namespace vexa
