// Synthesised movement: from a description of a set, the exact record stream a
// board would send, and the truth the analysis should find in it. It is the
// ground truth of the tests and the source of the simulated boards.
#pragma once

#include "analysis/decodifica.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexa::sim {

using vexa::Collegamento;

struct DescrizioneSerie {
    int ripetizioni = 6;
    double ampiezza_mm = 500;     // range of motion
    double vel_conc = 500;        // mean concentric velocity, mm/s
    double vel_ecc = 400;         // mean eccentric velocity (its size), mm/s
    double pausa_alto_s = 0.5;    // rest at the top, also before the first repetition
    double pausa_basso_s = 0.3;   // rest at the bottom
    double perdita_pct = 0;       // concentric velocity lost per repetition, % of vel_conc
    double rumore = 0;            // relative jitter of each step's time, 0..0.5
    uint32_t seme = 1;            // of the jitter
    double movimento_finale_mm = 40; // a short descent after the last top, so it is seen
    double posizione_iniziale_mm = 600; // where the load rests at the top
};

// One step record as the board sends it.
struct RecordScheda {
    int16_t posizione; // counts
    int32_t intervallo; // ticks, negative for a falling step
};

// What each repetition really was.
struct VeritaRipetizione {
    double inizio_s;     // time of the top that starts it (end of the previous rise)
    double durata_ecc_s; // moving time of the descent
    double durata_conc_s;
    double spost_conc_mm;
    double spost_ecc_mm; // negative
    double vmedia_conc;
    double vmedia_ecc;   // negative
    double vpicco_conc;
    double vpicco_ecc;   // negative
};

struct Serie {
    std::vector<RecordScheda> record;
    std::vector<VeritaRipetizione> verita;
    double durata_s = 0; // from the first record's start to the last record
};

// Counts per record: the serial board reports every sixth count.
int conteggi_per_record(Collegamento c);

Serie sintetizza(const DescrizioneSerie& d, int tipo_scheda, Collegamento c);

// Wire encodings.
std::vector<uint8_t> byte_seriali(const std::vector<RecordScheda>& r);
// 64-byte input reports without the report ID, eight records each; a last,
// partial report is filled with still records (zero interval) at the last position.
std::vector<uint8_t> report_hid(const std::vector<RecordScheda>& r);
// One 64-byte report carrying `record` in its slots.
void scrivi_report_hid(const RecordScheda* record, int n, uint8_t* report64);

// Parses "key=value,key=value" (ripetizioni, ampiezza, vconc, vecc, pausa_alto,
// pausa_basso, perdita, rumore, seme, finale, inizio). Every value must lie in
// its range (ranghi_descrizione); returns an Italian error text naming the
// range, empty when fine.
std::string leggi_descrizione(const std::string& testo, DescrizioneSerie& d);

// The ranges leggi_descrizione accepts, one per line, for a program's help.
std::string ranghi_descrizione();

// Whether the board could send this set: every position within its 16-bit
// count and every step within its 32-bit tick field (a long pause or a very
// slow movement makes one step longer than the field holds; it would wrap).
// Returns an Italian error text, empty when the set fits.
std::string verifica_serie(const DescrizioneSerie& d, int tipo_scheda, Collegamento c);

} // namespace vexa::sim
