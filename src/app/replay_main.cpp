// vexameter-replay: runs a capture of the board's records through the meter's
// decoding and analysis and prints one line per listed repetition. It can also
// write a synthesised capture, so the pipeline can be tried without a board.
#include "../analysis/formato.h"
#include "../analysis/riproduzione.h"
#include "../analysis/vista_memoria.h"
#include "../sim/sintetizzatore.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* USO =
    "uso: vexameter-replay --link serial|hid --board-type N --min-amplitude MM\n"
    "                      [--vel-max MMS --upper PCT --lower PCT] FILE\n"
    "     vexameter-replay --link serial|hid --board-type N --synthesise FILE [--set DESCR]\n"
    "\n"
    "FILE '-' legge lo standard input (o scrive lo standard output con --synthesise).\n"
    "Una cattura seriale e' il flusso di byte grezzo; una cattura HID e' una sequenza di\n"
    "report da 64 byte senza il byte di report ID.\n"
    "Predefiniti: --vel-max 1000 --upper 110 --lower 90.\n"
    "DESCR: ripetizioni=6,ampiezza=500,vconc=500,vecc=400,pausa_alto=0.5,pausa_basso=0.3,\n"
    "       perdita=0,rumore=0,seme=1,finale=40,inizio=600 (mm, mm/s, s, %)\n";

int errore(const std::string& testo) {
    std::fprintf(stderr, "vexameter-replay: %s\n", testo.c_str());
    return 2;
}

bool numero(const char* testo, double& out) {
    char* fine = nullptr;
    out = std::strtod(testo, &fine);
    return *testo && *fine == '\0' && std::isfinite(out);
}

bool leggi_tutto(const std::string& percorso, std::vector<uint8_t>& out) {
    FILE* f = percorso == "-" ? stdin : std::fopen(percorso.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    if (f != stdin) std::fclose(f);
    return ok;
}

bool scrivi_tutto(const std::string& percorso, const std::vector<uint8_t>& dati) {
    FILE* f = percorso == "-" ? stdout : std::fopen(percorso.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(dati.data(), 1, dati.size(), f) == dati.size();
    ok = (f == stdout ? std::fflush(f) : std::fclose(f)) == 0 && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    // Numbers follow the environment's locale, as the values list does on screen.
    std::setlocale(LC_ALL, "");
    const char separatore = *std::localeconv()->decimal_point;

    std::string link, file, sintesi, descrizione;
    double tipo = -1, ampiezza = NAN, vel_max = 1000, sup = 110, inf = 90;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto valore = [&](const char* nome) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)nome;
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(USO, stdout);
            return 0;
        } else if (a == "--link" || a == "--set" || a == "--synthesise") {
            const char* v = valore(a.c_str());
            if (!v) return errore("manca il valore di " + a + "\n" + USO);
            (a == "--link" ? link : a == "--set" ? descrizione : sintesi) = v;
        } else if (a == "--board-type" || a == "--min-amplitude" || a == "--vel-max" ||
                   a == "--upper" || a == "--lower") {
            const char* v = valore(a.c_str());
            double x;
            if (!v || !numero(v, x)) return errore("valore numerico non valido per " + a);
            (a == "--board-type"      ? tipo
             : a == "--min-amplitude" ? ampiezza
             : a == "--vel-max"       ? vel_max
             : a == "--upper"         ? sup
                                      : inf) = x;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return errore("opzione sconosciuta: " + a + "\n" + USO);
        } else if (file.empty()) {
            file = a;
        } else {
            return errore("un solo file alla volta: " + a);
        }
    }
    if (link != "serial" && link != "hid") return errore("--link vuole serial oppure hid\n" + std::string(USO));
    if (tipo < 0 || tipo > 255 || tipo != std::floor(tipo))
        return errore("--board-type vuole il tipo di scheda, un numero intero da 0 a 255");
    if (!vexa::scala_per_tipo(static_cast<int>(tipo)).riconosciuto)
        std::fprintf(stderr, "vexameter-replay: dispositivo non riconosciuto: DEFAULT TIPO 3!!\n");
    const auto collegamento = link == "serial" ? vexa::Collegamento::Seriale : vexa::Collegamento::Hid;

    if (!sintesi.empty()) {
        vexa::sim::DescrizioneSerie d;
        if (auto e = vexa::sim::leggi_descrizione(descrizione, d); !e.empty()) return errore(e);
        const auto serie = vexa::sim::sintetizza(d, static_cast<int>(tipo), collegamento);
        const auto dati = collegamento == vexa::Collegamento::Seriale ? vexa::sim::byte_seriali(serie.record)
                                                                      : vexa::sim::report_hid(serie.record);
        if (!scrivi_tutto(sintesi, dati)) return errore("impossibile scrivere " + sintesi);
        return 0;
    }

    if (std::isnan(ampiezza)) return errore("manca --min-amplitude\n" + std::string(USO));
    if (file.empty()) return errore("manca il file della cattura\n" + std::string(USO));
    std::vector<uint8_t> cattura;
    if (!leggi_tutto(file, cattura)) return errore("impossibile leggere " + file + ": " + std::strerror(errno));

    vexa::Stato stato;
    stato.ampiezza_min = static_cast<float>(ampiezza);
    stato.vel_max = static_cast<float>(vel_max);
    stato.limite_sup = static_cast<float>(sup);
    stato.limite_inf = static_cast<float>(inf);
    vexa::ProvaMemoria prova;
    prova.grafico0.conserva_punti = false;
    vexa::Analizzatore analisi(stato, prova.vista);
    analisi.separatore = separatore;
    const std::string esito =
        vexa::riproduci_cattura(cattura, collegamento, static_cast<int>(tipo), stato, prova.vista, analisi);
    for (int r = 0; r < prova.righe(); ++r)
        std::printf("%s;%s\n", prova.riga(r).c_str(),
                    vexa::nome_colore(prova.num_vel.storia_colori.at(static_cast<std::size_t>(r))));
    if (!esito.empty()) return errore(esito);
    return 0;
}
