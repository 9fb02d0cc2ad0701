// The two settings files, byte for byte: "pesi.ini" (the value lists the
// settings window offers) and an athlete's ".cfg" (which entry of each list was
// chosen, and the athlete's folder). Plain C++ so the readers can be fuzzed and
// the layouts checked without a display.
//
// Writing keeps the layout older installations read: one value per line, CR LF,
// integers in print form, Windows-1252. Reading is whole or nothing: a reader
// gives either the complete contents or an Italian text naming the line that
// failed, never a half-read result.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// Lists 0 to 8, as the rows of the settings window number them: squads,
// athletes, loads, exercises, maximum velocities, upper limits, lower limits,
// minimum amplitudes, and the note row (always empty). List 1 lives in the
// folder tree and is neither written nor read here. Entries are UTF-8.
inline constexpr int N_LISTE = 9;
using ListeValori = std::array<std::vector<std::string>, N_LISTE>;

// What an athlete's ".cfg" holds.
struct ConfigAtleta {
    std::array<int32_t, 11> posizioni{}; // -1 = nothing selected; 9 and 10 belong to no list
    std::string cartella_atleta;         // UTF-8
};

template <class T>
struct Lettura {
    std::optional<T> valore; // the whole contents, or nothing
    std::string errore;      // when there is no value: what failed, and where
};

inline constexpr const char* MARCA_CFG = "pesi_cfg";
inline constexpr const char* MSG_FILE_NON_COMPATIBILE = "File non compatibile!";

std::string scrivi_pesi(const ListeValori& liste);
// Lists 0 and 2 up to the number the file starts with; the others stay empty.
// List entries that read as a number come back as its plain decimal text.
Lettura<ListeValori> leggi_pesi(std::string_view byte);

std::string scrivi_cfg(const ConfigAtleta& cfg);
// "File non compatibile!" when the first item is not exactly "pesi_cfg".
Lettura<ConfigAtleta> leggi_cfg(std::string_view byte);

// Why `voce` cannot be a list entry of "pesi.ini" (a comma, a double quote, a
// line break or another control character, a character Windows-1252 lacks, or
// a text that would read back as another one, such as "080"); empty when it can.
std::string errore_voce(std::string_view voce);

// Why `nome` cannot name one squad or athlete folder, here or on the systems
// that share the data folder: "", "." and "..", separators, the characters and
// device names Windows refuses, a trailing dot or blank, control characters,
// commas and double quotes (the name is written into the files), characters
// outside Windows-1252, and names too long for a folder. Empty when it can.
std::string errore_nome_cartella(std::string_view nome);

} // namespace vexa
