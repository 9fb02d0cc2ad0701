#include "giornale.h"

#include "file_vbt.h"
#include "riproduzione.h"
#include "analysis/vista_memoria.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <variant>

namespace vexa {

namespace {

constexpr uint8_t TIPO_INTESTAZIONE = 1;
constexpr uint8_t TIPO_CAMPIONI = 2;
constexpr std::size_t TESTA_RECORD = 9; // checksum, type, length
constexpr std::size_t BYTE_CAMPIONE = 16;
constexpr std::size_t MAX_INTESTAZIONE = 64 * 1024;
constexpr std::size_t MAX_CAMPIONI_RECORD = 65536;
constexpr std::size_t MAX_CARICO = 4 + MAX_CAMPIONI_RECORD * BYTE_CAMPIONE;

constexpr std::array<uint32_t, 256> tabella_crc() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto TABELLA_CRC = tabella_crc();

// CRC-32 as zlib computes it, so the records can be checked with any tool.
uint32_t crc32(const uint8_t* p, std::size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) c = TABELLA_CRC[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void metti_u32(std::string& s, uint32_t v) {
    for (int k = 0; k < 4; ++k) s += static_cast<char>((v >> (8 * k)) & 0xFF);
}

uint32_t prendi_u32(const uint8_t* p) { return static_cast<uint32_t>(leggi_i32(p)); }

std::string record(uint8_t tipo, std::string_view carico) {
    std::string r(4, '\0');
    r += static_cast<char>(tipo);
    metti_u32(r, static_cast<uint32_t>(carico.size()));
    r += carico;
    const uint32_t c = crc32(reinterpret_cast<const uint8_t*>(r.data()) + 4, r.size() - 4);
    for (int k = 0; k < 4; ++k) r[static_cast<std::size_t>(k)] = static_cast<char>((c >> (8 * k)) & 0xFF);
    return r;
}

// The header is "key=value" lines: readable with a hex dump, and a later
// version can add keys an older reader skips.
void riga(std::string& t, std::string_view chiave, std::string_view valore) {
    t += chiave;
    t += '=';
    for (char c : valore) {
        if (c == '\\')
            t += "\\\\";
        else if (c == '\n')
            t += "\\n";
        else
            t += c;
    }
    t += '\n';
}

// Shortest text that reads back as the same float: the band and the scales
// must be the very values the live analysis used.
std::string testo_float(float v) {
    char b[32];
    const auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

float float_da(std::string_view t) {
    float v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

int32_t intero_da(std::string_view t) {
    int32_t v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

std::string data_testo(const DataOra& d) {
    char b[64];
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", d.anno, d.mese, d.giorno, d.ora, d.minuto, d.secondo);
    return b;
}

DataOra data_da(std::string_view t) {
    DataOra d;
    int campi[6] = {d.anno, d.mese, d.giorno, d.ora, d.minuto, d.secondo};
    const int lunghezze[6] = {4, 2, 2, 2, 2, 2};
    std::size_t p = 0;
    for (int i = 0; i < 6; ++i) {
        const auto n = static_cast<std::size_t>(lunghezze[i]);
        if (p + n > t.size()) return DataOra{};
        int v = 0;
        const auto r = std::from_chars(t.data() + p, t.data() + p + n, v);
        if (r.ec != std::errc() || r.ptr != t.data() + p + n) return DataOra{};
        campi[i] = v;
        p += n + 1;
    }
    if (campi[1] < 1 || campi[1] > 12 || campi[2] < 1 || campi[2] > 31 || campi[3] > 23 || campi[4] > 59 ||
        campi[5] > 60)
        return DataOra{};
    return {campi[0], campi[1], campi[2], campi[3], campi[4], campi[5]};
}

IntestazioneGiornale leggi_intestazione(std::string_view t) {
    IntestazioneGiornale i;
    while (!t.empty()) {
        const std::size_t fine = t.find('\n');
        const std::string_view r = t.substr(0, fine);
        t = fine == std::string_view::npos ? std::string_view{} : t.substr(fine + 1);
        const std::size_t uguale = r.find('=');
        if (uguale == std::string_view::npos) continue;
        const std::string_view chiave = r.substr(0, uguale);
        std::string v;
        for (std::size_t k = uguale + 1; k < r.size(); ++k) {
            if (r[k] == '\\' && k + 1 < r.size()) {
                ++k;
                v += r[k] == 'n' ? '\n' : r[k];
            } else {
                v += r[k];
            }
        }
        if (chiave == "inizio") i.inizio = data_da(v);
        else if (chiave == "nome_atleta") i.nome_atleta = v;
        else if (chiave == "squadra") i.squadra = v;
        else if (chiave == "esercizio") i.esercizio = v;
        else if (chiave == "cartella_atleta") i.cartella_atleta = v;
        else if (chiave == "carico_kg") i.carico_kg = float_da(v);
        else if (chiave == "vel_max") i.vel_max = float_da(v);
        else if (chiave == "limite_sup") i.limite_sup = float_da(v);
        else if (chiave == "limite_inf") i.limite_inf = float_da(v);
        else if (chiave == "ampiezza_min") i.ampiezza_min = float_da(v);
        else if (chiave == "collegamento") {
            i.seriale = v == "seriale";
            i.hid = v == "hid";
        } else if (chiave == "tipo_scheda") i.tipo_scheda = intero_da(v);
        else if (chiave == "scala_posizione") i.scala_posizione = float_da(v);
        else if (chiave == "scala_tempo") i.scala_tempo = float_da(v);
        else if (chiave == "tempo_campionamento") i.tempo_campionamento = intero_da(v);
    }
    return i;
}

} // namespace

IntestazioneGiornale intestazione_da_stato(const Stato& s, const DataOra& inizio) {
    IntestazioneGiornale i;
    i.inizio = inizio;
    i.nome_atleta = s.nome_atleta;
    i.squadra = s.squadra;
    i.esercizio = s.esercizio;
    i.cartella_atleta = s.cartella_atleta;
    i.carico_kg = s.carico_kg;
    i.vel_max = s.vel_max;
    i.limite_sup = s.limite_sup;
    i.limite_inf = s.limite_inf;
    i.ampiezza_min = s.ampiezza_min;
    i.seriale = s.seriale_attiva;
    i.hid = s.hid_attivo;
    i.scala_posizione = s.scala_posizione;
    i.scala_tempo = s.scala_tempo;
    for (int tipo = 1; tipo <= 3; ++tipo) {
        const ScalaScheda sc = scala_per_tipo(tipo);
        if (sc.posizione == s.scala_posizione && sc.tempo == s.scala_tempo) i.tipo_scheda = tipo;
    }
    i.tempo_campionamento = s.tempo_campionamento;
    return i;
}

std::string inizio_giornale(const IntestazioneGiornale& i) {
    std::string t;
    riga(t, "versione", "1");
    riga(t, "inizio", data_testo(i.inizio));
    riga(t, "nome_atleta", i.nome_atleta);
    riga(t, "squadra", i.squadra);
    riga(t, "esercizio", i.esercizio);
    riga(t, "cartella_atleta", i.cartella_atleta);
    riga(t, "carico_kg", testo_float(i.carico_kg));
    riga(t, "vel_max", testo_float(i.vel_max));
    riga(t, "limite_sup", testo_float(i.limite_sup));
    riga(t, "limite_inf", testo_float(i.limite_inf));
    riga(t, "ampiezza_min", testo_float(i.ampiezza_min));
    riga(t, "collegamento", i.seriale ? "seriale" : i.hid ? "hid" : "nessuno");
    riga(t, "tipo_scheda", std::to_string(i.tipo_scheda));
    riga(t, "scala_posizione", testo_float(i.scala_posizione));
    riga(t, "scala_tempo", testo_float(i.scala_tempo));
    riga(t, "tempo_campionamento", std::to_string(i.tempo_campionamento));
    if (t.size() > MAX_INTESTAZIONE) t.resize(MAX_INTESTAZIONE); // names that long are no names
    return std::string(MARCA_GIORNALE) + record(TIPO_INTESTAZIONE, t);
}

std::string record_campioni(int32_t primo, const Campione* c, std::size_t n) {
    std::string carico;
    carico.reserve(4 + n * BYTE_CAMPIONE);
    metti_u32(carico, static_cast<uint32_t>(primo));
    for (std::size_t k = 0; k < n; ++k)
        for (float v : {c[k].posizione, c[k].intervallo, c[k].tempo, c[k].velocita})
            metti_u32(carico, std::bit_cast<uint32_t>(v));
    return record(TIPO_CAMPIONI, carico);
}

GiornaleLetto leggi_giornale(std::string_view testo, std::size_t massimo_campioni) {
    GiornaleLetto g;
    const auto* b = reinterpret_cast<const uint8_t*>(testo.data());
    const std::size_t n = testo.size();
    if (n < MARCA_GIORNALE.size() || testo.substr(0, MARCA_GIORNALE.size()) != MARCA_GIORNALE) {
        g.integro = false;
        g.guasto = "il file non comincia come un giornale di registrazione";
        return g;
    }
    std::size_t p = MARCA_GIORNALE.size();
    g.byte_validi = p;
    auto danneggiato = [&](std::size_t dove) {
        g.integro = false;
        g.guasto = "record danneggiato al byte " + std::to_string(dove) + " di " + std::to_string(n);
    };
    while (p < n) {
        const std::size_t resto = n - p;
        if (resto < TESTA_RECORD) {
            g.integro = false;
            g.guasto = "il giornale finisce a metà di un record (" + std::to_string(resto) +
                       " byte dopo l'ultimo record intero)";
            return g;
        }
        const uint8_t tipo = b[p + 4];
        const std::size_t lunghezza = prendi_u32(b + p + 5);
        if (lunghezza > MAX_CARICO) {
            danneggiato(p);
            return g;
        }
        if (resto < TESTA_RECORD + lunghezza) {
            g.integro = false;
            g.guasto = "il giornale finisce a metà di un record (" + std::to_string(resto) +
                       " byte dopo l'ultimo record intero)";
            return g;
        }
        if (crc32(b + p + 4, 5 + lunghezza) != prendi_u32(b + p)) {
            danneggiato(p);
            return g;
        }
        const uint8_t* carico = b + p + TESTA_RECORD;
        if (!g.intestazione_letta) {
            // Nothing means anything before the header says whose it is.
            if (tipo != TIPO_INTESTAZIONE) {
                danneggiato(p);
                return g;
            }
            g.intestazione = leggi_intestazione({reinterpret_cast<const char*>(carico), lunghezza});
            g.intestazione_letta = true;
        } else if (tipo == TIPO_CAMPIONI) {
            if (lunghezza < 4 || (lunghezza - 4) % BYTE_CAMPIONE != 0) {
                danneggiato(p);
                return g;
            }
            const std::size_t primo = prendi_u32(carico);
            const std::size_t quanti = (lunghezza - 4) / BYTE_CAMPIONE;
            if (primo > massimo_campioni || quanti > massimo_campioni - primo) {
                danneggiato(p);
                return g;
            }
            // A first index back at the start is the analysis starting the
            // recording again (the first counted top); one beyond the end
            // leaves zeroed samples below it, as the trial does.
            g.campioni.resize(primo);
            for (std::size_t k = 0; k < quanti; ++k) {
                const uint8_t* c = carico + 4 + k * BYTE_CAMPIONE;
                g.campioni.push_back({std::bit_cast<float>(prendi_u32(c)), std::bit_cast<float>(prendi_u32(c + 4)),
                                      std::bit_cast<float>(prendi_u32(c + 8)),
                                      std::bit_cast<float>(prendi_u32(c + 12))});
            }
            g.n_campioni = static_cast<int32_t>(g.campioni.size());
        }
        // Other types are a later version's: whole, so skipped.
        p += TESTA_RECORD + lunghezza;
        g.byte_validi = p;
    }
    if (!g.intestazione_letta) {
        g.integro = false;
        g.guasto = "il giornale finisce prima dell'intestazione";
    }
    return g;
}

ProvaRecuperata ricostruisci_prova(const GiornaleLetto& g, const FormatoLocale& f) {
    ProvaRecuperata r;
    const IntestazioneGiornale& i = g.intestazione;
    r.intero = testo_file_intero(g.campioni, g.n_campioni, f);
    // Listed from the file, as opening it lists it: the rows then are the
    // same whether the coach reads the results file or opens the trial.
    std::vector<Campione> campioni = g.campioni;
    if (auto letta = leggi_file_prova(r.intero); std::holds_alternative<ProvaLetta>(letta))
        campioni = std::move(std::get<ProvaLetta>(letta).campioni);
    Stato s;
    s.nome_atleta = i.nome_atleta;
    s.esercizio = i.esercizio;
    s.carico_kg = i.carico_kg;
    s.vel_max = i.vel_max;
    s.limite_sup = i.limite_sup;
    s.limite_inf = i.limite_inf;
    s.ampiezza_min = i.ampiezza_min;
    ProvaMemoria prova;
    prova.grafico0.conserva_punti = false;
    prova.grafico1.conserva_punti = false;
    Analizzatore a(s, prova.vista);
    a.separatore = f.separatore;
    riproduci_campioni(campioni, s, prova.vista, a);
    const std::vector<RigaRisultati> righe = righe_risultati(prova.vista, s.ripetizioni);
    r.righe = static_cast<int>(righe.size());
    r.dati = testo_file_dati(i.nome_atleta, i.esercizio, i.carico_kg, righe, i.inizio, f);
    r.vbt = testo_file_vbt(s.indici_vbt, f);
    return r;
}

} // namespace vexa
