#include "sintetizzatore.h"

#include "../analysis/decodifica.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <sstream>

namespace vexa::sim {
namespace {

// Small deterministic generator: the same seed gives the same set everywhere.
class Casuale {
public:
    explicit Casuale(uint32_t seme) : x_(seme ? seme : 0x9e3779b9u) {}
    double uniforme() { // in [-1, 1)
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return static_cast<double>(x_) / 2147483648.0 - 1.0;
    }

private:
    uint32_t x_;
};

// Follows the load count by count and emits a record whenever the count has
// moved `passo` counts from the last record, as the board does.
class Generatore {
public:
    Generatore(double ms_per_tick, int passo, double rumore, uint32_t seme, long conteggio)
        : ms_per_tick_(ms_per_tick), passo_(passo), rumore_(rumore), rng_(seme),
          ultimo_(conteggio) {}

    double t = 0; // s

    // Moves from count a to count b in `durata` seconds with a half-sine velocity
    // profile: still at both ends, peak pi/2 times the mean in the middle.
    void muovi(long a, long b, double durata) {
        const double t0 = t;
        const long dir = b > a ? 1 : -1;
        for (long c = a + dir; dir > 0 ? c <= b : c >= b; c += dir) {
            const double frazione = static_cast<double>(c - a) / static_cast<double>(b - a);
            const double tc = t0 + durata / std::numbers::pi * std::acos(1 - 2 * frazione);
            passa(c, tc);
        }
        t = t0 + durata;
    }
    void pausa(double s) { t += s; }

    std::vector<RecordScheda> record;
    double t_ultimo_record = 0;

private:
    void passa(long c, double tc) {
        if (std::labs(c - ultimo_) < passo_) return;
        double passo_s = tc - t_emesso_;
        if (rumore_ > 0) passo_s *= 1 + rumore_ * rng_.uniforme();
        t_rumoroso_ += passo_s;
        t_emesso_ = tc;
        // Cumulative ticks, rounded once, so rounding never drifts.
        const auto tick = static_cast<long long>(std::llround(t_rumoroso_ * 1000 / ms_per_tick_));
        long long intervallo = tick - tick_ultimo_;
        tick_ultimo_ = tick;
        if (c < ultimo_) intervallo = -intervallo;
        ultimo_ = c;
        record.push_back({static_cast<int16_t>(c), static_cast<int32_t>(intervallo)});
        t_ultimo_record = t_rumoroso_;
    }

    double ms_per_tick_;
    int passo_;
    double rumore_;
    Casuale rng_;
    long ultimo_;
    double t_emesso_ = 0, t_rumoroso_ = 0;
    long long tick_ultimo_ = 0;
};

} // namespace

int conteggi_per_record(Collegamento c) { return c == Collegamento::Seriale ? 6 : 1; }

Serie sintetizza(const DescrizioneSerie& d, int tipo_scheda, Collegamento c) {
    const ScalaScheda sc = scala_per_tipo(tipo_scheda);
    const double mm = static_cast<double>(sc.posizione);
    const long alto = std::lround(d.posizione_iniziale_mm / mm);
    const long ampiezza = std::max(1L, std::lround(d.ampiezza_mm / mm));
    const long basso = alto - ampiezza;
    const double rom = static_cast<double>(ampiezza) * mm;

    Generatore g(static_cast<double>(sc.tempo), conteggi_per_record(c), d.rumore, d.seme, alto);
    Serie s;
    g.pausa(d.pausa_alto_s);
    for (int i = 0; i < d.ripetizioni; ++i) {
        const double vconc = d.vel_conc * std::max(0.05, 1 - d.perdita_pct / 100 * i);
        const double t_ecc = rom / d.vel_ecc;
        const double t_conc = rom / vconc;
        VeritaRipetizione v{};
        v.inizio_s = g.t;
        v.durata_ecc_s = t_ecc;
        v.durata_conc_s = t_conc;
        v.spost_conc_mm = rom;
        v.spost_ecc_mm = -rom;
        v.vmedia_conc = vconc;
        v.vmedia_ecc = -d.vel_ecc;
        v.vpicco_conc = vconc * std::numbers::pi / 2;
        v.vpicco_ecc = -d.vel_ecc * std::numbers::pi / 2;
        s.verita.push_back(v);

        g.muovi(alto, basso, t_ecc);
        g.pausa(d.pausa_basso_s);
        g.muovi(basso, alto, t_conc);
        g.pausa(d.pausa_alto_s);
    }
    if (d.movimento_finale_mm > 0) {
        const long giu = std::max(1L, std::lround(d.movimento_finale_mm / mm));
        g.muovi(alto, alto - giu, d.movimento_finale_mm / d.vel_ecc);
    }
    s.record = std::move(g.record);
    s.durata_s = g.t_ultimo_record;
    return s;
}

std::vector<uint8_t> byte_seriali(const std::vector<RecordScheda>& r) {
    std::vector<uint8_t> out;
    out.reserve(r.size() * 6);
    for (const auto& x : r) {
        const auto p = static_cast<uint16_t>(x.posizione);
        const auto i = static_cast<uint32_t>(x.intervallo);
        const uint8_t b[6] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                              static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                              static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 24)};
        out.insert(out.end(), b, b + 6);
    }
    return out;
}

void scrivi_report_hid(const RecordScheda* record, int n, uint8_t* report64) {
    std::fill(report64, report64 + 64, uint8_t{0});
    for (int k = 0; k < n && k < 8; ++k) {
        // Buffer index 8k+2 is report byte 8k+1: the buffer has the report ID in front.
        uint8_t* s = report64 + 8 * k + 1;
        const auto p = static_cast<uint16_t>(record[k].posizione);
        const auto i = static_cast<uint32_t>(record[k].intervallo);
        s[0] = static_cast<uint8_t>(p);
        s[1] = static_cast<uint8_t>(p >> 8);
        s[2] = static_cast<uint8_t>(i);
        s[3] = static_cast<uint8_t>(i >> 8);
        s[4] = static_cast<uint8_t>(i >> 16);
        s[5] = static_cast<uint8_t>(i >> 24);
    }
}

std::vector<uint8_t> report_hid(const std::vector<RecordScheda>& r) {
    std::vector<RecordScheda> tutti = r;
    const RecordScheda fermo{tutti.empty() ? int16_t{0} : tutti.back().posizione, 0};
    while (tutti.size() % 8) tutti.push_back(fermo);
    std::vector<uint8_t> out(tutti.size() / 8 * 64);
    for (std::size_t k = 0; k < tutti.size(); k += 8) scrivi_report_hid(&tutti[k], 8, &out[k / 8 * 64]);
    return out;
}

std::string leggi_descrizione(const std::string& testo, DescrizioneSerie& d) {
    std::map<std::string, double*> campi = {
        {"ampiezza", &d.ampiezza_mm},        {"vconc", &d.vel_conc},
        {"vecc", &d.vel_ecc},                {"pausa_alto", &d.pausa_alto_s},
        {"pausa_basso", &d.pausa_basso_s},   {"perdita", &d.perdita_pct},
        {"rumore", &d.rumore},               {"finale", &d.movimento_finale_mm},
        {"inizio", &d.posizione_iniziale_mm}};
    std::stringstream ss(testo);
    std::string voce;
    while (std::getline(ss, voce, ',')) {
        if (voce.empty()) continue;
        const auto uguale = voce.find('=');
        if (uguale == std::string::npos) return "voce senza valore: " + voce;
        const std::string chiave = voce.substr(0, uguale), valore = voce.substr(uguale + 1);
        char* fine = nullptr;
        const double x = std::strtod(valore.c_str(), &fine);
        if (valore.empty() || *fine != '\0' || !std::isfinite(x)) return "valore non valido: " + voce;
        if (chiave == "ripetizioni" || chiave == "seme") {
            if (x < 0 || x > 10000 || x != std::floor(x)) return "valore non valido: " + voce;
            if (chiave == "ripetizioni")
                d.ripetizioni = static_cast<int>(x);
            else
                d.seme = static_cast<uint32_t>(x);
        } else if (auto it = campi.find(chiave); it != campi.end()) {
            *it->second = x;
        } else {
            return "voce sconosciuta: " + chiave;
        }
    }
    if (d.ampiezza_mm <= 0 || d.vel_conc <= 0 || d.vel_ecc <= 0 || d.pausa_alto_s < 0 ||
        d.pausa_basso_s < 0 || d.rumore < 0 || d.rumore > 0.5 || d.movimento_finale_mm < 0)
        return "descrizione della serie non valida";
    return {};
}

} // namespace vexa::sim
