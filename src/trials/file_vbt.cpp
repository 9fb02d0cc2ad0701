#include "file_vbt.h"

#include "analysis/formato.h"

#include <cctype>

namespace vexa {

std::string testo_file_vbt(const std::vector<IndiciVbt>& indici, const FormatoLocale& f) {
    const char sep = f.separatore;
    std::string t = "N\xB0Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;\r\n"; // the degree sign as
                                                                         // Windows-1252 has it
    for (const IndiciVbt& x : indici) {
        t += std::to_string(x.numero) + ';';
        t += formatta(x.vmedia_conc, 0, sep) + ';';
        t += formatta(x.vmp, 0, sep) + ';';
        t += formatta(x.vmax_conc, 0, sep) + ';';
        t += formatta(x.potenza_media, 0, sep) + ';';
        t += formatta(x.potenza_picco, 0, sep) + ';';
        t += formatta(x.perdita, 1, sep) + ';';
        t += "\r\n";
    }
    return t;
}

std::string nome_file_vbt(const std::string& file_dati) {
    std::string base = file_dati;
    const std::size_t n = base.size();
    if (n >= 4 && base[n - 4] == '.' && std::tolower(static_cast<unsigned char>(base[n - 3])) == 'c' &&
        std::tolower(static_cast<unsigned char>(base[n - 2])) == 's' &&
        std::tolower(static_cast<unsigned char>(base[n - 1])) == 'v')
        base.resize(n - 4);
    return base + " vbt.csv";
}

} // namespace vexa
