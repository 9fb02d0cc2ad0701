#include "profilo.h"

#include "analysis/formato.h"
#include "settings/testo_file.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace vexa {

Profilo calcola_profilo(const std::vector<PuntoProfilo>& punti, double velocita_1rm) {
    Profilo p;
    std::set<double> carichi;
    std::vector<PuntoProfilo> validi;
    for (const PuntoProfilo& x : punti)
        if (std::isfinite(x.carico_kg) && std::isfinite(x.velocita)) {
            validi.push_back(x);
            carichi.insert(x.carico_kg);
        }
    p.punti = static_cast<int>(validi.size());
    p.carichi_distinti = static_cast<int>(carichi.size());
    if (validi.empty()) {
        p.motivo = "Nessuna serie nel periodo scelto: il massimale non si pu\xC3\xB2 stimare.";
        return p;
    }
    if (carichi.size() < 2) {
        p.motivo = "Servono serie ad almeno due carichi diversi per stimare il massimale: nel periodo scelto "
                   "c'\xC3\xA8 un solo carico.";
        return p;
    }
    // Sums about the means: the loads of a profile sit far from zero, and
    // the plain sums of squares would lose the digits the slope is made of.
    const double n = static_cast<double>(validi.size());
    double mx = 0, my = 0;
    for (const PuntoProfilo& x : validi) {
        mx += x.carico_kg;
        my += x.velocita;
    }
    mx /= n;
    my /= n;
    double sxx = 0, sxy = 0, syy = 0;
    for (const PuntoProfilo& x : validi) {
        const double dx = x.carico_kg - mx, dy = x.velocita - my;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    const double b = sxy / sxx;
    p.pendenza = b;
    p.intercetta = my - b * mx;
    if (syy > 0) p.r2 = std::min(1.0, sxy * sxy / (sxx * syy));
    if (!(b < 0)) {
        p.motivo = "La velocit\xC3\xA0 non cala all'aumentare del carico: il profilo non permette di stimare "
                   "il massimale.";
        return p;
    }
    const double m = (velocita_1rm - *p.intercetta) / b;
    if (!(velocita_1rm > 0) || !std::isfinite(m) || m <= 0) {
        p.motivo = "La velocit\xC3\xA0 a 1RM non \xC3\xA8 sotto quella che la retta d\xC3\xA0 a carico nullo: "
                   "il massimale non si pu\xC3\xB2 stimare.";
        return p;
    }
    p.massimale = m;
    return p;
}

int64_t lunedi_della_settimana(int64_t giorno) {
    // 1970-01-01 was a Thursday: day 4 of its week counting Monday as 1.
    const int64_t dal_lunedi = ((giorno + 3) % 7 + 7) % 7;
    return giorno - dal_lunedi;
}

std::vector<StimaSettimanale> stime_settimanali(const std::vector<std::pair<int64_t, PuntoProfilo>>& punti,
                                                double velocita_1rm) {
    std::map<int64_t, std::vector<PuntoProfilo>> settimane;
    for (const auto& [giorno, punto] : punti) settimane[lunedi_della_settimana(giorno)].push_back(punto);
    std::vector<StimaSettimanale> stime;
    for (const auto& [lunedi, p] : settimane) {
        Profilo profilo = calcola_profilo(p, velocita_1rm);
        if (profilo.massimale) stime.push_back({lunedi, std::move(profilo)});
    }
    return stime;
}

namespace {

std::string due_cifre(int v) {
    std::string t = std::to_string(v);
    if (t.size() < 2) t.insert(t.begin(), '0');
    return t;
}

std::string data_file(const DataOra& d) {
    return due_cifre(d.giorno) + " " + due_cifre(d.mese) + " " + std::to_string(d.anno);
}

// Fields may not carry the separator or a line break into the file.
std::string campo(std::string t) {
    for (char& c : t)
        if (c == ';' || c == '\r' || c == '\n') c = ' ';
    return t;
}

std::string numero(const std::optional<double>& v, int decimali, char sep) {
    return v ? formatta(*v, decimali, sep) : std::string();
}

} // namespace

std::string testo_profilo(const IntestazioneProfilo& i, const std::vector<PuntoDatato>& punti, const Profilo& p,
                          const FormatoLocale& f) {
    const char sep = f.separatore;
    std::string t;
    auto riga = [&t](std::initializer_list<std::string> campi) {
        for (const std::string& c : campi) t += c + ";";
        t += "\r\n";
    };
    riga({"Atleta", campo(i.atleta)});
    riga({"Squadra", campo(i.squadra)});
    riga({"Esercizio", campo(i.esercizio)});
    riga({"Velocita", i.vmp ? "VMP" : "Vmedia"});
    riga({"Dal", data_file(i.dal)});
    riga({"Al", data_file(i.al)});
    riga({"Velocita a 1RM (mm/s)", formatta(i.velocita_1rm, 0, sep)});
    riga({"Data", "Carico", "Velocita", "File"});
    for (const PuntoDatato& x : punti)
        riga({data_file(x.quando), formatta(x.punto.carico_kg, 1, sep), formatta(x.punto.velocita, 0, sep),
              campo(x.file)});
    riga({"Carichi distinti", std::to_string(p.carichi_distinti)});
    riga({"Pendenza (mm/s per kg)", numero(p.pendenza, 2, sep)});
    riga({"Intercetta (mm/s)", numero(p.intercetta, 0, sep)});
    riga({"R2", numero(p.r2, 4, sep)});
    riga({"Massimale stimato (kg)", numero(p.massimale, 1, sep)});
    riga({"Motivo", campo(p.motivo)});
    return utf8_a_cp1252(t);
}

} // namespace vexa
