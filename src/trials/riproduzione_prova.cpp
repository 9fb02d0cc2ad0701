// Replay of a recorded trial: the samples of a whole-trial file go back
// through the analysis as the live path fed them.
#include "riproduzione.h"

#include "analysis/formato.h"
#include "analysis/vista_memoria.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace vexa {

namespace {

// The link and board that recorded the samples, as far as the samples tell.
struct Configurazione {
    bool attiva = false; // a link is known; otherwise every velocity is 0
    Collegamento link = Collegamento::Hid;
    float scala = 1.0f;       // mm per count
    float scala_tempo = 0.0f; // ms per tick; 0 when the tick cannot be told
    int tipo = 0;
    double costante() const { // velocity times interval, mm/s * ms
        return static_cast<double>(scala) * (link == Collegamento::Seriale ? 6 : 1) * 1000;
    }
    int conteggi() const { return link == Collegamento::Seriale ? 6 : 1; }
};

// The velocity the block decoder derives from an interval, operation for operation.
float velocita_di(const Configurazione& c, float dt) {
    return static_cast<float>(velocita_passo(c.scala, c.attiva && c.link == Collegamento::Seriale,
                                             c.attiva && c.link == Collegamento::Hid, dt));
}

// Whether `x` is written as `testo` (the text of `X`) with `decimali` places.
// The text keeps seven significant digits of the Single, so most values are
// decided by distance alone and only those near a rounding edge are formatted.
bool scritto_come(float x, float X, int decimali, const std::string& testo) {
    const double d = std::fabs(static_cast<double>(x) - static_cast<double>(X));
    const double mezzo = 0.5 * std::pow(10.0, -decimali);
    const double margine = std::fabs(static_cast<double>(x)) * 1.1e-6 + 1e-300;
    if (d + margine < mezzo) return true;
    if (d > mezzo + margine + std::fabs(static_cast<double>(X)) * 1.1e-6) return false;
    return formatta(x, decimali) == testo;
}

// How far the Single behind a written value can lie from it: half a unit of
// the last written place, plus half a unit of the seventh significant digit
// the value is cut to before that rounding.
double scarto_scritto(double x, int decimali) {
    const double cifra7 = x > 0 ? std::pow(10.0, std::floor(std::log10(x)) - 6) : 0;
    return 0.5 * std::pow(10.0, -decimali) + 0.5 * cifra7 + x * 1e-9;
}

bool velocita_informativa(float v) { return std::fabs(v) >= 12 && std::fabs(v) < 5000; }

// Velocity times interval names the link and the scale: scale × 6 on the
// serial link, the scale on the HID link.
Configurazione deduci_collegamento(const std::vector<Campione>& c) {
    std::vector<double> prodotti;
    for (int passata = 0; passata < 2 && prodotti.empty(); ++passata) {
        const float minimo = passata == 0 ? 5e-4f : 0.0f;
        for (const Campione& x : c) {
            const float s = std::fabs(x.intervallo);
            if (velocita_informativa(x.velocita) && s > minimo && std::isfinite(s))
                prodotti.push_back(static_cast<double>(std::fabs(x.velocita)) * static_cast<double>(s));
        }
    }
    Configurazione conf;
    if (prodotti.empty()) return conf;
    const auto meta = prodotti.begin() + static_cast<std::ptrdiff_t>(prodotti.size() / 2);
    std::nth_element(prodotti.begin(), meta, prodotti.end());
    const double p = *meta;
    struct Ipotesi {
        Collegamento link;
        float scala;
    };
    const Ipotesi ipotesi[] = {{Collegamento::Seriale, scala_per_tipo(1).posizione},
                               {Collegamento::Seriale, scala_per_tipo(2).posizione},
                               {Collegamento::Hid, scala_per_tipo(1).posizione},
                               {Collegamento::Hid, scala_per_tipo(2).posizione}};
    double migliore = std::numeric_limits<double>::infinity();
    for (const Ipotesi& i : ipotesi) {
        Configurazione k;
        k.attiva = true;
        k.link = i.link;
        k.scala = i.scala;
        const double distanza = std::fabs(std::log(p / (k.costante() / 1000)));
        if (distanza < migliore) {
            migliore = distanza;
            conf = k;
        }
    }
    return conf;
}

// The interval window of one sample in ms, from its written interval and
// velocity, and the best single guess within it.
struct Finestra {
    bool zero = false;
    int segno = 1;
    double da = 0, a = 0, stima = 0;
};

Finestra finestra(const Campione& x, const Configurazione& conf) {
    Finestra w;
    const double S = std::fabs(static_cast<double>(x.intervallo));
    const double V = std::fabs(static_cast<double>(x.velocita));
    if (x.intervallo == 0 && x.velocita == 0) {
        w.zero = true;
        return w;
    }
    if (x.intervallo != 0 || std::signbit(x.intervallo))
        w.segno = std::signbit(x.intervallo) ? -1 : 1;
    else
        w.segno = x.velocita < 0 ? -1 : 1;
    const double mezzo_s = scarto_scritto(S, 5);
    w.da = std::max(0.0, (S - mezzo_s) * 1000);
    w.a = (S + mezzo_s) * 1000;
    w.stima = S * 1000;
    if (!conf.attiva) return w;
    const double C = conf.costante();
    if (velocita_informativa(x.velocita)) {
        const double mezzo_v = scarto_scritto(V, 4);
        const double da = C / (V + mezzo_v), a = C / (V - mezzo_v);
        w.stima = C / V;
        if (std::max(w.da, da) <= std::min(w.a, a)) {
            w.da = std::max(w.da, da);
            w.a = std::min(w.a, a);
        } else {
            // The two columns disagree (an edited file): the velocity is the finer.
            w.da = da;
            w.a = a;
        }
    } else if (V >= 5000) {
        w.a = std::min(w.a, C / 5000);
    } else {
        w.da = std::max(w.da, C / 12 * (1 - 1e-6));
    }
    if (w.da > w.a) w.da = w.a;
    w.stima = std::clamp(w.stima, w.da, w.a);
    return w;
}

struct Testi {
    std::string intervallo, velocita, tempo;
};

Testi testi_di(const Campione& x) {
    return {formatta(x.intervallo, 5), formatta(x.velocita, 4), formatta(x.tempo, 4)};
}

// Intervals (ms, signed) of whole board ticks that the file writes exactly as
// this sample, nearest to the guess first; at most `massimo`, spread over the window.
std::vector<float> intervalli_possibili(const Campione& x, const Testi& t, const Finestra& w,
                                        const Configurazione& conf, std::size_t massimo) {
    std::vector<float> out;
    if (w.zero) {
        out.push_back(0.0f);
        return out;
    }
    const double st = static_cast<double>(conf.scala_tempo);
    if (st <= 0 || !std::isfinite(w.a) || w.a / st > 2.1e9) return out;
    long long da = std::max(1LL, static_cast<long long>(std::floor(w.da / st)) - 1);
    long long a = static_cast<long long>(std::ceil(w.a / st)) + 1;
    const long long centro = std::llround(w.stima / st);
    // A window wider than a few hundred ticks comes only from an edited file.
    if (a - da > 600) {
        da = std::max(1LL, centro - 300);
        a = centro + 300;
    }
    std::vector<std::pair<long long, float>> validi;
    for (long long n = da; n <= a; ++n) {
        const float dt = static_cast<float>(static_cast<double>(w.segno * n) * st);
        if (!scritto_come(dt / 1000.0f, x.intervallo, 5, t.intervallo)) continue;
        if (!scritto_come(velocita_di(conf, dt), x.velocita, 4, t.velocita)) continue;
        validi.emplace_back(n, dt);
    }
    if (validi.size() <= massimo || massimo < 2) {
        std::sort(validi.begin(), validi.end(), [centro](const auto& p, const auto& q) {
            return std::llabs(p.first - centro) < std::llabs(q.first - centro);
        });
        for (std::size_t k = 0; k < validi.size() && k < massimo; ++k) out.push_back(validi[k].second);
        return out;
    }
    // Evenly spread, both ends kept: neighbouring ticks mostly give the same time total.
    for (std::size_t k = 0; k < massimo; ++k)
        out.push_back(validi[k * (validi.size() - 1) / (massimo - 1)].second);
    return out;
}

// How well a tick length explains the samples that pin their interval down
// to well under one tick: the share of them for which some whole number of
// ticks is written exactly so (all of them for the board's own tick, few for
// another); -1 when no sample pins its interval down that far.
double adattamento(const std::vector<Campione>& c, const std::vector<Testi>& t, const Configurazione& conf) {
    int provati = 0, riusciti = 0;
    const double griglia = static_cast<double>(conf.scala_tempo) / 4;
    for (std::size_t i = 0; i < c.size() && provati < 400; ++i) {
        if (!velocita_informativa(c[i].velocita)) continue;
        const Finestra w = finestra(c[i], conf);
        if (w.zero || w.a - w.da > griglia) continue;
        ++provati;
        if (!intervalli_possibili(c[i], t[i], w, conf, 1).empty()) ++riusciti;
    }
    return provati == 0 ? -1 : static_cast<double>(riusciti) / provati;
}

// The intervals the board sent, chosen so that the file's own running total
// (the "Tempo" column) comes out the same: a beam over the two time totals
// the analysis keeps, carried through the samples whose tick is not unique.
struct Ricostruzione {
    std::vector<float> dt;
    int32_t stimati = 0;  // samples no whole number of ticks explains
    int32_t ricadute = 0; // samples whose running total no choice explains
};

Ricostruzione ricostruisci_intervalli(const std::vector<Campione>& c, const std::vector<Testi>& t,
                                       const Configurazione& conf) {
    constexpr std::size_t CANDIDATI = 160;
    struct Nodo {
        int padre;
        int32_t indice;
        float dt;
    };
    struct Ipotesi {
        float totale, movimento;
        double costo;
        int nodo;
        float dt;
    };
    auto candidati = [&](std::size_t i, const Finestra& w) {
        return intervalli_possibili(c[i], t[i], w, conf, CANDIDATI);
    };
    // The beam is as wide as the work allows: a recorded trial has a few
    // uncertain steps (the rests), an arbitrary file may have nothing else.
    std::size_t incerti = 0;
    for (std::size_t i = 0; i < c.size(); ++i)
        if (candidati(i, finestra(c[i], conf)).size() > 1) ++incerti;
    const std::size_t fascio_max =
        std::clamp<std::size_t>(10'000'000 / (std::max<std::size_t>(incerti, 1) * CANDIDATI), 16, 1024);

    Ricostruzione r;
    r.dt.assign(c.size(), 0.0f);
    std::vector<Nodo> nodi;
    std::vector<Ipotesi> fascio{{0.0f, 0.0f, 0.0, -1, 0.0f}}, nuove, tenute, scelte;
    auto per_costo = [](const Ipotesi& p, const Ipotesi& q) { return p.costo < q.costo; };

    for (std::size_t i = 0; i < c.size(); ++i) {
        const Finestra w = finestra(c[i], conf);
        std::vector<float> cand = candidati(i, w);
        if (cand.empty()) {
            ++r.stimati;
            cand.push_back(static_cast<float>(w.segno * w.stima));
        }
        nuove.clear();
        for (const Ipotesi& h : fascio) {
            for (float dt : cand) {
                // The two totals exactly as the block decoder keeps them.
                const float durata = std::fabs(dt / 1000.0f);
                Ipotesi k = h;
                k.totale = h.totale + durata;
                if (durata < 0.22f) k.movimento = h.movimento + durata;
                k.costo = h.costo + std::fabs(std::fabs(static_cast<double>(dt)) - w.stima);
                k.dt = dt;
                nuove.push_back(k);
            }
        }
        // One hypothesis per pair of totals, the cheapest: the future depends on nothing else.
        std::sort(nuove.begin(), nuove.end(), [](const Ipotesi& p, const Ipotesi& q) {
            if (p.totale != q.totale) return p.totale < q.totale;
            if (p.movimento != q.movimento) return p.movimento < q.movimento;
            return p.costo < q.costo;
        });
        nuove.erase(std::unique(nuove.begin(), nuove.end(),
                                [](const Ipotesi& p, const Ipotesi& q) {
                                    return p.totale == q.totale && p.movimento == q.movimento;
                                }),
                    nuove.end());
        // Keep those whose running total the file writes as it does (sorted by
        // total, so each total is judged once).
        tenute.clear();
        bool ultimo_ok = false;
        for (std::size_t k = 0; k < nuove.size(); ++k) {
            if (k == 0 || nuove[k].totale != nuove[k - 1].totale)
                ultimo_ok = scritto_come(nuove[k].totale, c[i].tempo, 4, t[i].tempo);
            if (ultimo_ok) tenute.push_back(nuove[k]);
        }
        // A file whose total disagrees with every choice was edited: carry on regardless.
        if (tenute.empty()) {
            ++r.ricadute;
            tenute = nuove;
        }
        if (tenute.size() > fascio_max) {
            // Only the total is checked against the file, so keep as many
            // different totals as there is room for, the cheapest of each.
            scelte.clear();
            std::vector<Ipotesi> altre;
            for (std::size_t k = 0; k < tenute.size(); ++k) {
                if (k == 0 || tenute[k].totale != tenute[k - 1].totale) {
                    std::size_t m = k;
                    for (std::size_t j = k; j < tenute.size() && tenute[j].totale == tenute[k].totale; ++j)
                        if (tenute[j].costo < tenute[m].costo) m = j;
                    scelte.push_back(tenute[m]);
                    for (std::size_t j = k; j < tenute.size() && tenute[j].totale == tenute[k].totale; ++j)
                        if (j != m) altre.push_back(tenute[j]);
                }
            }
            if (scelte.size() > fascio_max) {
                std::vector<Ipotesi> sparse;
                for (std::size_t k = 0; k < fascio_max; ++k)
                    sparse.push_back(scelte[k * (scelte.size() - 1) / (fascio_max - 1)]);
                scelte.swap(sparse);
            } else {
                std::sort(altre.begin(), altre.end(), per_costo);
                for (std::size_t k = 0; k < altre.size() && scelte.size() < fascio_max; ++k) scelte.push_back(altre[k]);
            }
            tenute.swap(scelte);
        }
        if (cand.size() == 1) {
            r.dt[i] = cand[0];
        } else {
            for (Ipotesi& h : tenute) {
                nodi.push_back({h.nodo, static_cast<int32_t>(i), h.dt});
                h.nodo = static_cast<int>(nodi.size()) - 1;
            }
        }
        fascio.swap(tenute);
    }
    const Ipotesi& migliore = *std::min_element(fascio.begin(), fascio.end(), per_costo);
    for (int n = migliore.nodo; n >= 0; n = nodi[static_cast<std::size_t>(n)].padre)
        r.dt[static_cast<std::size_t>(nodi[static_cast<std::size_t>(n)].indice)] = nodi[static_cast<std::size_t>(n)].dt;
    return r;
}

// Positions back to the exact millimetres of whole counts: the file rounds
// them to the mm, and a count is at least 1 mm.
std::vector<double> ricostruisci_posizioni(const std::vector<Campione>& c, const Configurazione& conf) {
    std::vector<double> out(c.size());
    const double scala = static_cast<double>(conf.scala);
    for (std::size_t i = 0; i < c.size(); ++i) {
        const double p = static_cast<double>(c[i].posizione);
        out[i] = p;
        if (!conf.attiva || !(std::fabs(p / scala) <= 32768)) continue;
        const long conteggio = std::lround(p / scala);
        if (conteggio < -32768 || conteggio > 32767) continue;
        const double mm = posizione_mm(static_cast<int16_t>(conteggio), conf.scala);
        if (std::fabs(mm - p) <= 0.5 + 1e-6) out[i] = mm;
    }
    return out;
}

// Where the load stood at the first counted top: one record before the first
// recorded sample, in the direction that sample moved.
double posizione_della_cima(const std::vector<double>& pos,
                            const std::vector<float>& dt, const Configurazione& conf) {
    if (!conf.attiva || dt[0] == 0) return pos[0];
    const double scala = static_cast<double>(conf.scala);
    const long conteggio = std::lround(pos[0] / scala) - (dt[0] < 0 ? -1 : 1) * conf.conteggi();
    if (conteggio < -32768 || conteggio > 32767) return pos[0];
    return posizione_mm(static_cast<int16_t>(conteggio), conf.scala);
}

void imposta_collegamento(Stato& s, const Configurazione& conf) {
    s.seriale_attiva = conf.attiva && conf.link == Collegamento::Seriale;
    s.hid_attivo = conf.attiva && conf.link == Collegamento::Hid;
    if (conf.attiva) s.scala_posizione = conf.scala;
    if (conf.scala_tempo > 0) s.scala_tempo = conf.scala_tempo;
}

void passa_campioni(Analizzatore& a, const std::vector<double>& pos, const std::vector<float>& dt,
                    const Configurazione& conf, const std::function<bool()>& basta = {}) {
    // Blocks as the link hands them over; the results do not depend on the cut.
    const std::size_t blocco = conf.attiva && conf.link == Collegamento::Seriale ? 2 : RECORD_PER_REPORT_HID;
    for (std::size_t i = 0; i < pos.size(); i += blocco) {
        const std::size_t n = std::min(blocco, pos.size() - i);
        a.Elabora_blocco(static_cast<int>(n) - 1, &pos[i], &dt[i]);
        if (basta && basta()) return;
    }
}

// The state the analysis is in right after the first counted top: repetition 1
// has just begun at time 0 where the load stood, both peaks are cleared, the
// direction is "not rising", and graph 0 has been emptied with the cursors on
// the start of the time base.
void prepara_cima(Stato& s, VistaProva& v, Analizzatore& a, double pos_cima) {
    const float cima = static_cast<float>(pos_cima);
    if (s.ripetizioni.size() < 2) s.ripetizioni.resize(2);
    s.ripetizioni[1] = Ripetizione{};
    s.ripetizioni[1].pos_inizio = cima;
    s.rip_corrente = 1;
    s.pos_inizio_rip = cima;
    s.fase = {1, 1};
    s.tempo_movimento = 0;
    s.tempo_totale = 0;
    a.vmax_rip = 0;
    a.vmin_rip = 0;
    v.grafico[0]->cancella_dati();
    v.grafico[0]->sposta_cursore("Cursor_1", 0.0);
    v.grafico[0]->sposta_cursore("Cursor_2", 0.0);
}

} // namespace

EsitoRiproduzione riproduci_campioni(const std::vector<Campione>& tutti, Stato& s, VistaProva& v, Analizzatore& a) {
    // Zeroed records in front stand for samples taken before recording was
    // switched on in the middle of an acquisition: nothing to analyse.
    std::size_t zeri = 0;
    while (zeri < tutti.size() && tutti[zeri].posizione == 0 && tutti[zeri].intervallo == 0 &&
           tutti[zeri].tempo == 0 && tutti[zeri].velocita == 0)
        ++zeri;
    const std::vector<Campione> c(tutti.begin() + static_cast<std::ptrdiff_t>(zeri), tutti.end());

    std::vector<Testi> testi;
    testi.reserve(c.size());
    for (const Campione& x : c) testi.push_back(testi_di(x));

    // Scale 1.288 is board type 1; scale 1 is type 2 or 3, which differ in
    // their tick only: the one that explains the file better is taken.
    Configurazione conf = deduci_collegamento(c);
    Ricostruzione r;
    if (conf.attiva) {
        const bool scala_1288 = conf.scala == scala_per_tipo(1).posizione;
        bool primo = true;
        double quota_migliore = 0;
        for (int tipo : scala_1288 ? std::vector<int>{1} : std::vector<int>{2, 3}) {
            Configurazione k = conf;
            k.scala_tempo = scala_per_tipo(tipo).tempo;
            k.tipo = tipo;
            Ricostruzione rk = ricostruisci_intervalli(c, testi, k);
            const double quota = adattamento(c, testi, k);
            const long errori = static_cast<long>(rk.stimati) + rk.ricadute;
            const long errori_migliori = static_cast<long>(r.stimati) + r.ricadute;
            if (primo || errori < errori_migliori || (errori == errori_migliori && quota > quota_migliore)) {
                primo = false;
                r = std::move(rk);
                quota_migliore = quota;
                conf.scala_tempo = k.scala_tempo;
                conf.tipo = tipo;
            }
        }
    } else {
        r = ricostruisci_intervalli(c, testi, conf);
    }
    const std::vector<double> pos = ricostruisci_posizioni(c, conf);

    EsitoRiproduzione esito;
    esito.collegamento_noto = conf.attiva;
    esito.collegamento = conf.link;
    esito.tipo_scheda = conf.tipo;
    esito.campioni_stimati = r.stimati;

    // A recording begins at the first counted top, unless the acquisition
    // never reached one: then it holds everything from the start. Which one
    // shows in a run from the start: a counted top means the samples began at one.
    if (!c.empty()) {
        Stato prova = s;
        imposta_collegamento(prova, conf);
        prova.registrazione_attiva = false;
        prova.grafico_live = false;
        ProvaMemoria vuota;
        vuota.grafico0.conserva_punti = false;
        vuota.grafico1.conserva_punti = false;
        Analizzatore secco(prova, vuota.vista);
        azzera_prova(prova, vuota.vista);
        azzera_tempi(prova);
        passa_campioni(secco, pos, r.dt, conf, [&prova] { return prova.rip_corrente >= 1; });
        esito.dalla_cima = prova.rip_corrente >= 1;
    }

    // The link, scales and switches are the program's; the replay borrows them.
    const bool seriale = s.seriale_attiva, hid = s.hid_attivo, registra = s.registrazione_attiva,
               live = s.grafico_live;
    const float scala = s.scala_posizione, scala_tempo = s.scala_tempo;
    std::function<int()> arretrato = std::move(a.arretrato);
    a.arretrato = nullptr;

    imposta_collegamento(s, conf);
    azzera_prova(s, v);
    azzera_tempi(s);
    a.vmax_rip = a.vmin_rip = a.t_vmax_rip = a.t_vmin_rip = 0;
    a.vel_precedente = 0;
    a.azzera_indici_vbt();
    s.registrazione_attiva = true;
    s.grafico_live = true;
    // Keep the zeroed records where they were, as the recording had them.
    if (zeri > 0) {
        s.campioni.assign(zeri, Campione{});
        s.n_campioni = static_cast<int32_t>(std::min<std::size_t>(zeri, INT32_MAX));
    }
    if (esito.dalla_cima) prepara_cima(s, v, a, posizione_della_cima(pos, r.dt, conf));
    passa_campioni(a, pos, r.dt, conf);
    v.grafico[0]->aggiorna();

    s.seriale_attiva = seriale;
    s.hid_attivo = hid;
    s.registrazione_attiva = registra;
    s.grafico_live = live;
    s.scala_posizione = scala;
    s.scala_tempo = scala_tempo;
    a.arretrato = std::move(arretrato);
    return esito;
}

} // namespace vexa
