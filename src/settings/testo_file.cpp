#include "testo_file.h"

#include <array>
#include <charconv>
#include <cmath>

namespace vexa {

namespace {

// Code points of bytes 0x80..0x9F; the unassigned ones map to the C1 control
// of the same value.
constexpr std::array<char32_t, 32> ALTI = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void aggiungi_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One code point from `s` at `i`; false (and nothing consumed) for a malformed sequence.
bool leggi_utf8(std::string_view s, std::size_t& i, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int n = 0;
    char32_t v = 0;
    if (b0 < 0x80) {
        c = b0;
        ++i;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        n = 1;
        v = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 2;
        v = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 3;
        v = b0 & 0x07;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(n) >= s.size()) return false;
    for (int k = 1; k <= n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) return false;
        v = (v << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not characters.
    static constexpr char32_t MINIMO[4] = {0, 0x80, 0x800, 0x10000};
    if (v < MINIMO[n] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
    c = v;
    i += static_cast<std::size_t>(n) + 1;
    return true;
}

int byte_cp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (std::size_t k = 0; k < ALTI.size(); ++k)
        if (ALTI[k] == c) return static_cast<int>(0x80 + k);
    return -1;
}

bool blank(char c) { return c == ' ' || c == '\t'; }
bool fine_riga(char c) { return c == '\r' || c == '\n'; }

} // namespace

std::string utf8_a_cp1252(std::string_view utf8, bool* perso) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t c;
        if (!leggi_utf8(utf8, i, c)) {
            // Not UTF-8: the byte is taken as already being in the code page.
            out += utf8[i++];
            continue;
        }
        const int b = byte_cp1252(c);
        if (b < 0) {
            out += '?';
            if (perso) *perso = true;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string cp1252_a_utf8(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 8);
    for (char ch : cp1252) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else if (b < 0xA0)
            aggiungi_utf8(out, ALTI[b - 0x80]);
        else
            aggiungi_utf8(out, b);
    }
    return out;
}

bool rappresentabile_cp1252(std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t c;
        if (!leggi_utf8(utf8, i, c)) return false;
        if (byte_cp1252(c) < 0) return false;
    }
    return true;
}

LettoreCampi::LettoreCampi(std::string_view byte) : b_(byte) {
    if (b_.size() >= 3 && b_.substr(0, 3) == "\xEF\xBB\xBF") {
        utf8_ = true;
        i_ = 3;
    }
    // Known once, so that asking whether an item is left costs nothing: a
    // file of many empty lines must not make every read scan to the end.
    fine_dati_ = b_.size();
    while (fine_dati_ > i_ && (blank(b_[fine_dati_ - 1]) || fine_riga(b_[fine_dati_ - 1]))) --fine_dati_;
}

std::optional<std::string> LettoreCampi::testo() {
    // Blanks before the item are skipped; an empty line is an empty item, and
    // only blanks and line ends to the end of the input are no item at all.
    if (fine()) {
        i_ = b_.size();
        return std::nullopt;
    }
    return leggi_item();
}

std::optional<std::string> LettoreCampi::testo_o_vuoto() {
    if (esaurito()) return std::nullopt;
    return leggi_item();
}

std::string LettoreCampi::leggi_item() {
    while (i_ < b_.size() && blank(b_[i_])) ++i_;
    std::string grezzo;
    if (i_ < b_.size() && b_[i_] == '"') {
        const std::size_t fine = b_.find('"', i_ + 1);
        const std::size_t stop = fine == std::string_view::npos ? b_.size() : fine;
        grezzo.assign(b_.substr(i_ + 1, stop - i_ - 1));
        // Line ends inside the quotes still count as lines for the messages.
        for (std::size_t k = 0; k < grezzo.size(); ++k)
            if (grezzo[k] == '\n' || (grezzo[k] == '\r' && (k + 1 == grezzo.size() || grezzo[k + 1] != '\n')))
                ++riga_;
        i_ = stop == b_.size() ? stop : stop + 1;
        // What follows the closing quote up to the separator is dropped.
        while (i_ < b_.size() && b_[i_] != ',' && !fine_riga(b_[i_])) ++i_;
    } else {
        const std::size_t inizio = i_;
        while (i_ < b_.size() && b_[i_] != ',' && !fine_riga(b_[i_])) ++i_;
        grezzo.assign(b_.substr(inizio, i_ - inizio));
    }
    // Consume the separator: a comma, or one line end (CR LF, LF or CR).
    if (i_ < b_.size()) {
        if (b_[i_] == ',') {
            ++i_;
        } else if (b_[i_] == '\r') {
            ++i_;
            if (i_ < b_.size() && b_[i_] == '\n') ++i_;
            ++riga_;
        } else if (b_[i_] == '\n') {
            ++i_;
            ++riga_;
        }
    }
    return utf8_ ? grezzo : cp1252_a_utf8(grezzo);
}

std::optional<int32_t> intero_da_testo(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    if (s.empty()) return std::nullopt;
    std::size_t k = 0;
    bool negativo = false;
    if (s[0] == '-' || s[0] == '+') {
        negativo = s[0] == '-';
        k = 1;
    }
    if (k >= s.size()) return std::nullopt;
    int64_t v = 0;
    for (; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
        v = v * 10 + (s[k] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negativo) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(v);
}

std::optional<int32_t> LettoreCampi::intero() {
    const std::optional<std::string> t = testo();
    if (!t) return std::nullopt;
    return intero_da_testo(*t);
}

namespace {

// The length of the number at the start of `s`: optional sign, digits with at
// most one point, optional exponent (only when it has digits). 0 when `s`
// does not start with a number.
std::size_t lunghezza_numero(std::string_view s) {
    std::size_t k = 0;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    bool cifre = false, punto = false;
    for (; k < s.size(); ++k) {
        if (s[k] >= '0' && s[k] <= '9')
            cifre = true;
        else if (s[k] == '.' && !punto)
            punto = true;
        else
            break;
    }
    if (!cifre) return 0;
    if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
        std::size_t j = k + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        const std::size_t inizio_exp = j;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
        if (j > inizio_exp) k = j;
    }
    return k;
}

// The number `s` holds, already known to be well formed. from_chars reads
// '.' whatever the C locale says (a Qt program runs with the user's) and
// takes no '+'. Out of range gives nothing.
std::optional<double> converti(std::string_view s) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    double v = 0;
    const auto [fine, errore] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (errore != std::errc() || fine != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// A whole-item number: optional sign, digits with at most one point, optional
// exponent; blanks around it allowed. "inf", "nan" and hex forms are not
// numbers here.
std::optional<double> numero_intero_testo(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    const std::size_t n = lunghezza_numero(s);
    if (n == 0 || n != s.size()) return std::nullopt;
    return converti(s);
}

} // namespace

std::optional<double> LettoreCampi::numero() {
    const std::optional<std::string> t = testo();
    if (!t) return std::nullopt;
    return numero_intero_testo(*t);
}

std::optional<std::string> testo_numerico_normale(std::string_view item) {
    const std::optional<double> v = numero_intero_testo(item);
    if (!v) return std::nullopt;
    const double x = *v == 0 ? 0.0 : *v; // no "-0"
    // Plain decimal for the numbers a list can hold; beyond, keep the item.
    if (std::fabs(x) >= 1e15 || (std::fabs(x) < 1e-6 && x != 0)) return std::string(item);
    // The shortest fixed form that reads back as the same double.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

double valore_iniziale(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    const std::size_t n = lunghezza_numero(s);
    if (n == 0) return 0;
    const std::optional<double> v = converti(s.substr(0, n));
    return v ? *v : 0;
}

std::string intero_stampa(int64_t n) {
    std::string t = std::to_string(n);
    return (n < 0 ? "" : " ") + t + " ";
}

} // namespace vexa
