// The trial files: the whole trial (every recorded sample) and the results
// (one line per listed repetition), both semicolon-separated text in the
// Western single-byte code page with CR LF line ends; and the readers of "Apri...".
// Plain C++: the caller hands in the locale's separators and month names and
// the time of writing, so the layouts can be checked byte for byte anywhere.
#pragma once

#include "analysis/decodifica.h"
#include "analysis/stato.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexa {

class Analizzatore;
struct VistaProva;

// What the user's regional settings give the files.
struct FormatoLocale {
    char separatore = '.';                // decimal separator
    std::string separatore_ora = ":";     // time separator (UTF-8)
    std::array<std::string, 12> mesi_brevi{"gen", "feb", "mar", "apr", "mag", "giu",
                                           "lug", "ago", "set", "ott", "nov", "dic"}; // UTF-8
};

// Local date and time of writing.
struct DataOra {
    int anno = 2000, mese = 1, giorno = 1, ora = 0, minuto = 0, secondo = 0;
};

// Whole-trial file: "Vexa01;", the column header, then one line per sample.
// `n_campioni` samples are taken from the front of `campioni` (fewer if the
// buffer is shorter). Bytes in Windows-1252.
std::string testo_file_intero(const std::vector<Campione>& campioni, int32_t n_campioni, const FormatoLocale& f);

// What the results file needs of one listed repetition: the fifteen texts of
// its row of the values list (as the list shows them, in the locale's
// separator) and the note of the repetition record.
struct RigaRisultati {
    std::array<std::string, 15> colonne;
    std::string nota;
};

// The rows of the values list as the results file takes them: the fifteen
// texts of each row and the note of its repetition record (row r is
// repetition r + 1). The row count is that of the first column.
std::vector<RigaRisultati> righe_risultati(const VistaProva& v, const std::vector<Ripetizione>& ripetizioni);

// Results file: date and time line, column header, one line per repetition.
// Texts come in UTF-8 and go out in Windows-1252; a line break inside a text
// becomes a blank, so a note cannot split its repetition's line.
std::string testo_file_dati(const std::string& nome_atleta, const std::string& esercizio, float carico_kg,
                            const std::vector<RigaRisultati>& righe, const DataOra& quando, const FormatoLocale& f);

// "yyyy  mmm dd  h:mm:s": the automatic name of a whole-trial file (without
// ".csv"), UTF-8. Not yet checked as a file name (see salvataggio.h).
std::string nome_automatico(const DataOra& quando, const FormatoLocale& f);
// Proposed name of "Salva dati con nome...": the exercise and " yyyy mm dd hh mm ss".
std::string nome_proposto_dati(const std::string& esercizio, const DataOra& quando);

// A trial file read back by "Apri...".
struct ProvaLetta {
    enum class Formato { Pesi01, Vexa01 } formato = Formato::Vexa01;
    int32_t tempo_campionamento = 0;  // "pesi01": hundredths of a second
    std::vector<Campione> campioni;   // "Vexa01": the recorded samples, in order
};

// The file's bytes to a trial, or the Italian message to show: " File non
// compatibile!" for an unknown format, a message naming the line for a broken one.
// A file is taken as a whole-trial file when its first two lines are the two
// header lines; a "pesi01" file's samples are read and dropped.
std::variant<ProvaLetta, std::string> leggi_file_prova(std::string_view byte);

} // namespace vexa
