// The recording journal: while a recorded acquisition runs, every sample also
// goes to a file, so a crash, a killed program or a power cut loses at most
// what had not reached the disk yet. Its bytes (docs/giornale.md) are
// append-only records, each with its length and a checksum, so a reader can
// tell a whole record from the torn end a crash leaves. Plain C++: the
// program's writer thread and start-up recovery sit on top (giornale_disco.h).
#pragma once

#include "analysis/decodifica.h"
#include "analysis/stato.h"
#include "file_prova.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// What the journal's header carries: who, what and when, for naming the
// recovered files, and everything the analysis needs to list the trial again
// as it was measured (the athlete's band and minimum amplitude, the link and
// the board's scales).
struct IntestazioneGiornale {
    DataOra inizio;
    std::string nome_atleta, squadra, esercizio, cartella_atleta; // UTF-8
    float carico_kg = 0;
    float vel_max = 0, limite_sup = 0, limite_inf = 0, ampiezza_min = 0;
    bool seriale = false, hid = false;
    int tipo_scheda = 0; // 1, 2, 3; 0 when the scales are no known board's
    float scala_posizione = 0, scala_tempo = 0;
    int32_t tempo_campionamento = 0;
};

IntestazioneGiornale intestazione_da_stato(const Stato& s, const DataOra& inizio);

inline constexpr std::string_view MARCA_GIORNALE = "VXGIORN1";

// The file's first bytes: the mark and the header record.
std::string inizio_giornale(const IntestazioneGiornale& i);
// One record of samples: sample `primo` of the recording and the `n` after it.
std::string record_campioni(int32_t primo, const Campione* c, std::size_t n);

// A journal read back.
struct GiornaleLetto {
    bool intestazione_letta = false;
    IntestazioneGiornale intestazione;
    // The recording as it stood after the last whole record, as the trial
    // holds it: `n_campioni` samples from the front.
    std::vector<Campione> campioni;
    int32_t n_campioni = 0;
    bool integro = true;          // every byte was part of a whole record
    std::size_t byte_validi = 0;  // bytes up to the end of the last whole record
    std::string guasto;           // Italian: what stopped the reading, empty when whole
};

// Reads up to the first record that is not whole (a torn end, or a damaged
// one: its checksum tells). A recording never grows beyond `massimo_campioni`
// samples here: a record that would take it further counts as damaged.
GiornaleLetto leggi_giornale(std::string_view byte, std::size_t massimo_campioni = std::size_t{1} << 27);

// The two files of a recovered trial, as the automatic save writes them.
struct ProvaRecuperata {
    std::string intero; // whole-trial file
    std::string dati;   // results file
    std::string vbt;    // velocity-training figures, written beside the results
    int righe = 0;      // repetitions listed
};

// The whole-trial file of the journal's samples, and the results the
// analysis lists when that file is replayed (as "Apri..." replays it), with
// the athlete and settings of the header. The results are dated at the
// journal's start.
ProvaRecuperata ricostruisci_prova(const GiornaleLetto& g, const FormatoLocale& f);

} // namespace vexa
