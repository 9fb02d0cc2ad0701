#include "file_prova.h"

#include "analysis/analisi.h"
#include "analysis/formato.h"
#include "analysis/vista_memoria.h"
#include "settings/testo_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace vexa {
namespace {

constexpr std::string_view A_CAPO = "\r\n";
constexpr std::string_view TAG_INTERO = "Vexa01;";
constexpr std::string_view INTESTAZIONE_INTERO = "Tempo;Posizione;Velocita;dt";
constexpr std::string_view INTESTAZIONE_DATI =
    "Nome;Esercizio;Carico;N\xC2\xB0Rip;Tempo;Durata;Spost;Vmedia;Vmax;TdiVmax;SdiVmax;Durata;Spost;"
    "Vmedia;Vmax;TdiVmax;SdiVmax;NOTA;"; // UTF-8 here; the degree sign leaves as byte 0xB0
const char* const NON_COMPATIBILE = " File non compatibile!";
// 2^31 ticks of the slowest board clock (0.2 us), in seconds.
constexpr float INTERVALLO_MASSIMO_S = 430.0f;

std::string due_cifre(int v) {
    std::string t = std::to_string(v < 0 ? 0 : v);
    return t.size() < 2 ? "0" + t : t;
}

// A line break inside a field would end the line early in every reader.
std::string su_una_riga(std::string t) {
    for (char& c : t)
        if (c == '\r' || c == '\n') c = ' ';
    return t;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view senza_blank(std::string_view t) {
    while (!t.empty() && blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && blank(t.back())) t.remove_suffix(1);
    return t;
}

// A plain decimal number: sign, digits with at most one decimal separator
// ('.' or `altro`), optional exponent. No thousands separators, no "inf" or
// "nan", nothing around it but blanks.
std::optional<double> numero_decimale(std::string_view t, char altro) {
    t = senza_blank(t);
    if (t.empty() || t.size() > 64) return std::nullopt;
    std::string buf;
    std::size_t k = 0;
    if (t[0] == '+' || t[0] == '-') {
        if (t[0] == '-') buf += '-';
        k = 1;
    }
    bool cifre = false, punto = false;
    for (; k < t.size(); ++k) {
        const char c = t[k];
        if (c >= '0' && c <= '9') {
            cifre = true;
            buf += c;
        } else if ((c == '.' || c == altro) && !punto) {
            punto = true;
            buf += '.';
        } else {
            break;
        }
    }
    if (!cifre) return std::nullopt;
    if (k < t.size() && (t[k] == 'e' || t[k] == 'E')) {
        buf += 'e';
        ++k;
        if (k < t.size() && (t[k] == '+' || t[k] == '-')) buf += t[k++];
        bool cifre_exp = false;
        for (; k < t.size() && t[k] >= '0' && t[k] <= '9'; ++k) {
            buf += t[k];
            cifre_exp = true;
        }
        if (!cifre_exp) return std::nullopt;
    }
    if (k != t.size()) return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(buf.data(), buf.data() + buf.size(), v);
    if (r.ec != std::errc() || r.ptr != buf.data() + buf.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace

// --- writing ---------------------------------------------------------------

std::string testo_file_intero(const std::vector<Campione>& campioni, int32_t n_campioni, const FormatoLocale& f) {
    const std::size_t n =
        std::min(campioni.size(), static_cast<std::size_t>(std::max<int32_t>(n_campioni, 0)));
    const char sep = f.separatore;
    std::string t;
    t.reserve(40 + n * 36);
    t += TAG_INTERO;
    t += A_CAPO;
    t += INTESTAZIONE_INTERO;
    t += A_CAPO;
    // Every recorded sample, the first and the last included: the file is the
    // trial, and a replay needs all of it.
    for (std::size_t i = 0; i < n; ++i) {
        const Campione& c = campioni[i];
        t += formatta(c.tempo, 4, sep);
        t += ';';
        t += formatta(c.posizione, 0, sep);
        t += ';';
        t += formatta(c.velocita, 4, sep);
        t += ';';
        t += formatta(c.intervallo, 5, sep);
        t += A_CAPO;
    }
    return t; // digits, signs and the one-byte separator: already single-byte text
}

std::vector<RigaRisultati> righe_risultati(const VistaProva& v, const std::vector<Ripetizione>& ripetizioni) {
    std::vector<RigaRisultati> righe;
    const int n = v.lst_valori[0] ? v.lst_valori[0]->numero_righe() : 0;
    for (int r = 0; r < n; ++r) {
        RigaRisultati riga;
        for (std::size_t j = 0; j < riga.colonne.size(); ++j) {
            const IColonna* col = v.lst_valori[j];
            if (col && r < col->numero_righe()) riga.colonne[j] = col->testo(r);
        }
        const auto k = static_cast<std::size_t>(r) + 1;
        if (k < ripetizioni.size()) riga.nota = ripetizioni[k].nota;
        righe.push_back(std::move(riga));
    }
    return righe;
}

std::string testo_file_dati(const std::string& nome_atleta, const std::string& esercizio, float carico_kg,
                            const std::vector<RigaRisultati>& righe, const DataOra& quando, const FormatoLocale& f) {
    const char sep = f.separatore;
    const std::string ora_sep = su_una_riga(f.separatore_ora);
    std::string t;
    t += due_cifre(quando.giorno) + " " + due_cifre(quando.mese) + " " + std::to_string(quando.anno) + ";";
    t += std::to_string(quando.ora) + ora_sep + due_cifre(quando.minuto) + ora_sep + std::to_string(quando.secondo) + ";";
    t += A_CAPO;
    t += INTESTAZIONE_DATI;
    t += A_CAPO;
    const std::string prefisso = su_una_riga(nome_atleta) + ";" + su_una_riga(esercizio) + ";" +
                                 formatta(carico_kg, 1, sep) + ";";
    for (std::size_t r = 0; r < righe.size(); ++r) {
        t += prefisso;
        t += intero_stampa(static_cast<int64_t>(r) + 1);
        t += ';';
        for (std::size_t j = 1; j <= 13; ++j) {
            // The list shows the value in the locale's separator; a cell that is
            // not a number (never written by the analysis) leaves its field empty.
            if (const auto v = numero_decimale(righe[r].colonne[j], sep)) t += formatta(*v, 2, sep);
            t += ';';
        }
        t += su_una_riga(righe[r].nota);
        t += ';';
        t += A_CAPO;
    }
    return utf8_a_cp1252(t);
}

std::string nome_automatico(const DataOra& quando, const FormatoLocale& f) {
    const int m = std::clamp(quando.mese, 1, 12);
    return std::to_string(quando.anno) + "  " + f.mesi_brevi[static_cast<std::size_t>(m - 1)] + " " +
           due_cifre(quando.giorno) + "  " + std::to_string(quando.ora) + f.separatore_ora +
           due_cifre(quando.minuto) + f.separatore_ora + std::to_string(quando.secondo);
}

std::string nome_proposto_dati(const std::string& esercizio, const DataOra& quando) {
    return esercizio + " " + std::to_string(quando.anno) + " " + due_cifre(quando.mese) + " " +
           due_cifre(quando.giorno) + " " + due_cifre(quando.ora) + " " + due_cifre(quando.minuto) + " " +
           due_cifre(quando.secondo);
}

// --- reading ---------------------------------------------------------------

namespace {

// Cuts the bytes into lines at CR LF, LF or CR.
class Righe {
public:
    explicit Righe(std::string_view b) : b_(b) {}
    bool prossima(std::string_view& riga) {
        if (i_ >= b_.size()) return false;
        std::size_t j = i_;
        while (j < b_.size() && b_[j] != '\r' && b_[j] != '\n') ++j;
        riga = b_.substr(i_, j - i_);
        if (j < b_.size() && b_[j] == '\r') ++j;
        if (j < b_.size() && b_[j] == '\n' && (j == i_ + riga.size() || b_[j - 1] == '\r')) ++j;
        i_ = j;
        ++numero_;
        return true;
    }
    int numero() const { return numero_; }

private:
    std::string_view b_;
    std::size_t i_ = 0;
    int numero_ = 0;
};

std::string citazione(std::string_view campo) {
    std::string t = cp1252_a_utf8(campo.substr(0, 24));
    if (campo.size() > 24) t += "...";
    return "\"" + t + "\"";
}

// A header line may carry blanks after it, as an editor may leave them.
bool riga_uguale(std::string_view riga, std::string_view attesa) {
    while (!riga.empty() && blank(riga.back())) riga.remove_suffix(1);
    return riga == attesa;
}

std::variant<ProvaLetta, std::string> leggi_intero(Righe& righe) {
    ProvaLetta p;
    p.formato = ProvaLetta::Formato::Vexa01;
    std::string_view riga;
    while (righe.prossima(riga)) {
        const std::string_view pulita = senza_blank(riga);
        if (pulita.empty()) continue; // blank lines, the last one above all
        const std::string danneggiato = "File di prova danneggiato alla riga " + std::to_string(righe.numero()) + ": ";
        std::array<std::string_view, 4> campi;
        std::size_t n = 0, inizio = 0;
        std::string_view resto = pulita;
        // A trailing ";" (a spreadsheet's habit) is allowed, nothing after it.
        if (resto.back() == ';') resto.remove_suffix(1);
        for (std::size_t k = 0; k <= resto.size(); ++k) {
            if (k == resto.size() || resto[k] == ';') {
                if (n == campi.size()) return danneggiato + "servono quattro valori separati da \";\".";
                campi[n++] = resto.substr(inizio, k - inizio);
                inizio = k + 1;
            }
        }
        if (n != campi.size()) return danneggiato + "servono quattro valori separati da \";\".";
        float v[4];
        for (std::size_t c = 0; c < 4; ++c) {
            const auto x = numero_decimale(campi[c], ',');
            if (!x) return danneggiato + citazione(campi[c]) + " non \xC3\xA8 un numero.";
            if (std::fabs(*x) > static_cast<double>(std::numeric_limits<float>::max()))
                return danneggiato + "il valore " + citazione(campi[c]) + " \xC3\xA8 fuori dall'intervallo ammesso.";
            v[c] = static_cast<float>(*x);
        }
        // No board measures a step longer than its 32-bit tick count can hold.
        if (std::fabs(v[3]) > INTERVALLO_MASSIMO_S)
            return danneggiato + "il passo di " + citazione(campi[3]) + " s supera i 430 s che la scheda misura.";
        // Columns: tempo, posizione, velocita, dt.
        p.campioni.push_back(Campione{v[1], v[3], v[0], v[2]});
    }
    return p;
}

std::variant<ProvaLetta, std::string> leggi_pesi01(std::string_view byte) {
    LettoreCampi l(byte);
    const auto tag = l.testo();
    if (!tag || *tag != "pesi01") return std::string(NON_COMPATIBILE);
    ProvaLetta p;
    p.formato = ProvaLetta::Formato::Pesi01;
    const std::string pesi = "File \"pesi01\" danneggiato alla riga ";
    if (l.fine()) return std::string("File \"pesi01\" incompleto: manca il tempo di campionamento.");
    {
        const int riga = l.riga();
        const std::string t = l.testo().value_or("");
        const auto v = numero_decimale(t, '.');
        if (!v || *v != std::floor(*v) || *v < -2147483648.0 || *v > 2147483647.0)
            return pesi + std::to_string(riga) + ": il tempo di campionamento " + citazione(t) +
                   " non \xC3\xA8 un numero intero.";
        p.tempo_campionamento = static_cast<int32_t>(*v);
    }
    // The samples are read to the end and dropped: what they stand for is not known.
    while (!l.fine()) {
        const int riga = l.riga();
        const std::string t = l.testo().value_or("");
        // An empty item reads as 0, as the platform's input always did.
        if (senza_blank(t).empty()) continue;
        const auto v = testo_numerico_normale(t);
        if (!v) return pesi + std::to_string(riga) + ": " + citazione(t) + " non \xC3\xA8 un numero.";
        if (std::fabs(valore_iniziale(*v)) > static_cast<double>(std::numeric_limits<float>::max()))
            return pesi + std::to_string(riga) + ": il valore " + citazione(t) + " \xC3\xA8 fuori dall'intervallo ammesso.";
    }
    return p;
}

} // namespace

std::variant<ProvaLetta, std::string> leggi_file_prova(std::string_view byte) {
    std::string_view corpo = byte;
    if (corpo.substr(0, 3) == "\xEF\xBB\xBF") corpo.remove_prefix(3);
    Righe righe(corpo);
    std::string_view r1, r2;
    // The two header lines make a whole-trial file; anything else falls to the
    // older format's rule, which refuses all but "pesi01".
    if (righe.prossima(r1) && riga_uguale(r1, TAG_INTERO) && righe.prossima(r2) &&
        riga_uguale(r2, INTESTAZIONE_INTERO))
        return leggi_intero(righe);
    return leggi_pesi01(byte);
}

} // namespace vexa
