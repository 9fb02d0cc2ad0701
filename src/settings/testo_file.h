// Text as the settings and trial files hold it: one byte per character in the
// Western single-byte code page (Windows-1252), lines ended by CR LF, fields read
// back item by item the way the original files were read (free format). In
// memory every text is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa {

// UTF-8 to Windows-1252. A character the code page lacks becomes '?' and, when
// `perso` is given, sets it; malformed UTF-8 bytes are taken as Windows-1252.
std::string utf8_a_cp1252(std::string_view utf8, bool* perso = nullptr);
// Windows-1252 to UTF-8; the five unassigned bytes map to the C1 controls, as
// the platform's own conversion does, so every byte survives a round trip.
std::string cp1252_a_utf8(std::string_view cp1252);
// True when `testo` would survive utf8_a_cp1252 unchanged.
bool rappresentabile_cp1252(std::string_view utf8);

// Reads items from a file's bytes the way the original program's sequential
// input did: blanks before an item are skipped; an item ends at a comma or at
// the end of the line; an item beginning with a double quote runs to the next
// double quote (dropped), and what follows up to the comma or line end is
// skipped. Lines may end in CR LF, LF or CR. A UTF-8 byte order mark at the
// start makes the bytes UTF-8; otherwise they are Windows-1252. Items come back
// as UTF-8.
class LettoreCampi {
public:
    explicit LettoreCampi(std::string_view byte);

    // The next item as text; nothing at the end of the input.
    std::optional<std::string> testo();
    // As testo(), but where only blanks and line ends remain, the next line is
    // still an empty item: a file whose last expected item is an empty line
    // (an athlete folder written as "") reads back whole. Nothing only once
    // every byte has been read.
    std::optional<std::string> testo_o_vuoto();
    // The next item as a whole number: leading sign and digits, blanks around
    // them; anything else (or the end) gives nothing and the item is consumed.
    std::optional<int32_t> intero();
    // The next item as a number ("12.5", "-3", "1e3"); nothing when the item is
    // not a number as a whole.
    std::optional<double> numero();
    // No item left: only blanks and line ends, or nothing at all.
    bool fine() const { return i_ >= fine_dati_; }
    // Every byte read.
    bool esaurito() const { return i_ >= b_.size(); }
    // 1-based line of the next item, for messages.
    int riga() const { return riga_; }

private:
    std::string leggi_item();

    std::string_view b_;
    std::size_t i_ = 0;
    std::size_t fine_dati_ = 0; // just past the last byte that is neither blank nor line end
    int riga_ = 1;
    bool utf8_ = false;
};

// A whole item as a 32-bit integer: sign and digits, blanks around them.
std::optional<int32_t> intero_da_testo(std::string_view item);

// A number read by LettoreCampi in its plain decimal text: 80 for "080",
// 12.5 for "12.50"; nothing when the text is not a number as a whole. This is
// how list entries that look like numbers come back from the files.
std::optional<std::string> testo_numerico_normale(std::string_view item);

// The number a text starts with, as the platform's Val did: blanks skipped,
// sign, digits, one decimal point, exponent; 0 when there is none. "12 kg" is 12.
double valore_iniziale(std::string_view testo);

// The print form of an integer in the files: the sign position (a blank, or
// '-'), the digits, one blank. 8 -> " 8 ", -1 -> "-1 ".
std::string intero_stampa(int64_t n);

} // namespace vexa
