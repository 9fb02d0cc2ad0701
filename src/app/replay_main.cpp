// vexameter-replay: runs a capture of the board's records through the meter's
// decoding and analysis and prints one line per listed repetition; it can write
// the trial's two files as the program would have saved them. It can also write
// a synthesised capture, so the pipeline can be tried without a board.
//
// The capture is read as a stream: only one unfinished block, the samples not
// yet written out and the listed repetitions are held, so a capture of any size
// (or a board piped in live) runs in the same memory.
#include "analysis/formato.h"
#include "trials/riproduzione.h"
#include "analysis/vista_memoria.h"
#include "settings/testo_file.h"
#include "sim/sintetizzatore.h"
#include "trials/file_prova.h"
#include "trials/file_vbt.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum Esito { ESITO_OK = 0, ESITO_CATTURA = 1, ESITO_USO = 2, ESITO_IO = 3 };

const char* const USO_TESTA =
    "uso: vexameter-replay --link serial|hid --board-type N --min-amplitude MM\n"
    "                      [--vel-max MMS --upper PCT --lower PCT]\n"
    "                      [--trial-file PERCORSO]\n"
    "                      [--results-file PERCORSO --athlete NOME --exercise NOME --load KG]\n"
    "                      [--vbt-file PERCORSO --load KG] [--vbt]\n"
    "                      CATTURA\n"
    "     vexameter-replay --link serial|hid --board-type N --synthesise PERCORSO [--set DESCR]\n"
    "\n"
    "Legge la cattura fino alla fine dei dati ('-' = standard input) a pezzi, in memoria\n"
    "limitata, e stampa una riga per ripetizione elencata: i 15 testi della lista valori\n"
    "separati da ';' e il colore (giallo, verde, rosso). Una cattura seriale e' il flusso\n"
    "di byte grezzo (record da 6 byte), letto come lo legge il collegamento dal vivo: i\n"
    "byte fuori passo sono scartati e la lettura riprende al record successivo. Una cattura\n"
    "HID e' una sequenza di report da 64 byte senza il byte di report ID. Una sorgente\n"
    "senza fine (una scheda in diretta, un dispositivo) si legge finche' non si chiude.\n"
    "\n"
    "  --board-type N      tipo di scheda, intero da 0 a 255 (1, 2, 3 conosciuti)\n"
    "  --min-amplitude MM  ampiezza minima di una ripetizione, da 0 a 10000 mm\n"
    "  --vel-max MMS       velocita' massima dell'atleta, da 1 a 5000 mm/s (predefinita 1000)\n"
    "  --upper PCT         limite superiore, da 0 a 500 % di --vel-max (predefinito 110)\n"
    "  --lower PCT         limite inferiore, da 0 a 500 %, non sopra --upper (predefinito 90)\n"
    "  --trial-file P      scrive il file della prova intera (\"Vexa01;\"), come se la\n"
    "                      registrazione fosse stata attiva dall'inizio dell'acquisizione\n"
    "  --results-file P    scrive il file dei dati delle ripetizioni elencate; vuole\n"
    "                      --athlete, --exercise e --load (da 0 a 1000 kg)\n"
    "  --vbt-file P        scrive il file degli indici VBT delle ripetizioni elencate\n"
    "                      (VMP, potenze, perdita di velocita'); vuole --load\n"
    "  --vbt               aggiunge a ogni riga stampata VMP, potenza media, potenza\n"
    "                      di picco e perdita di velocita' (potenze 0 senza --load)\n"
    "\n"
    "I file usano il separatore decimale della localizzazione e la codifica Windows-1252;\n"
    "sono scritti in un file temporaneo accanto e rinominati solo a scrittura riuscita.\n"
    "'-' come percorso e' lo standard output (le righe allora non si stampano).\n"
    "\n"
    "DESCR (--set): chiave=valore separati da virgole, per esempio\n"
    "  ripetizioni=6,ampiezza=500,vconc=500,vecc=400,pausa_alto=0.5,pausa_basso=0.3,\n"
    "  perdita=0,rumore=0,seme=1,finale=40,inizio=600\n"
    "con questi intervalli (ogni passo deve stare anche nel campo dei tick a 32 bit):\n";

const char* const USO_CODA =
    "\n"
    "Codici di uscita: 0 riuscito; 1 cattura malformata (stampate le righe fino al guasto,\n"
    "file scritti con cio' che precede); 2 errore d'uso o di parametro; 3 errore di\n"
    "ingresso/uscita (o memoria esaurita).\n";

std::string uso() { return USO_TESTA + vexa::sim::ranghi_descrizione() + USO_CODA; }

int errore(int esito, const std::string& testo) {
    std::fprintf(stderr, "vexameter-replay: %s\n", testo.c_str());
    return esito;
}

std::string descrizione_errno(int e) { return std::strerror(e); }

// ---------------------------------------------------------------- temporary files
// A signal (Ctrl+C, a timeout, a closed pipe) must not leave a half-written
// temporary file behind: the handler removes the ones still open.
constexpr int MAX_TEMPORANEI = 4;
char temporanei[MAX_TEMPORANEI][PATH_MAX + 32];
volatile std::sig_atomic_t temporaneo_attivo[MAX_TEMPORANEI];

extern "C" void al_segnale(int n) {
    for (int i = 0; i < MAX_TEMPORANEI; ++i)
        if (temporaneo_attivo[i]) ::unlink(temporanei[i]);
    std::signal(n, SIG_DFL);
    std::raise(n);
}

void prepara_processo() {
    // With a standard stream closed the next file opened would take its number
    // and rows meant for standard output would land in it. A read-only stand-in
    // on 1 and 2 (write-only on 0) makes every use of the closed stream fail.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int nuovo = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (nuovo >= 0 && nuovo != fd) {
                ::dup2(nuovo, fd);
                ::close(nuovo);
            }
        }
    struct sigaction sa {};
    sa.sa_handler = al_segnale;
    sigemptyset(&sa.sa_mask);
    for (int n : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::sigaction(n, &sa, nullptr);
    // A file-size limit then fails the write (and is reported) instead of killing.
    std::signal(SIGXFSZ, SIG_IGN);
}

// One output file. A regular file (or a new one) is written to PATH.tmp-XXXXXX in
// the same folder and renamed over PATH only once it is complete and on disk,
// so a failed write leaves the old file, or none, never a truncated one.
// Standard output and devices (/dev/full, a FIFO) are written directly.
class Uscita {
public:
    Uscita() = default;
    Uscita(const Uscita&) = delete;
    Uscita& operator=(const Uscita&) = delete;
    ~Uscita() { abbandona(); }

    // `riavvolgibile`: ricomincia() must work, so a direct destination gets its
    // text through an anonymous temporary file, copied at the end.
    bool apri(const std::string& percorso, bool riavvolgibile) {
        percorso_ = percorso;
        if (percorso == "-") {
            destinazione_ = stdout;
        } else {
            struct stat st {};
            if (::stat(percorso.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
                destinazione_ = std::fopen(percorso.c_str(), "wb");
                if (!destinazione_) return guasto(errno);
                propria_ = true;
            }
        }
        if (destinazione_) {
            if (!riavvolgibile) {
                f_ = destinazione_;
                return true;
            }
            f_ = std::tmpfile();
            return f_ ? true : guasto(errno);
        }
        // A link is followed, so the file it points to is replaced, not the link.
        finale_ = percorso;
        if (char* vero = ::realpath(percorso.c_str(), nullptr)) {
            finale_ = vero;
            std::free(vero);
        }
        std::string modello = finale_ + ".tmp-XXXXXX";
        if (modello.size() >= sizeof temporanei[0]) return guasto(ENAMETOOLONG);
        slot_ = libero();
        if (slot_ < 0) return guasto(EMFILE);
        std::memcpy(temporanei[slot_], modello.c_str(), modello.size() + 1);
        const int fd = ::mkstemp(temporanei[slot_]);
        if (fd < 0) {
            const int e = errno;
            slot_ = -1;
            return guasto(e);
        }
        temporaneo_attivo[slot_] = 1;
        temporaneo_ = temporanei[slot_];
        // mkstemp makes it private; a saved trial is as readable as any new file.
        const mode_t maschera = ::umask(0);
        ::umask(maschera);
        ::fchmod(fd, 0666 & ~maschera);
        f_ = ::fdopen(fd, "wb");
        if (!f_) {
            const int e = errno;
            ::close(fd);
            return guasto(e);
        }
        return true;
    }

    void scrivi(std::string_view testo) {
        if (errno_ || !f_ || testo.empty()) return;
        if (std::fwrite(testo.data(), 1, testo.size(), f_) != testo.size()) guasto(errno ? errno : EIO);
    }

    void ricomincia() {
        if (errno_ || !f_) return;
        if (std::fflush(f_) != 0 || ::ftruncate(::fileno(f_), 0) != 0) {
            guasto(errno);
            return;
        }
        std::rewind(f_);
    }

    // Finishes the file: copied to its direct destination, or synced and renamed.
    bool chiudi() {
        if (errno_ || !f_) return false;
        if (destinazione_ && f_ != destinazione_) {
            if (std::fflush(f_) != 0) return guasto(errno);
            std::rewind(f_);
            char buf[65536];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f_)) > 0)
                if (std::fwrite(buf, 1, n, destinazione_) != n) return guasto(errno ? errno : EIO);
            if (std::ferror(f_)) return guasto(errno ? errno : EIO);
            std::fclose(f_);
            f_ = destinazione_;
        }
        if (f_ == destinazione_) {
            const bool ok = (propria_ ? std::fclose(f_) : std::fflush(f_)) == 0 && !(!propria_ && std::ferror(f_));
            const int e = errno;
            f_ = nullptr;
            destinazione_ = nullptr;
            return ok ? true : guasto(e ? e : EIO);
        }
        // EINVAL: a file system that cannot sync; the rename is still the commit.
        if (std::fflush(f_) != 0 || (::fsync(::fileno(f_)) != 0 && errno != EINVAL)) return guasto(errno);
        FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) return guasto(errno);
        if (std::rename(temporaneo_.c_str(), finale_.c_str()) != 0) return guasto(errno);
        temporaneo_attivo[slot_] = 0;
        temporaneo_.clear();
        return true;
    }

    // Drops the unfinished file; the old file at the path, if any, stays as it was.
    void abbandona() {
        if (f_ && f_ != stdout) std::fclose(f_);
        if (destinazione_ && destinazione_ != stdout && destinazione_ != f_) std::fclose(destinazione_);
        f_ = nullptr;
        destinazione_ = nullptr;
        if (!temporaneo_.empty()) {
            temporaneo_attivo[slot_] = 0;
            ::unlink(temporaneo_.c_str());
            temporaneo_.clear();
        }
    }

    bool guasta() const { return errno_ != 0; }
    std::string messaggio() const {
        return "impossibile scrivere " + (percorso_ == "-" ? std::string("lo standard output") : percorso_) + ": " +
               descrizione_errno(errno_);
    }

private:
    std::string percorso_, finale_, temporaneo_;
    FILE* f_ = nullptr;
    FILE* destinazione_ = nullptr; // stdout or a device, written directly
    bool propria_ = false;        // destinazione_ was opened here
    int slot_ = -1;
    int errno_ = 0;

    bool guasto(int e) {
        if (!errno_) errno_ = e ? e : EIO;
        return false;
    }
    static int libero() {
        for (int i = 0; i < MAX_TEMPORANEI; ++i)
            if (!temporaneo_attivo[i]) return i;
        return -1;
    }
};

// ---------------------------------------------------------------- locale
// Text of the locale's character set as UTF-8; as it was when it cannot be
// converted (the files then take its bytes as Windows-1252).
std::string in_utf8(const char* testo) {
    std::string s = testo ? testo : "";
    const std::string codifica = nl_langinfo(CODESET);
    bool ascii = true;
    for (unsigned char c : s) ascii = ascii && c < 0x80;
    if (ascii || codifica == "UTF-8" || codifica == "ANSI_X3.4-1968") return s;
    iconv_t cd = ::iconv_open("UTF-8", codifica.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return s;
    std::string out(s.size() * 4, '\0');
    char* in = s.data();
    std::size_t n_in = s.size();
    char* o = out.data();
    std::size_t n_out = out.size();
    const bool ok = ::iconv(cd, &in, &n_in, &o, &n_out) != static_cast<std::size_t>(-1);
    ::iconv_close(cd);
    if (!ok) return s;
    out.resize(out.size() - n_out);
    return out;
}

vexa::FormatoLocale formato_locale() {
    vexa::FormatoLocale f;
    const char* punto = std::localeconv()->decimal_point;
    f.separatore = punto && std::strlen(punto) == 1 ? *punto : '.';
    f.separatore_ora = ":";
    for (int i = 0; i < 12; ++i) f.mesi_brevi[static_cast<std::size_t>(i)] = in_utf8(nl_langinfo(ABMON_1 + i));
    return f;
}

vexa::DataOra adesso() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// ---------------------------------------------------------------- options
struct Opzioni {
    std::string link, cattura, sintesi, descrizione, file_prova, file_dati, file_vbt;
    std::optional<std::string> atleta, esercizio;
    double tipo = -1, ampiezza = NAN, vel_max = 1000, sup = 110, inf = 90, carico = NAN;
    bool aiuto = false, stampa_vbt = false;
};

struct Numerica {
    const char* opzione;
    double Opzioni::*campo;
    double minimo, massimo;
    const char* unita;
    const char* negativo; // what a negative value would mean, when it gets its own message
};

const Numerica NUMERICHE[] = {
    {"--board-type", &Opzioni::tipo, 0, 255, "", nullptr},
    {"--min-amplitude", &Opzioni::ampiezza, 0, 10000, "mm", "l'ampiezza minima e' un'escursione"},
    {"--vel-max", &Opzioni::vel_max, 1, 5000, "mm/s", "la velocita' massima e' senza segno"},
    {"--upper", &Opzioni::sup, 0, 500, "%", nullptr},
    {"--lower", &Opzioni::inf, 0, 500, "%", nullptr},
    {"--load", &Opzioni::carico, 0, 1000, "kg", "il carico"},
};

std::string intervallo(const Numerica& n) {
    std::string t = "da " + vexa::formatta(n.minimo, 0) + " a " + vexa::formatta(n.massimo, 0);
    if (*n.unita) t += std::string(" ") + n.unita;
    return t;
}

// A number on the command line: "82.5" under any locale, and the locale's own
// "82,5" too, since that is how its users write it.
std::optional<double> numero(std::string testo) {
    for (int prova = 0; prova < 2; ++prova) {
        double x = 0;
        const char* fine = testo.data() + testo.size();
        const auto [p, e] = std::from_chars(testo.data(), fine, x);
        if (!testo.empty() && e == std::errc() && p == fine) return x;
        const auto virgola = testo.find(',');
        if (virgola == std::string::npos) break;
        testo[virgola] = '.';
    }
    return std::nullopt;
}

// Reads the command line; an error text (exit 2) when it is not usable.
std::string leggi_opzioni(int argc, char** argv, Opzioni& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        // A following option is no value: "--link --board-type 1" lacks the link.
        auto valore = [&]() -> const char* {
            if (i + 1 >= argc || (std::strncmp(argv[i + 1], "--", 2) == 0 && argv[i + 1][2])) return nullptr;
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            o.aiuto = true;
            return {};
        }
        if (a == "--vbt") {
            o.stampa_vbt = true;
            continue;
        }
        std::string* testo = a == "--link"           ? &o.link
                             : a == "--set"          ? &o.descrizione
                             : a == "--synthesise"   ? &o.sintesi
                             : a == "--trial-file"   ? &o.file_prova
                             : a == "--results-file" ? &o.file_dati
                             : a == "--vbt-file"     ? &o.file_vbt
                                                     : nullptr;
        if (a == "--athlete") testo = &o.atleta.emplace();
        if (a == "--exercise") testo = &o.esercizio.emplace();
        if (testo) {
            const char* v = valore();
            if (!v) return "manca il valore di " + a;
            if (a != "--athlete" && a != "--exercise" && a != "--set" && !*v) return "valore vuoto per " + a;
            *testo = v;
            continue;
        }
        const Numerica* n = nullptr;
        for (const Numerica& x : NUMERICHE)
            if (a == x.opzione) n = &x;
        if (n) {
            const char* v = valore();
            if (!v) return "manca il valore di " + a + " (" + intervallo(*n) + ")";
            const std::optional<double> letto = numero(v);
            const double x = letto.value_or(NAN);
            if (!letto || !std::isfinite(x))
                return "valore numerico non valido per " + a + ": " + v + " (" + intervallo(*n) + ")";
            if (x < 0 && n->negativo)
                return a + " " + v + ": " + n->negativo + ", non puo' essere negativo (" + intervallo(*n) + ")";
            if (x < n->minimo || x > n->massimo) return a + " " + v + " fuori intervallo: " + intervallo(*n);
            if (a == "--board-type" && x != std::floor(x))
                return "--board-type vuole il tipo di scheda, un numero intero " + intervallo(*n);
            o.*(n->campo) = x;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return "opzione sconosciuta: " + a;
        if (!o.cattura.empty()) return "un solo file alla volta: " + a;
        o.cattura = a;
    }

    if (o.link.empty()) return "manca --link (serial oppure hid)";
    if (o.link != "serial" && o.link != "hid") return "--link vuole serial oppure hid, non " + o.link;
    if (o.tipo < 0) return "manca --board-type (il tipo di scheda, da 0 a 255)";

    if (!o.sintesi.empty()) {
        if (!o.cattura.empty()) return "con --synthesise il file da scrivere e' quello dell'opzione, non " + o.cattura;
        if (!o.file_prova.empty() || !o.file_dati.empty() || !o.file_vbt.empty() || o.stampa_vbt)
            return "--trial-file, --results-file, --vbt-file e --vbt valgono per la riproduzione, non con "
                   "--synthesise";
        return {};
    }
    if (!o.descrizione.empty()) return "--set descrive la serie di --synthesise";
    if (std::isnan(o.ampiezza)) return "manca --min-amplitude (da 0 a 10000 mm)";
    if (o.sup < o.inf)
        return "il limite superiore (--upper " + vexa::formatta(o.sup, 0) + ") e' sotto quello inferiore (--lower " +
               vexa::formatta(o.inf, 0) + ")";
    if (o.cattura.empty()) return "manca il file della cattura ('-' per lo standard input)";
    if (!o.file_dati.empty()) {
        if (!o.atleta) return "--results-file vuole --athlete";
        if (!o.esercizio) return "--results-file vuole --exercise";
        if (std::isnan(o.carico)) return "--results-file vuole --load (da 0 a 1000 kg)";
    } else if (o.atleta || o.esercizio) {
        return "--athlete e --exercise servono solo con --results-file";
    }
    if (!o.file_vbt.empty() && std::isnan(o.carico)) return "--vbt-file vuole --load (da 0 a 1000 kg)";
    if (!std::isnan(o.carico) && o.file_dati.empty() && o.file_vbt.empty() && !o.stampa_vbt)
        return "--load serve solo con --results-file, --vbt-file o --vbt";
    const std::pair<const char*, const std::string*> uscite[] = {
        {"--trial-file", &o.file_prova}, {"--results-file", &o.file_dati}, {"--vbt-file", &o.file_vbt}};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = i + 1; j < 3; ++j) {
            const std::string &x = *uscite[i].second, &y = *uscite[j].second;
            if (x == "-" && y == "-") return "solo uno dei file puo' andare sullo standard output";
            if (!x.empty() && x == y) return std::string(uscite[i].first) + " e " + uscite[j].first + " sono lo stesso file";
        }
    // Writing over the capture being read would lose it once the file is renamed.
    struct stat c {};
    if (o.cattura != "-" && ::stat(o.cattura.c_str(), &c) == 0 && S_ISREG(c.st_mode))
        for (const std::string* p : {&o.file_prova, &o.file_dati, &o.file_vbt}) {
            struct stat u {};
            if (!p->empty() && *p != "-" && ::stat(p->c_str(), &u) == 0 && u.st_dev == c.st_dev && u.st_ino == c.st_ino)
                return *p + " e' la cattura stessa: la sovrascriverebbe";
        }
    for (auto [nome, valore] : {std::pair{"--athlete", &o.atleta}, std::pair{"--exercise", &o.esercizio}}) {
        if (!*valore) continue;
        for (unsigned char ch : **valore)
            if (ch == ';' || ch < 0x20 || ch == 0x7f)
                return std::string(nome) + " non puo' contenere ';' ne' caratteri di controllo: sono i separatori del file";
        **valore = in_utf8((*valore)->c_str());
        if (!vexa::rappresentabile_cp1252(**valore))
            std::fprintf(stderr,
                         "vexameter-replay: %s: alcuni caratteri non esistono nella codifica del file e "
                         "diventano '?'\n",
                         nome);
    }
    return {};
}

// ---------------------------------------------------------------- the two modes
int sintetizza(const Opzioni& o, vexa::Collegamento collegamento) {
    vexa::sim::DescrizioneSerie d;
    if (auto e = vexa::sim::leggi_descrizione(o.descrizione, d); !e.empty()) return errore(ESITO_USO, e);
    const int tipo = static_cast<int>(o.tipo);
    if (auto e = vexa::sim::verifica_serie(d, tipo, collegamento); !e.empty()) return errore(ESITO_USO, e);
    const auto serie = vexa::sim::sintetizza(d, tipo, collegamento);
    const auto dati = collegamento == vexa::Collegamento::Seriale ? vexa::sim::byte_seriali(serie.record)
                                                                  : vexa::sim::report_hid(serie.record);
    Uscita u;
    if (u.apri(o.sintesi, false)) u.scrivi({reinterpret_cast<const char*>(dati.data()), dati.size()});
    if (!u.chiudi()) return errore(ESITO_IO, u.messaggio());
    return ESITO_OK;
}

int riproduci(const Opzioni& o, vexa::Collegamento collegamento) {
    const vexa::FormatoLocale formato = formato_locale();
    const bool stampa_righe = o.file_prova != "-" && o.file_dati != "-" && o.file_vbt != "-";

    FILE* in = o.cattura == "-" ? stdin : std::fopen(o.cattura.c_str(), "rb");
    if (!in) return errore(ESITO_IO, "impossibile leggere " + o.cattura + ": " + descrizione_errno(errno));
    struct Chiudi {
        FILE* f;
        ~Chiudi() {
            if (f != stdin) std::fclose(f);
        }
    } chiudi_in{in};

    // Outputs are opened before the capture is read: a folder that cannot take
    // them is said at once, not after a long capture.
    Uscita u_prova, u_dati, u_vbt;
    if (!o.file_prova.empty() && !u_prova.apri(o.file_prova, true)) return errore(ESITO_IO, u_prova.messaggio());
    if (!o.file_dati.empty() && !u_dati.apri(o.file_dati, false)) return errore(ESITO_IO, u_dati.messaggio());
    if (!o.file_vbt.empty() && !u_vbt.apri(o.file_vbt, false)) return errore(ESITO_IO, u_vbt.messaggio());

    vexa::Stato stato;
    stato.ampiezza_min = static_cast<float>(o.ampiezza);
    stato.vel_max = static_cast<float>(o.vel_max);
    stato.limite_sup = static_cast<float>(o.sup);
    stato.limite_inf = static_cast<float>(o.inf);
    if (!std::isnan(o.carico)) stato.carico_kg = static_cast<float>(o.carico);
    vexa::ProvaMemoria prova;
    prova.grafico0.conserva_punti = false;
    prova.grafico1.conserva_punti = false;
    vexa::Analizzatore analisi(stato, prova.vista);
    analisi.separatore = formato.separatore;

    std::optional<vexa::ProvaInteraInCorso> prova_intera;
    if (!o.file_prova.empty()) {
        // As if recording had been on since the acquisition started.
        stato.registrazione_attiva = true;
        prova_intera.emplace(
            formato, [&](std::string_view t) { u_prova.scrivi(t); }, [&] { u_prova.ricomincia(); });
    }
    vexa::RiproduzioneCattura riproduzione(collegamento, static_cast<int>(o.tipo), stato, prova.vista, analisi);

    // Rows are printed (and kept for the results file) as they are listed, then
    // dropped from the in-memory list.
    std::vector<vexa::RigaRisultati> risultati;
    std::vector<vexa::IndiciVbt> indici;
    int64_t elencate = 0;
    auto raccogli_righe = [&] {
        for (int r = 0; r < prova.righe(); ++r) {
            ++elencate;
            const vexa::IndiciVbt& f = stato.indici_vbt.at(static_cast<std::size_t>(r));
            if (stampa_righe) {
                std::string vbt;
                if (o.stampa_vbt) {
                    const char sep = formato.separatore;
                    vbt = ";" + vexa::formatta(f.vmp, 0, sep) + ";" + vexa::formatta(f.potenza_media, 0, sep) + ";" +
                          vexa::formatta(f.potenza_picco, 0, sep) + ";" + vexa::formatta(f.perdita, 1, sep);
                }
                std::printf("%s;%s%s\n", prova.riga(r).c_str(),
                            vexa::nome_colore(prova.num_vel.storia_colori.at(static_cast<std::size_t>(r))),
                            vbt.c_str());
            }
            if (!o.file_vbt.empty()) indici.push_back(f);
            if (!o.file_dati.empty()) {
                vexa::RigaRisultati riga;
                for (std::size_t c = 0; c < riga.colonne.size(); ++c)
                    riga.colonne[c] = prova.colonne[c].testo(r);
                const auto numero = static_cast<std::size_t>(elencate);
                if (numero < stato.ripetizioni.size()) riga.nota = stato.ripetizioni[numero].nota;
                risultati.push_back(std::move(riga));
            }
        }
        if (prova.righe() > 0) {
            for (auto& c : prova.colonne) c.righe.clear();
            prova.num_vel.storia_colori.clear();
            // The loss needs only the best so far, which the state keeps apart.
            stato.indici_vbt.clear();
            prova.vbt.aggiunti.clear();
            std::fflush(stdout);
        }
    };

    std::vector<uint8_t> buffer(65536);
    const int fd = ::fileno(in);
    for (;;) {
        // read, not fread: a live source gives its rows as its bytes come.
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errore(ESITO_IO, "errore di lettura di " + o.cattura + ": " + descrizione_errno(errno));
        if (n == 0) break;
        riproduzione.aggiungi(buffer.data(), static_cast<std::size_t>(n));
        raccogli_righe();
        if (prova_intera) prova_intera->scarica(stato);
        if (u_prova.guasta()) return errore(ESITO_IO, u_prova.messaggio());
        if (stampa_righe && std::ferror(stdout))
            return errore(ESITO_IO, "impossibile scrivere lo standard output: " + descrizione_errno(errno));
    }
    const std::string malformata = riproduzione.fine();
    raccogli_righe();
    if (riproduzione.byte_scartati() > 0)
        std::fprintf(stderr,
                     "vexameter-replay: %lld byte fuori passo scartati (in %lld punti), come li scarta il "
                     "collegamento dal vivo: le ripetizioni in cui cadono possono risultare alterate\n",
                     static_cast<long long>(riproduzione.byte_scartati()),
                     static_cast<long long>(riproduzione.riallineamenti()));
    if (!malformata.empty()) errore(ESITO_CATTURA, malformata);

    if (prova_intera) {
        prova_intera->chiudi(stato);
        if (!u_prova.chiudi()) return errore(ESITO_IO, u_prova.messaggio());
    }
    if (!o.file_dati.empty()) {
        u_dati.scrivi(vexa::testo_file_dati(*o.atleta, *o.esercizio, static_cast<float>(o.carico), risultati,
                                            adesso(), formato));
        if (!u_dati.chiudi()) return errore(ESITO_IO, u_dati.messaggio());
    }
    if (!o.file_vbt.empty()) {
        u_vbt.scrivi(vexa::testo_file_vbt(indici, formato));
        if (!u_vbt.chiudi()) return errore(ESITO_IO, u_vbt.messaggio());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return errore(ESITO_IO, "impossibile scrivere lo standard output: " + descrizione_errno(errno));
    return malformata.empty() ? ESITO_OK : ESITO_CATTURA;
}

int esegui(int argc, char** argv) {
    Opzioni o;
    if (auto e = leggi_opzioni(argc, argv, o); !e.empty())
        return errore(ESITO_USO, e + "\n(vexameter-replay --help per l'uso)");
    if (o.aiuto) {
        std::fputs(uso().c_str(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            return errore(ESITO_IO, "impossibile scrivere lo standard output: " + descrizione_errno(errno));
        return ESITO_OK;
    }
    if (!vexa::scala_per_tipo(static_cast<int>(o.tipo)).riconosciuto)
        std::fprintf(stderr, "vexameter-replay: dispositivo non riconosciuto: DEFAULT TIPO 3!!\n");
    const auto collegamento = o.link == "serial" ? vexa::Collegamento::Seriale : vexa::Collegamento::Hid;
    return o.sintesi.empty() ? riproduci(o, collegamento) : sintetizza(o, collegamento);
}

} // namespace

int main(int argc, char** argv) {
    // Numbers follow the environment's locale, as the values list does on screen.
    std::setlocale(LC_ALL, "");
    prepara_processo();
    try {
        return esegui(argc, argv);
    } catch (const std::bad_alloc&) {
        // Unwinding has already removed any unfinished output file.
        std::fputs("vexameter-replay: memoria esaurita: la cattura o la serie chiede piu' memoria di "
                   "quanta ne sia disponibile\n",
                   stderr);
        return ESITO_IO;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexameter-replay: errore inatteso: %s\n", e.what());
        return ESITO_IO;
    }
}
