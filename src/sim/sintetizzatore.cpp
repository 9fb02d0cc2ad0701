#include "sintetizzatore.h"

#include "analysis/decodifica.h"
#include "analysis/formato.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <numbers>
#include <sstream>
#include <string_view>

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
    bool conserva = true;         // false: only measure the set, keep no records
    long long tick_piu_lungo = 0; // the longest step, before it is cut to 32 bits

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
        tick_piu_lungo = std::max(tick_piu_lungo, intervallo);
        if (c < ultimo_) intervallo = -intervallo;
        ultimo_ = c;
        if (conserva) record.push_back({static_cast<int16_t>(c), static_cast<int32_t>(intervallo)});
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

namespace {

// The counts a set moves between, at the board's scale.
struct Estremi {
    long alto, basso, finale;
};

Estremi estremi(const DescrizioneSerie& d, double mm) {
    const long alto = std::lround(d.posizione_iniziale_mm / mm);
    const long ampiezza = std::max(1L, std::lround(d.ampiezza_mm / mm));
    const long giu = d.movimento_finale_mm > 0 ? std::max(1L, std::lround(d.movimento_finale_mm / mm)) : 0;
    return {alto, alto - ampiezza, alto - giu};
}

void percorri(const DescrizioneSerie& d, double mm, const Estremi& e, Generatore& g,
              std::vector<VeritaRipetizione>* verita) {
    const double rom = static_cast<double>(e.alto - e.basso) * mm;
    g.pausa(d.pausa_alto_s);
    for (int i = 0; i < d.ripetizioni; ++i) {
        const double vconc = d.vel_conc * std::max(0.05, 1 - d.perdita_pct / 100 * i);
        const double t_ecc = rom / d.vel_ecc;
        const double t_conc = rom / vconc;
        if (verita) {
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
            verita->push_back(v);
        }
        g.muovi(e.alto, e.basso, t_ecc);
        g.pausa(d.pausa_basso_s);
        g.muovi(e.basso, e.alto, t_conc);
        g.pausa(d.pausa_alto_s);
    }
    if (d.movimento_finale_mm > 0) g.muovi(e.alto, e.finale, d.movimento_finale_mm / d.vel_ecc);
}

} // namespace

Serie sintetizza(const DescrizioneSerie& d, int tipo_scheda, Collegamento c) {
    const ScalaScheda sc = scala_per_tipo(tipo_scheda);
    const double mm = static_cast<double>(sc.posizione);
    const Estremi e = estremi(d, mm);
    Generatore g(static_cast<double>(sc.tempo), conteggi_per_record(c), d.rumore, d.seme, e.alto);
    Serie s;
    percorri(d, mm, e, g, &s.verita);
    s.record = std::move(g.record);
    s.durata_s = g.t_ultimo_record;
    return s;
}

std::string verifica_serie(const DescrizioneSerie& d, int tipo_scheda, Collegamento c) {
    const ScalaScheda sc = scala_per_tipo(tipo_scheda);
    const double mm = static_cast<double>(sc.posizione);
    const Estremi e = estremi(d, mm);
    const auto fuori = [](long conteggio) { return conteggio < INT16_MIN || conteggio > INT16_MAX; };
    if (fuori(e.alto) || fuori(e.basso) || fuori(e.finale))
        return "la serie esce dal campo della posizione: la scheda conta da -32768 a 32767 passi di " +
               testo_singolo(sc.posizione) + " mm (inizio, inizio - ampiezza e inizio - finale)";
    Generatore g(static_cast<double>(sc.tempo), conteggi_per_record(c), d.rumore, d.seme, e.alto);
    g.conserva = false;
    percorri(d, mm, e, g, nullptr);
    if (g.tick_piu_lungo > INT32_MAX) {
        const double ms_per_tick = static_cast<double>(sc.tempo);
        return "un passo della serie dura " + formatta(static_cast<double>(g.tick_piu_lungo) * ms_per_tick / 1000, 1) +
               " s, ma il campo dei tick (32 bit da " + testo_singolo(sc.tempo) + " ms) ne tiene al massimo " +
               formatta(INT32_MAX * ms_per_tick / 1000, 1) + ": accorcia le pause o alza le velocita'";
    }
    return {};
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

namespace {

// What a description may ask for. Positions are 16-bit counts of at least 1 mm,
// so a start within 10 m and movements of up to 3 m always fit; the analysis
// clamps velocities at 5000 mm/s; pauses stay well inside the tick field of the
// finest board (2^31 ticks of 0.0000833333 ms, about 179 s).
struct Voce {
    const char* chiave;
    double minimo, massimo;
    const char* unita;
    enum Tipo { Reale, Intero, Escursione, Velocita } tipo;
};

constexpr Voce VOCI[] = {
    {"ripetizioni", 0, 1000, "", Voce::Intero},
    {"ampiezza", 1, 3000, "mm", Voce::Escursione},
    {"vconc", 1, 5000, "mm/s", Voce::Velocita},
    {"vecc", 1, 5000, "mm/s", Voce::Velocita},
    {"pausa_alto", 0, 60, "s", Voce::Reale},
    {"pausa_basso", 0, 60, "s", Voce::Reale},
    {"perdita", 0, 100, "%", Voce::Reale},
    {"rumore", 0, 0.5, "", Voce::Reale},
    {"seme", 0, 4294967295.0, "", Voce::Intero},
    {"finale", 0, 3000, "mm", Voce::Escursione},
    {"inizio", -10000, 10000, "mm", Voce::Reale},
};

std::string intervallo(const Voce& v) {
    auto num = [](double x) { return formatta(x, x == std::floor(x) ? 0 : 1); };
    std::string t = "da " + num(v.minimo) + " a " + num(v.massimo);
    if (*v.unita) t += std::string(" ") + v.unita;
    return t;
}

double* campo(DescrizioneSerie& d, std::string_view chiave) {
    if (chiave == "ampiezza") return &d.ampiezza_mm;
    if (chiave == "vconc") return &d.vel_conc;
    if (chiave == "vecc") return &d.vel_ecc;
    if (chiave == "pausa_alto") return &d.pausa_alto_s;
    if (chiave == "pausa_basso") return &d.pausa_basso_s;
    if (chiave == "perdita") return &d.perdita_pct;
    if (chiave == "rumore") return &d.rumore;
    if (chiave == "finale") return &d.movimento_finale_mm;
    if (chiave == "inizio") return &d.posizione_iniziale_mm;
    return nullptr;
}

} // namespace

std::string ranghi_descrizione() {
    std::string t;
    for (const Voce& v : VOCI) t += std::string("  ") + v.chiave + ": " + intervallo(v) + "\n";
    return t;
}

std::string leggi_descrizione(const std::string& testo, DescrizioneSerie& d) {
    std::stringstream ss(testo);
    std::string voce;
    while (std::getline(ss, voce, ',')) {
        if (voce.empty()) continue;
        const auto uguale = voce.find('=');
        if (uguale == std::string::npos) return "voce senza valore: " + voce;
        const std::string chiave = voce.substr(0, uguale), valore = voce.substr(uguale + 1);
        const Voce* v = std::find_if(std::begin(VOCI), std::end(VOCI), [&](const Voce& x) { return chiave == x.chiave; });
        if (v == std::end(VOCI)) return "voce sconosciuta: " + chiave;
        // Read the same under any locale: "0.5" is a half everywhere.
        double x = 0;
        const auto [fine, esito] = std::from_chars(valore.data(), valore.data() + valore.size(), x);
        if (valore.empty() || esito != std::errc() || fine != valore.data() + valore.size() || !std::isfinite(x))
            return voce + " non valido: serve un numero " + intervallo(*v);
        if (x < 0 && v->tipo == Voce::Escursione)
            return voce + " non valido: " + chiave + " e' un'escursione, non puo' essere negativa (" +
                   intervallo(*v) + "; il verso lo danno le fasi della ripetizione)";
        if (x < 0 && v->tipo == Voce::Velocita)
            return voce + " non valido: " + chiave +
                   " e' una velocita' media senza segno, non puo' essere negativa (" + intervallo(*v) +
                   "; il verso lo danno le fasi della ripetizione)";
        if (v->tipo == Voce::Intero && x != std::floor(x))
            return voce + " non valido: serve un numero intero " + intervallo(*v);
        if (x < v->minimo || x > v->massimo) return voce + " non valido: fuori intervallo, " + intervallo(*v);
        if (chiave == "ripetizioni")
            d.ripetizioni = static_cast<int>(x);
        else if (chiave == "seme")
            d.seme = static_cast<uint32_t>(x);
        else
            *campo(d, chiave) = x;
    }
    return {};
}

} // namespace vexa::sim
