#include "serie_letta.h"

#include "settings/testo_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vexa {
namespace {

// UTF-8: both files are read back in it, whatever they were written in.
constexpr std::string_view INTESTAZIONE_DATI =
    "Nome;Esercizio;Carico;N\xC2\xB0Rip;Tempo;Durata;Spost;Vmedia;Vmax;TdiVmax;SdiVmax;Durata;Spost;"
    "Vmedia;Vmax;TdiVmax;SdiVmax;NOTA;";
constexpr std::string_view INTESTAZIONE_VBT = "N\xC2\xB0Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;";
constexpr std::string_view BOM = "\xEF\xBB\xBF";
// Name, exercise, load, number, the value columns, the note.
constexpr std::size_t CAMPI_RIGA = 4 + N_COLONNE_RISULTATI + 1;

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view senza_blank(std::string_view t) {
    while (!t.empty() && blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && blank(t.back())) t.remove_suffix(1);
    return t;
}

// The lines of a file as UTF-8 texts: Windows-1252 unless the file starts
// with a UTF-8 byte order mark (a spreadsheet that saved it again).
std::vector<std::string> righe_utf8(std::string_view byte) {
    const bool utf8 = byte.substr(0, BOM.size()) == BOM;
    if (utf8) byte.remove_prefix(BOM.size());
    std::vector<std::string> righe;
    std::size_t i = 0;
    while (i < byte.size()) {
        std::size_t j = i;
        while (j < byte.size() && byte[j] != '\r' && byte[j] != '\n') ++j;
        const std::string_view riga = byte.substr(i, j - i);
        righe.push_back(utf8 ? std::string(riga) : cp1252_a_utf8(riga));
        if (j < byte.size() && byte[j] == '\r') ++j;
        if (j < byte.size() && byte[j] == '\n') ++j;
        i = j;
    }
    return righe;
}

std::vector<std::string_view> campi(std::string_view riga) {
    std::vector<std::string_view> c;
    std::size_t inizio = 0;
    for (std::size_t k = 0; k <= riga.size(); ++k)
        if (k == riga.size() || riga[k] == ';') {
            c.push_back(riga.substr(inizio, k - inizio));
            inizio = k + 1;
        }
    return c;
}

bool intestazione(std::string_view riga, std::string_view attesa) {
    riga = senza_blank(riga);
    // The last ";" may have been dropped by a program that saved it again.
    return riga == attesa || (attesa.back() == ';' && riga == attesa.substr(0, attesa.size() - 1));
}

// A decimal number with '.' or ',' as its separator (neither file has
// thousands separators, so either reads the same); blanks around it.
std::optional<double> numero(std::string_view t) {
    t = senza_blank(t);
    if (t.empty() || t.size() > 40) return std::nullopt;
    std::string buf(t);
    std::replace(buf.begin(), buf.end(), ',', '.');
    const char* inizio = buf.data();
    if (*inizio == '+') ++inizio;
    double v = 0;
    const auto r = std::from_chars(inizio, buf.data() + buf.size(), v, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != buf.data() + buf.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int32_t> intero(std::string_view t) {
    t = senza_blank(t);
    int32_t v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
    return v;
}

// Whole numbers separated by anything that is not a digit: "05 03 2024",
// "9:07:3", "9.07.3".
std::vector<int> gruppi_di_cifre(std::string_view t) {
    std::vector<int> g;
    std::size_t k = 0;
    while (k < t.size()) {
        if (t[k] < '0' || t[k] > '9') {
            ++k;
            continue;
        }
        int v = 0;
        std::size_t cifre = 0;
        for (; k < t.size() && t[k] >= '0' && t[k] <= '9'; ++k, ++cifre)
            if (cifre < 6) v = v * 10 + (t[k] - '0');
        g.push_back(cifre <= 6 ? v : -1);
    }
    return g;
}

bool data_valida(const DataOra& d) {
    static constexpr int giorni[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.anno < 1900 || d.anno > 9999 || d.mese < 1 || d.mese > 12) return false;
    const bool bisestile = (d.anno % 4 == 0 && d.anno % 100 != 0) || d.anno % 400 == 0;
    const int max_giorno = d.mese == 2 && !bisestile ? 28 : giorni[d.mese - 1];
    return d.giorno >= 1 && d.giorno <= max_giorno && d.ora >= 0 && d.ora <= 23 && d.minuto >= 0 &&
           d.minuto <= 59 && d.secondo >= 0 && d.secondo <= 59;
}

std::string citazione(std::string_view t) {
    std::string c(t.substr(0, 24));
    if (t.size() > 24) c += "...";
    return "\"" + c + "\"";
}

std::string danneggiato(std::size_t riga) {
    return "File dei risultati danneggiato alla riga " + std::to_string(riga) + ": ";
}

// The figures of the velocity-training file into the repetitions they belong
// to; a text saying why when the file does not fit, and then none is taken.
std::string unisci_vbt(std::string_view byte, std::vector<RipetizioneSerie>& ripetizioni) {
    const std::vector<std::string> righe = righe_utf8(byte);
    if (righe.empty() || !intestazione(righe[0], INTESTAZIONE_VBT))
        return "il file delle velocit\xC3\xA0 non ha l'intestazione attesa";
    std::vector<std::pair<std::size_t, FigureVbt>> trovate;
    for (std::size_t r = 1; r < righe.size(); ++r) {
        if (senza_blank(righe[r]).empty()) continue;
        const auto c = campi(righe[r]);
        const std::string dove = "il file delle velocit\xC3\xA0 alla riga " + std::to_string(r + 1);
        if (c.size() < 7 || (c.size() > 7 && !(c.size() == 8 && senza_blank(c[7]).empty())))
            return dove + " non ha sette valori";
        const auto n = intero(c[0]);
        const auto k = std::find_if(ripetizioni.begin(), ripetizioni.end(),
                                    [&](const RipetizioneSerie& x) { return n && x.numero == *n; });
        if (k == ripetizioni.end()) return dove + " nomina una ripetizione che i risultati non elencano";
        std::optional<double> v[6];
        for (std::size_t i = 0; i < 6; ++i) {
            v[i] = numero(c[i + 1]);
            if (!v[i] && !senza_blank(c[i + 1]).empty()) return dove + ": " + citazione(c[i + 1]) + " non \xC3\xA8 un numero";
        }
        trovate.emplace_back(static_cast<std::size_t>(k - ripetizioni.begin()), FigureVbt{v[0], v[1], v[2], v[3], v[4], v[5]});
    }
    for (auto& [i, f] : trovate) ripetizioni[i].vbt = f;
    return {};
}

template <class F>
std::optional<double> massimo(const std::vector<RipetizioneSerie>& r, F campo) {
    std::optional<double> m;
    for (const RipetizioneSerie& x : r)
        if (const auto v = campo(x); v && (!m || *v > *m)) m = v;
    return m;
}

} // namespace

std::optional<double> SerieLetta::vmedia_migliore() const {
    return massimo(ripetizioni, [](const RipetizioneSerie& r) { return r.valore(ColonnaRisultati::vmedia_conc); });
}

std::optional<double> SerieLetta::vmp_migliore() const {
    return massimo(ripetizioni, [](const RipetizioneSerie& r) { return r.vbt.vmp; });
}

std::optional<double> SerieLetta::perdita_finale() const {
    if (ripetizioni.empty()) return std::nullopt;
    return ripetizioni.back().vbt.perdita;
}

bool sembra_file_dati(std::string_view inizio) {
    const std::vector<std::string> righe = righe_utf8(inizio.substr(0, 4096));
    return righe.size() >= 2 && intestazione(righe[1], INTESTAZIONE_DATI);
}

std::variant<SerieLetta, std::string> leggi_serie(std::string_view dati, std::optional<std::string_view> vbt) {
    const std::vector<std::string> righe = righe_utf8(dati);
    if (righe.size() < 2 || !intestazione(righe[1], INTESTAZIONE_DATI))
        return std::string("Il file non \xC3\xA8 un file dei risultati: manca l'intestazione delle colonne.");
    SerieLetta s;
    {
        const auto c = campi(righe[0]);
        const auto d = c.size() >= 2 ? gruppi_di_cifre(c[0]) : std::vector<int>{};
        const auto o = c.size() >= 2 ? gruppi_di_cifre(c[1]) : std::vector<int>{};
        if (d.size() == 3 && o.size() == 3) s.quando = DataOra{d[2], d[1], d[0], o[0], o[1], o[2]};
        if (d.size() != 3 || o.size() != 3 || !data_valida(s.quando))
            return danneggiato(1) + "data e ora " + citazione(righe[0]) + " non leggibili.";
    }
    for (std::size_t r = 2; r < righe.size(); ++r) {
        if (senza_blank(righe[r]).empty()) continue;
        const auto c = campi(righe[r]);
        // A note may hold ";": whatever follows the value columns is the note,
        // less the ";" that ends every line.
        if (c.size() < CAMPI_RIGA) return danneggiato(r + 1) + "mancano dei campi.";
        RipetizioneSerie rip;
        const auto n = intero(c[3]);
        if (!n || *n < 1) return danneggiato(r + 1) + "il numero di ripetizione " + citazione(c[3]) + " non \xC3\xA8 valido.";
        rip.numero = *n;
        for (const RipetizioneSerie& gia : s.ripetizioni)
            if (gia.numero == rip.numero)
                return danneggiato(r + 1) + "la ripetizione " + std::to_string(rip.numero) + " compare due volte.";
        for (std::size_t j = 0; j < N_COLONNE_RISULTATI; ++j) {
            const std::string_view t = c[4 + j];
            rip.valori[j] = numero(t);
            if (!rip.valori[j] && !senza_blank(t).empty())
                return danneggiato(r + 1) + citazione(t) + " non \xC3\xA8 un numero.";
        }
        const std::size_t fine_nota = c.size() > CAMPI_RIGA && c.back().empty() ? c.size() - 1 : c.size();
        for (std::size_t k = CAMPI_RIGA - 1; k < fine_nota; ++k) {
            if (k > CAMPI_RIGA - 1) rip.nota += ';';
            rip.nota += c[k];
        }
        if (s.ripetizioni.empty()) {
            const auto carico = numero(c[2]);
            if (!carico || *carico < 0) return danneggiato(r + 1) + "il carico " + citazione(c[2]) + " non \xC3\xA8 valido.";
            s.atleta = std::string(c[0]);
            s.esercizio = std::string(c[1]);
            s.carico_kg = *carico;
        }
        s.ripetizioni.push_back(std::move(rip));
    }
    if (vbt) {
        s.avviso = unisci_vbt(*vbt, s.ripetizioni);
        s.con_vbt = s.avviso.empty();
    }
    return s;
}

} // namespace vexa
