// Replays through the same decoding and analysis the live links use: a
// capture of the board's bytes (a serial capture is the raw byte stream, a HID
// capture a sequence of 64-byte input reports without the report ID), and the
// recorded samples of a whole-trial file.
#pragma once

#include "analysis/analisi.h"
#include "analysis/decodifica.h"
#include "analysis/inquadramento_seriale.h"
#include "file_prova.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// A capture taken piece by piece, as it is read: the pieces may split records
// anywhere, and only the bytes of one unfinished block are held between them,
// so a capture of any length runs in the same memory. A serial capture goes
// through the live link's framing: bytes out of step are dropped as the
// receive event drops them.
class RiproduzioneCattura {
public:
    // Sets the link flags and scales in `s` for the board type and starts a
    // trial as the board's start command does (recording, if wanted, is
    // switched on in `s` beforehand).
    RiproduzioneCattura(Collegamento link, int tipo_scheda, Stato& s, VistaProva& v, Analizzatore& a);

    // Analyses every whole block in `byte` (two records on the serial link,
    // as its receive event hands them over; one 64-byte report on HID).
    void aggiungi(const uint8_t* byte, std::size_t n);
    // The end of the capture. A last lone serial record is analysed; bytes
    // that do not form a whole record (serial) or report (HID) give an error
    // text (Italian, for the user) saying how much came before them. Empty
    // when the capture was whole.
    std::string fine();

    int64_t record_analizzati() const { return record_; }
    // Serial bytes dropped as out of step, and how many times the records
    // were found again after them.
    int64_t byte_scartati() const { return inquadramento_.byte_scartati(); }
    int64_t riallineamenti() const { return inquadramento_.riallineamenti(); }

private:
    Collegamento link_;
    Stato& s_;
    Analizzatore& a_;
    uint8_t resto_[BYTE_BUFFER_HID] = {};
    std::size_t n_resto_ = 0;
    int64_t record_ = 0;
    InquadramentoSeriale inquadramento_;
    std::vector<uint8_t> in_passo_; // serial records found, not yet analysed

    void blocco(const uint8_t* byte);
    void blocchi_seriali(bool anche_l_ultimo);
};

// The whole capture at once. Returns the error text of RiproduzioneCattura::fine;
// the records before a fault have been analysed.
std::string riproduci_cattura(const std::vector<uint8_t>& cattura, Collegamento link,
                              int tipo_scheda, Stato& s, VistaProva& v, Analizzatore& a);

// The whole-trial file of a replay, written while the capture runs, so the
// recorded samples of a long capture never pile up in memory. The text is the
// one testo_file_intero gives for the samples the trial holds at the end.
// Samples before the first counted top are written too, and taken back by
// `ricomincia` when the analysis drops them at that top.
class ProvaInteraInCorso {
public:
    // `scrivi` takes the next piece of the file's bytes; `ricomincia` empties
    // what was written so far. `soglia`: samples held before some are written.
    ProvaInteraInCorso(const FormatoLocale& f, std::function<void(std::string_view)> scrivi,
                       std::function<void()> ricomincia, std::size_t soglia = 16384);

    // After each piece of the capture: once more than `soglia` samples are
    // held, writes them out and empties `s.campioni`.
    void scarica(Stato& s);
    // At the end of the capture: writes the rest, and empties `s.campioni`.
    void chiudi(Stato& s);

private:
    FormatoLocale f_;
    std::function<void(std::string_view)> scrivi_;
    std::function<void()> ricomincia_;
    std::size_t soglia_;
    std::string intestazione_;
    int64_t usciti_ = 0;       // samples of the trial already taken out of s.campioni
    bool base_avviata_ = false; // the first counted top has been seen
    bool intestazione_scritta_ = false;

    void avvia(const Stato& s);
    void scrivi_campioni(Stato& s);
};

// What the replay made of the samples.
struct EsitoRiproduzione {
    bool collegamento_noto = false; // the samples said which link and board recorded them
    Collegamento collegamento = Collegamento::Hid;
    int tipo_scheda = 0;            // 1, 2 or 3; 0 when the samples do not say
    bool dalla_cima = false;        // replayed from the first counted top (the usual case)
    int32_t campioni_stimati = 0; // steps no whole number of board ticks explains: estimated
};

// Runs recorded samples through the analysis as the live path would have,
// starting from the state at which recording began: the first counted top,
// or the start of the acquisition when it never reached one. The values list
// and both graphs come back as they were (graph 0 without the few points of
// the live block that held the top, which the file does not have).
// The file rounds its values, so the board's counts and ticks are worked out
// from them: the link and board from velocity times interval, each interval
// as the whole number of ticks that is written exactly so, and where several
// are, the one that makes the file's running "Tempo" come out the same.
// `s` keeps its own link, scales, recording switch and live-plot flag, and
// `a` its backlog probe: they are lent to the replay and given back. The trial
// is emptied first and `campioni` holds the replayed samples afterwards, so it
// can be saved again. The athlete's settings in `s` (minimum amplitude,
// maximum velocity, limits) must be those of the recording, and
// `a.separatore` the locale's.
EsitoRiproduzione riproduci_campioni(const std::vector<Campione>& campioni, Stato& s, VistaProva& v, Analizzatore& a);

} // namespace vexa
