// Finding the records in the serial byte stream. The line carries 6-byte
// records back to back with nothing between them, so a byte gained or lost on
// the way (a loose connector, a noisy line) would shift every later record.
// The records carry their own check, though: each one is the board's step
// further on from the one before, in the direction its interval's sign says.
// A record that is not is dropped, and the following bytes are searched for
// the offset at which records make sense again.
#pragma once

#include "decodifica.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa {

// Counts the serial board moves between two records: it reports every sixth count.
inline constexpr int PASSO_RECORD_SERIALE = 6;

// Whether a record can follow one at `prima` counts: its interval is not zero
// and the count moved one step in the direction of the interval's sign. The
// board makes a record when its counter has moved a step from the last one;
// an encoder edge that chatters as the record is taken can leave that count
// one off, so one count either way is still the board's (anything a stray
// byte makes is thousands of counts off, or of the wrong sign).
bool record_plausibile(int16_t prima, int16_t posizione, int32_t intervallo, int passo = PASSO_RECORD_SERIALE);

class InquadramentoSeriale {
public:
    explicit InquadramentoSeriale(int passo = PASSO_RECORD_SERIALE) : passo_(passo) {}

    // A new stream (an acquisition starts): nothing held, no record before.
    void ricomincia();

    // Takes the next bytes of the stream and appends to `record` (6 bytes
    // each) every record found whole and in step. A record goes out once the
    // two after it agree with it: a stray byte inside a record's interval
    // leaves it in step with the record before, and the bytes that follow,
    // read a byte off, can pass for one more record, but not for two. So the
    // newest records are always held back, and more while the stream is out
    // of step, until the records after them tell where the records lie.
    void aggiungi(const uint8_t* byte, std::size_t n, std::vector<uint8_t>& record);
    // The stream has ended: what is held is judged on what there is and
    // handed on. Returns how many bytes at the end did not make a whole record.
    std::size_t fine(std::vector<uint8_t>& record);
    // The stream pauses (the load stands still, the acquisition stops):
    // nothing comes to contradict the records held in step, and the analysis
    // must see where the load stopped, so they are handed on. Bytes out of
    // step keep waiting for the ones that will tell where the records lie.
    void rilascia(std::vector<uint8_t>& record);

    // Bytes dropped as not being records, since the last ricomincia.
    int64_t byte_scartati() const { return scartati_; }
    // How many times the records fell out of step and were found again.
    int64_t riallineamenti() const { return riallineamenti_; }
    // Records found in step so far, held ones included, and where the newest
    // of them stands (counts): what the board last said, for a live readout.
    int64_t record_in_passo() const { return in_passo_; }
    int16_t posizione_piu_recente() const { return n_tenuti_ > 0 ? leggi_i16(tenuti_[n_tenuti_ - 1]) : ultimo_; }

    // Records held back at most while the stream is in step.
    static constexpr int TENUTI = 2;

private:
    struct Letto {
        int16_t posizione;
        int32_t intervallo;
    };
    Letto leggi(std::size_t da) const;
    // How many records from `da` follow one another (at most `quanti`).
    int catena(std::size_t da, int quanti) const;
    bool riferimento(int16_t& posizione) const;
    bool vicino(int16_t posizione, std::size_t saltati) const;
    void elabora(std::vector<uint8_t>& record);
    void scarta(std::size_t n);
    void tieni(std::size_t da, std::vector<uint8_t>& record);
    void emetti_primo(std::vector<uint8_t>& record);

    int passo_;
    std::vector<uint8_t> buf_;
    std::size_t inizio_ = 0;
    bool c_e_ultimo_ = false;
    int16_t ultimo_ = 0; // position of the last record handed on
    uint8_t tenuti_[TENUTI + 1][BYTE_RECORD_SERIALE] = {}; // in step, waiting for the next ones to agree
    int n_tenuti_ = 0;
    bool in_cerca_ = false;
    std::size_t saltati_in_cerca_ = 0; // bytes dropped since the records fell out of step
    bool finito_ = false;
    int64_t scartati_ = 0;
    int64_t riallineamenti_ = 0;
    int64_t in_passo_ = 0;
};

} // namespace vexa
