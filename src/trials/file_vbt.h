// The velocity-training figures file, written beside every results file with
// its conventions (";" after every field, CR LF, Windows-1252, the locale's
// decimal separator): a title line, then one line per listed repetition.
#pragma once

#include "file_prova.h"

#include <string>
#include <vector>

namespace vexa {

// "N°Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;" and one line per repetition:
// its number, the four figures in "0", the loss in "0.0".
std::string testo_file_vbt(const std::vector<IndiciVbt>& indici, const FormatoLocale& f);

// The figures file of a results file: its name without ".csv" (in any case),
// then " vbt.csv". "... dati.csv" gives "... dati vbt.csv".
std::string nome_file_vbt(const std::string& file_dati);

} // namespace vexa
