#include "formato.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vexa {
namespace {

// Rounds the decimal expansion of `valore`, taken to `cifre` significant digits,
// to `decimali` places, halves away from zero.
std::string arrotonda_decimale(double valore, int cifre, int decimali, char separatore) {
    if (!std::isfinite(valore)) return std::isnan(valore) ? "NaN" : (valore > 0 ? "Inf" : "-Inf");
    // Mantissa digits and exponent, e.g. 1.25e-01 -> "125", exponent -1. to_chars
    // ignores the C locale, which a Qt program sets from the user's environment.
    char buf[64];
    const auto fine = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(valore),
                                    std::chars_format::scientific, cifre - 1);
    *fine.ptr = '\0';
    // A negative value keeps its sign even when it rounds to zero (-0.3 gives "-0"),
    // as the values list has always shown it; a negative zero is just zero.
    const bool negativo = valore < 0;
    std::string mant;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.') mant.push_back(*p);
    const int esponente = std::atoi(p + 1);

    // Digits as an integer string scaled by 10^decimali: position of the decimal
    // point in `mant` is esponente + 1.
    const int punto = esponente + 1 + decimali; // digits kept before the cut
    std::string tenute;
    bool arrotonda_su = false;
    if (punto <= 0) {
        // Everything falls below the last kept place; only a leading 5+ at the
        // first dropped place can round up, and only when it is that place.
        arrotonda_su = punto == 0 && mant[0] >= '5';
        tenute = "0";
    } else {
        if (static_cast<int>(mant.size()) <= punto) {
            tenute = mant + std::string(static_cast<std::size_t>(punto) - mant.size(), '0');
        } else {
            tenute = mant.substr(0, static_cast<std::size_t>(punto));
            arrotonda_su = mant[static_cast<std::size_t>(punto)] >= '5';
        }
    }
    if (arrotonda_su) {
        int i = static_cast<int>(tenute.size()) - 1;
        for (; i >= 0; --i) {
            if (tenute[static_cast<std::size_t>(i)] == '9') {
                tenute[static_cast<std::size_t>(i)] = '0';
            } else {
                ++tenute[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0) tenute.insert(tenute.begin(), '1');
    }
    // Pad so there is at least one integer digit.
    if (static_cast<int>(tenute.size()) < decimali + 1)
        tenute.insert(0, static_cast<std::size_t>(decimali + 1) - tenute.size(), '0');
    std::string out = tenute.substr(0, tenute.size() - static_cast<std::size_t>(decimali));
    // Strip leading zeros of the integer part, keep one.
    std::size_t nz = out.find_first_not_of('0');
    out = nz == std::string::npos ? "0" : out.substr(nz);
    if (decimali > 0) {
        out.push_back(separatore);
        out += tenute.substr(tenute.size() - static_cast<std::size_t>(decimali));
    }
    if (negativo) out.insert(out.begin(), '-');
    return out;
}

} // namespace

std::string formatta(double valore, int decimali, char separatore) {
    return arrotonda_decimale(valore, 15, decimali, separatore);
}

std::string formatta(float valore, int decimali, char separatore) {
    return arrotonda_decimale(static_cast<double>(valore), 7, decimali, separatore);
}

std::string testo_singolo(float valore, char separatore) {
    if (valore == 0) return "0";
    char buf[64];
    const auto fine = std::to_chars(buf, buf + sizeof buf, static_cast<double>(valore),
                                    std::chars_format::general, 7);
    std::string s(buf, fine.ptr);
    // %g may pick exponent form for very small or large numbers; keep it then.
    if (s.find('e') == std::string::npos && s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    for (char& c : s)
        if (c == '.') c = separatore;
    return s;
}

long arrotonda_pari(double valore) { return std::lrint(valore); }

} // namespace vexa
