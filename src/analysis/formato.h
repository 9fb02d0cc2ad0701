// Number formatting with the patterns the values list and the trial files use
// ("0", "0.0", "0.00", "0.0000"). Halves round away from zero, on the decimal
// digits the value shows (a float as its 7 significant digits, a double as 15),
// so 0.125 gives 0.13 and 2.5 gives 3 whatever the binary value underneath.
#pragma once

#include <string>

namespace vexa {

std::string formatta(double valore, int decimali, char separatore = '.');
std::string formatta(float valore, int decimali, char separatore = '.');

// Shortest form with at most 7 significant digits, no trailing zeros, no leading
// blank: how a Single is shown as text (80 -> "80", 82.5 -> "82,5" with a comma).
std::string testo_singolo(float valore, char separatore = '.');

// Banker's rounding to a whole number (halves to even).
long arrotonda_pari(double valore);

} // namespace vexa
