#include "formato_impostazioni.h"

#include "testo_file.h"

#include <algorithm>
#include <cctype>

namespace vexa {

namespace {

constexpr const char* FINE_RIGA = "\r\n";
constexpr int MAX_LISTA = N_LISTE - 1;

// A text field as one line. The reader would split a comma or a line break
// and drop leading blanks, so such a text goes between double quotes, which
// the reader strips; one that holds a double quote itself cannot be quoted and
// is written as it is. Plain texts, all that the window lets in, are unchanged.
std::string campo(std::string_view t) {
    const bool da_proteggere = t.find_first_of(",\r\n") != std::string_view::npos ||
                               (!t.empty() && (t.front() == ' ' || t.front() == '\t'));
    if (da_proteggere && t.find('"') == std::string_view::npos) return "\"" + std::string(t) + "\"";
    return std::string(t);
}

// The file's bytes from its UTF-8 text: Windows-1252, as the files have always
// been. A text the code page cannot hold (an entry read from a UTF-8 file, a
// data folder under a name in another script) would come back as '?', so such
// a file is written in UTF-8 with a byte order mark, which the reader knows.
std::string codifica(const std::string& utf8) {
    if (rappresentabile_cp1252(utf8)) return utf8_a_cp1252(utf8);
    return "\xEF\xBB\xBF" + utf8;
}

std::string prefisso_riga(int riga) { return "Riga " + std::to_string(riga) + ": "; }

// A found item as the messages quote it: long items are cut.
std::string citazione(const std::string& t) {
    constexpr std::size_t MAX = 40;
    if (t.size() <= MAX) return "«" + t + "»";
    std::size_t n = MAX;
    while (n > 0 && (static_cast<unsigned char>(t[n]) & 0xC0) == 0x80) --n; // not inside a character
    return "«" + t.substr(0, n) + "...»";
}

// One integer item; on failure `errore` says which line and what was expected.
std::optional<int32_t> leggi_intero(LettoreCampi& r, const std::string& cosa, std::string& errore) {
    const int riga = r.riga();
    const std::optional<std::string> t = r.testo_o_vuoto();
    if (!t) {
        errore = prefisso_riga(riga) + "il file finisce prima del previsto: manca " + cosa + ".";
        return std::nullopt;
    }
    const std::optional<int32_t> v = intero_da_testo(*t);
    if (!v) errore = prefisso_riga(riga) + "atteso " + cosa + ", trovato " + citazione(*t) + ".";
    return v;
}

bool carattere_di_controllo(std::string_view t) {
    for (std::size_t k = 0; k < t.size(); ++k) {
        const auto c = static_cast<unsigned char>(t[k]);
        if (c < 0x20 || c == 0x7F) return true;
        // U+0080..U+009F, the C1 controls, in UTF-8.
        if (c == 0xC2 && k + 1 < t.size()) {
            const auto d = static_cast<unsigned char>(t[k + 1]);
            if (d >= 0x80 && d <= 0x9F) return true;
        }
    }
    return false;
}

constexpr const char* MSG_SEPARATORI =
    "Il valore non può contenere virgole, virgolette o ritorni a capo: il file delle impostazioni lo "
    "rileggerebbe spezzato.";
constexpr const char* MSG_CONTROLLO = "Il valore contiene caratteri di controllo, che non possono essere registrati.";
constexpr const char* MSG_CODIFICA =
    "Il valore contiene caratteri che i file delle impostazioni non possono registrare (sono ammessi solo "
    "quelli dell'alfabeto latino dell'Europa occidentale).";

} // namespace

std::string scrivi_pesi(const ListeValori& liste) {
    std::string t = intero_stampa(MAX_LISTA) + FINE_RIGA;
    for (int lista = 0; lista <= MAX_LISTA; ++lista) {
        if (lista == 1) continue; // the athletes are the squad's folders
        const auto& voci = liste[static_cast<std::size_t>(lista)];
        t += intero_stampa(static_cast<int64_t>(voci.size()) - 1) + FINE_RIGA;
        for (const std::string& v : voci) t += campo(v) + FINE_RIGA;
    }
    return codifica(t);
}

Lettura<ListeValori> leggi_pesi(std::string_view byte) {
    LettoreCampi r(byte);
    Lettura<ListeValori> esito;
    ListeValori liste;
    const int riga_n = r.riga();
    const std::optional<int32_t> n = leggi_intero(r, "il numero delle liste", esito.errore);
    if (!n) return esito;
    if (*n > MAX_LISTA) {
        esito.errore = prefisso_riga(riga_n) + "il file dichiara le liste fino alla " + std::to_string(*n) +
                       ", ma l'ultima è la " + std::to_string(MAX_LISTA) + ".";
        return esito;
    }
    // Lists 0, 2, 3, ... n: the athlete list is never in the file, and a file
    // that says 1 still holds list 2 (older versions read it so).
    for (int32_t lista = 0; lista <= *n; ++lista) {
        if (lista == 1) lista = 2;
        auto& voci = liste[static_cast<std::size_t>(lista)];
        const std::string nome_lista = "della lista " + std::to_string(lista);
        const std::optional<int32_t> ultimo = leggi_intero(r, "il numero di voci " + nome_lista, esito.errore);
        if (!ultimo) return esito;
        // No room is reserved from the count: a file claiming two billion
        // entries runs out of lines long before, and that ends the loop.
        for (int64_t k = 0; k <= static_cast<int64_t>(*ultimo); ++k) {
            const int riga = r.riga();
            std::optional<std::string> v = r.testo_o_vuoto();
            if (!v) {
                esito.errore = prefisso_riga(riga) + "il file finisce prima del previsto: mancano voci " + nome_lista +
                               " (attese " + std::to_string(static_cast<int64_t>(*ultimo) + 1) + ", trovate " +
                               std::to_string(k) + ").";
                return esito;
            }
            if (std::optional<std::string> numero = testo_numerico_normale(*v)) v = std::move(numero);
            voci.push_back(std::move(*v));
        }
    }
    esito.valore = std::move(liste);
    return esito;
}

std::string scrivi_cfg(const ConfigAtleta& cfg) {
    std::string t = std::string(MARCA_CFG) + FINE_RIGA;
    for (int32_t p : cfg.posizioni) t += intero_stampa(p) + FINE_RIGA;
    t += campo(cfg.cartella_atleta) + FINE_RIGA;
    return codifica(t);
}

Lettura<ConfigAtleta> leggi_cfg(std::string_view byte) {
    LettoreCampi r(byte);
    Lettura<ConfigAtleta> esito;
    ConfigAtleta cfg;
    const std::optional<std::string> marca = r.testo_o_vuoto();
    if (!marca || *marca != MARCA_CFG) {
        esito.errore = MSG_FILE_NON_COMPATIBILE;
        return esito;
    }
    for (std::size_t k = 0; k < cfg.posizioni.size(); ++k) {
        const std::optional<int32_t> p = leggi_intero(r, "la posizione " + std::to_string(k), esito.errore);
        if (!p) return esito;
        cfg.posizioni[k] = *p;
    }
    const int riga = r.riga();
    std::optional<std::string> cartella = r.testo_o_vuoto();
    if (!cartella) {
        esito.errore = prefisso_riga(riga) + "il file finisce prima del previsto: manca la cartella dell'atleta.";
        return esito;
    }
    cfg.cartella_atleta = std::move(*cartella);
    esito.valore = std::move(cfg);
    return esito;
}

std::string errore_voce(std::string_view voce) {
    if (voce.find_first_of(",\"\r\n") != std::string_view::npos) return MSG_SEPARATORI;
    if (carattere_di_controllo(voce)) return MSG_CONTROLLO;
    if (!rappresentabile_cp1252(voce)) return MSG_CODIFICA;
    if (!voce.empty() && voce.front() == ' ')
        return "Il valore non può iniziare con uno spazio: il file delle impostazioni non lo conserverebbe.";
    // Entries that look like numbers come back from the file in plain form.
    if (const std::optional<std::string> n = testo_numerico_normale(voce); n && *n != voce)
        return "Il valore " + citazione(std::string(voce)) + " verrebbe riletto come " + citazione(*n) +
               ": inserirlo in questa forma.";
    return {};
}

std::string errore_nome_cartella(std::string_view nome) {
    if (nome.empty()) return "Il nome non può essere vuoto.";
    const std::string citato = citazione(std::string(nome));
    if (nome == "." || nome == "..") return citato + " non può essere il nome di una cartella.";
    if (nome.find_first_of("/\\") != std::string_view::npos)
        return "Il nome non può contenere / o \\: deve essere il nome di una sola cartella.";
    if (nome.find_first_of(",\"\r\n") != std::string_view::npos) return MSG_SEPARATORI;
    if (carattere_di_controllo(nome)) return MSG_CONTROLLO;
    if (nome.find_first_of("<>:|?*") != std::string_view::npos)
        return "Il nome non può contenere i caratteri < > : | ? * (non ammessi nei nomi di cartella).";
    if (nome.front() == ' ') return "Il nome non può iniziare con uno spazio.";
    if (nome.back() == ' ' || nome.back() == '.') return "Il nome non può finire con un punto o uno spazio.";
    // Device names stay devices on Windows whatever extension follows them.
    std::string base(nome.substr(0, nome.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const bool numerato = base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
                          base[3] >= '1' && base[3] <= '9';
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || numerato)
        return citato + " è un nome riservato dal sistema: sceglierne un altro.";
    if (!rappresentabile_cp1252(nome)) return MSG_CODIFICA;
    // The athlete's file is the name followed by ".cfg", in a folder of the name.
    if (nome.size() + 4 > 255) return "Il nome è troppo lungo per una cartella.";
    return {};
}

} // namespace vexa
