#include "porta.h"

#include <cctype>
#include <sstream>

namespace vexa {

bool Open_comm(IPorta& porta) {
    try {
        porta.setPortOpen(true);
    } catch (const ErroreRuntime& e) {
        return e.numero == ERR_PORTA_GIA_APERTA;
    }
    return true;
}

namespace {
bool solo_cifre(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}
std::string pulito(const std::string& s) {
    const auto a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}
} // namespace

bool scomponi_impostazioni(const std::string& testo, CampiImpostazioni& campi) {
    std::vector<std::string> parti;
    std::stringstream ss(testo);
    std::string p;
    while (std::getline(ss, p, ',')) parti.push_back(pulito(p));
    if (parti.size() != 4 || (!testo.empty() && testo.back() == ',')) return false;
    CampiImpostazioni c;
    c.velocita = parti[0];
    if (!solo_cifre(c.velocita) || c.velocita.size() > 7 || std::stol(c.velocita) <= 0) return false;
    if (parti[1].size() != 1) return false;
    c.parita = static_cast<char>(std::tolower(static_cast<unsigned char>(parti[1][0])));
    if (std::string("eonms").find(c.parita) == std::string::npos) return false;
    c.bit_dati = parti[2];
    if (c.bit_dati != "4" && c.bit_dati != "5" && c.bit_dati != "6" && c.bit_dati != "7" && c.bit_dati != "8")
        return false;
    c.bit_stop = parti[3];
    if (c.bit_stop != "1" && c.bit_stop != "1.5" && c.bit_stop != "2") return false;
    campi = c;
    return true;
}

} // namespace vexa
