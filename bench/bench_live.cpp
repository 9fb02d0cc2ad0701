// The live path at the board's fastest, into the real widgets (offscreen):
// ten minutes of data at the USB wire rate (8,000 records a second) through
// the HID reader thread, the ring and the read path; then ten minutes at the
// serial rate (1,920 records a second) through the serial receive event.
//
// Time is simulated: the bench hands over each millisecond's data, draws a
// frame every 1/60 s of data and measures the UI thread's CPU time (not the
// wall clock), so the figures are per second of data whatever the machine
// does meanwhile. The synthesised set is time-compressed so that its records
// come exactly at the wire rate: data time and wire time are the same.
//
// Prints, per path:
//   blocks_drawn_pct=… ui_busy_pct=… redraws_per_s=… rss_mb_after_10min=…
// and a line with the UI thread's time split into drawing, analysis and
// hand-over, and the memory after 5 minutes (flat once the history is full).
//
// Then a session of two hours at the USB rate as a gym runs one (see
// `sessione`), with its memory after ten minutes and at the end.
//
// Options: --secondi N (of each path, 600 by default), --minuti-sessione N
// (120), --tutti-i-punti (the time graph handed every point, not what each
// pixel column can show: the figures to compare with), --percorso usb|seriale
// (that path alone).
#include "app/frm_main.h"

#include "analysis/analisi.h"
#include "device/hid/backend_reale.h"
#include "device/hid/frm_hid.h"
#include "device/porta.h"
#include "device/protocollo.h"
#include "sim/sintetizzatore.h"
#include "analysis/controlli_memoria.h"
#include "trials/file_prova.h"
#include "trials/salvataggio.h"
#include "ui/grafico_widget.h"

#include <QApplication>
#include <qcustomplot.h>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using namespace vexa;

double cpu_thread_s() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double rss_mb() {
    long pagine = 0, residenti = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pagine, &residenti) != 2) residenti = 0;
        std::fclose(f);
    }
    return static_cast<double>(residenti) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

class ServiziMuti : public IServizi {
public:
    void messaggio(const std::string& t, Icona, const std::string&) override {
        std::fprintf(stderr, "[messaggio] %s\n", t.c_str());
    }
    void beep() override {}
    void imposta_titolo_principale(const std::string&) override {}
    void spegni_pulsante_start() override {}
    void imposta_spostamento(const std::string&) override {}
};

// A set of repetitions whose records come at `record_al_s`.
std::vector<sim::RecordScheda> serie_al_ritmo(Collegamento c, double record_al_s, int ripetizioni = 12) {
    sim::DescrizioneSerie d;
    d.ripetizioni = ripetizioni;
    d.rumore = 0.05;
    sim::Serie s = sim::sintetizza(d, 1, c);
    const double naturale = static_cast<double>(s.record.size()) / s.durata_s;
    const double fattore = naturale / record_al_s;
    for (auto& r : s.record) {
        const double t = std::round(static_cast<double>(r.intervallo) * fattore);
        r.intervallo = static_cast<int32_t>(t == 0 ? (r.intervallo < 0 ? -1 : 1) : t);
    }
    return std::move(s.record);
}

struct Conti {
    double cpu_disegno = 0, cpu_analisi = 0, cpu_totale = 0;
    double cpu_banco = 0; // the bench waiting for its own reader thread, left out of cpu_totale
    long blocchi = 0, blocchi_disegnati = 0;
    double rss_5min = 0;
    double ms_replot0 = 0, ms_replot1 = 0; // the graphs' own frames, processor time
    int periodo_massimo_ms = 0; // the longest the time graph's clock made its period
};

bool tutti_i_punti = false;

// The working screen, shown offscreen at a coach's screen size.
struct Schermo {
    QTemporaryDir cartella;
    Stato s;
    ServiziMuti sv;
    SuonoMemoria suono;
    Frm_main principale{s, sv, cartella.path(), suono};
    Analizzatore a{s, principale.grafici()->vista()};
    GraficoWidget* g0 = principale.grafici()->Grafico[0];
    GraficoWidget* g1 = principale.grafici()->Grafico[1];
    Conti c;

    Schermo() {
        s.ampiezza_min = 100;
        s.vel_max = 5000;
        s.limite_sup = 110;
        s.limite_inf = 90;
        const auto sc = scala_per_tipo(1);
        s.scala_posizione = sc.posizione;
        s.scala_tempo = sc.tempo;
        principale.resize(1280, 800);
        principale.show();
        g0->imposta_inviluppi(!tutti_i_punti);
    }
    long ridisegni() const { return g0->ridisegni() + g1->ridisegni(); }
    // One block into the analysis, timed, and whether all of it reached the graph.
    void blocco(int n, const double* p, const float* dt) {
        const long prima = g0->punti_accodati();
        const double t0 = cpu_thread_s();
        a.Elabora_blocco(n, p, dt);
        c.cpu_analisi += cpu_thread_s() - t0;
        ++c.blocchi;
        if (g0->punti_accodati() - prima == 3L * (n + 1)) ++c.blocchi_disegnati;
    }
    // One display frame, as each graph's display clock gives it every 1/60 s
    // of real time, and the rest of the screen's painting. The clocks
    // themselves run in real time, which here goes faster than the data: a
    // tick of theirs between two of these finds nothing left to do.
    // The display clocks, in simulated time: each graph draws when its own
    // period (which it lengthens while frames are costly) has gone by.
    void fotogramma(double ms_ora) {
        const double t0 = cpu_thread_s();
        bool disegnato = false;
        for (int i = 0; i < 2; ++i) {
            GraficoWidget* g = i == 0 ? g0 : g1;
            if (ms_ora < prossimo_[i]) continue;
            prossimo_[i] = ms_ora + g->intervallo_fotogramma_ms();
            if (i == 0) c.periodo_massimo_ms = std::max(c.periodo_massimo_ms, g->intervallo_fotogramma_ms());
            const long r = g->ridisegni();
            const double f0 = cpu_thread_s();
            g->fotogramma();
            if (g->ridisegni() != r) (i == 0 ? c.ms_replot0 : c.ms_replot1) += 1000 * (cpu_thread_s() - f0);
            disegnato = true;
        }
        // The rest of the screen paints on the same beat.
        if (disegnato || ms_ora >= prossimo_altro_) {
            prossimo_altro_ = ms_ora + 1000.0 / 60;
            QCoreApplication::processEvents();
        }
        c.cpu_disegno += cpu_thread_s() - t0;
    }
    // Each minute's share on stderr: what grows as the run goes on.
    void minuto(int ms, double cpu) {
        const Conti d{c.cpu_disegno - m_.cpu_disegno, c.cpu_analisi - m_.cpu_analisi, cpu - m_.cpu_totale};
        const long r = g0->ridisegni() - ridisegni_m_;
        std::fprintf(stderr, "  minute %d: UI %.2f%% (drawing %.2f, analysis %.2f, hand-over %.2f); time graph %ld "
                     "frames; %d rows\n",
                     ms / 60000, d.cpu_totale / 0.6, d.cpu_disegno / 0.6, d.cpu_analisi / 0.6,
                     (d.cpu_totale - d.cpu_disegno - d.cpu_analisi) / 0.6, r,
                     principale.grafici()->Lst_valori[0]->count());
        m_ = c;
        m_.cpu_totale = cpu;
        ridisegni_m_ = g0->ridisegni();
    }
    Conti m_;
    long ridisegni_m_ = 0;
    bool dovuto(double ms_ora) const {
        return ms_ora >= prossimo_[0] || ms_ora >= prossimo_[1] || ms_ora >= prossimo_altro_;
    }
    double prossimo_[2] = {0, 0}, prossimo_altro_ = 0;
    void stampa(const char* nome, double secondi, long ridisegni_fatti, double rss_fine) const {
        const double busy = c.cpu_totale / secondi * 100;
        const double r0 = static_cast<double>(g0->ridisegni()) / secondi, r1 = static_cast<double>(g1->ridisegni()) / secondi;
        const double consegna = c.cpu_totale - c.cpu_disegno - c.cpu_analisi;
        std::printf("blocks_drawn_pct=%.2f ui_busy_pct=%.2f redraws_per_s=%.1f rss_mb_after_10min=%.1f\n",
                    c.blocchi ? 100.0 * static_cast<double>(c.blocchi_disegnati) / static_cast<double>(c.blocchi) : 0.0,
                    busy, static_cast<double>(ridisegni_fatti) / secondi, rss_fine);
        std::printf("  %s: %ld blocks; UI thread %.1f s of %.0f s of data: drawing %.1f%%, analysis %.1f%%, "
                    "hand-over %.1f%% of its time; rss after 5 min %.1f MB; redraws/s time graph %.1f, "
                    "repetitions graph %.1f; one frame %.3f ms of processor time (time graph), %.3f ms (repetitions)\n",
                    nome, c.blocchi, c.cpu_totale, secondi, 100 * c.cpu_disegno / c.cpu_totale,
                    100 * c.cpu_analisi / c.cpu_totale, 100 * consegna / c.cpu_totale, c.rss_5min, r0, r1,
                    c.ms_replot0 / std::max(1.0, r0 * secondi), c.ms_replot1 / std::max(1.0, r1 * secondi));
        // What grows with a session: the rows of the values list (time is
        // compressed here, so repetitions come twenty to thirty times as fast as
        // in a gym); the graph stays bounded.
        std::size_t punti = 0;
        for (int p : {PLOT_VELOCITA, PLOT_ACCELERAZIONE, PLOT_POSIZIONE}) punti += g0->punti(p).size();
        std::printf("  %s: values list %d rows; time graph holds %zu points; its clock's longest period %d ms "
                    "(16 = never slowed); %s\n",
                    nome, principale.grafici()->Lst_valori[0]->count(), punti, c.periodo_massimo_ms,
                    tutti_i_punti ? "every point drawn" : "pixel-column envelopes drawn");
    }
};

// ---------------------------------------------------------------- USB

// The board's reports, let through as simulated time allows.
struct Sorgente {
    std::vector<uint8_t> report; // 64 bytes each
    std::atomic<long> permessi{0}, dati{0};
    // The report read as the i-th is report i + scostamento; set while the
    // reader has read all it was let (before `permessi` grows again).
    long scostamento = 0;
};

class IoBanco : public IoHid {
public:
    explicit IoBanco(Sorgente& s) : s_(s) {}
    int apri(const std::string&) override { return 0; }
    int leggi(uint8_t* dati, std::size_t n, int attesa_ms) override {
        const long i = s_.dati.load(std::memory_order_relaxed);
        if (i >= s_.permessi.load(std::memory_order_acquire)) {
            std::this_thread::sleep_for(std::chrono::microseconds(std::min(attesa_ms, 1) * 200));
            return 0;
        }
        const std::size_t quanti = s_.report.size() / 64;
        const uint8_t* r = s_.report.data() + (static_cast<std::size_t>(i + s_.scostamento) % quanti) * 64;
        std::copy(r, r + std::min<std::size_t>(n, 64), dati);
        s_.dati.store(i + 1, std::memory_order_release);
        return static_cast<int>(std::min<std::size_t>(n, 64));
    }
    int scrivi(const uint8_t*, std::size_t n) override { return static_cast<int>(n); }
    QString ultimo_errore() override { return QStringLiteral("nessuno"); }
    void chiudi() override {}

private:
    Sorgente& s_;
};

// The real layer without udev: the board's arrival is the bench's.
class BackendBanco : public BackendHidReale {
public:
    using BackendHidReale::BackendHidReale;
    bool Connect() override {
        inizia_notifiche();
        annuncia_presenti();
        return true;
    }
};

// Everything of this frame handed over, as a UI thread keeping up would have
// it: the reader has read the reports (its thread, not ours), then the UI
// thread sleeps in the event loop until the layer's tick or wake-up delivers
// them. No spinning: the UI thread's time is what is measured.
void aspetta_consegna(const Sorgente& sorgente, Schermo& sc, long fino_a) {
    // The bench's own wait for its reader is not the program's time: its
    // sleeps' system calls are taken off the UI thread's count.
    const double t0 = cpu_thread_s();
    while (sorgente.dati.load(std::memory_order_acquire) < fino_a) std::this_thread::sleep_for(std::chrono::microseconds(50));
    sc.c.cpu_banco += cpu_thread_s() - t0;
    while (sc.c.blocchi < fino_a) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The simulated USB board plugged in, its reports read into the screen.
struct BancoUsb {
    BackendBanco* backend;
    std::unique_ptr<frm_hid> hid;
    BancoUsb(Sorgente& sorgente, Schermo& sc) {
        auto b = std::make_unique<BackendBanco>(nullptr, [&sorgente] { return std::make_unique<IoBanco>(sorgente); },
                                                [](const std::string&) { return 0; });
        backend = b.get();
        hid = std::make_unique<frm_hid>(sc.s, sc.sv, std::move(b),
                                        [&sc](int n, const double* p, const float* dt) { sc.blocco(n, p, dt); });
        backend->arrivo("/sys/banco/hidraw0", "/dev/banco0", VID_SCHEDA, PID_SCHEDA);
        for (int i = 0; i < 50 && !sc.s.hid_attivo; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        sc.s.hid_attivo = true;
        sc.s.seriale_attiva = false;
    }
};

void usb(double secondi) {
    Schermo sc;
    Sorgente sorgente;
    const auto record = serie_al_ritmo(Collegamento::Hid, 8000);
    sorgente.report = sim::report_hid(record);
    const BancoUsb banco(sorgente, sc);
    sc.s.acquisizione_in_corso = true;
    sc.s.grafico_live = true;
    azzera_prova(sc.s, sc.principale.grafici()->vista());
    azzera_tempi(sc.s);

    const long ridisegni_0 = sc.ridisegni();
    const double inizio = cpu_thread_s();
    const long report_al_ms = 1; // 8 records a report, 8 per ms
    const int ms_totali = static_cast<int>(secondi * 1000);
    for (int ms = 1; ms <= ms_totali; ++ms) {
        sorgente.permessi.store(ms * report_al_ms, std::memory_order_release);
        if (sc.dovuto(ms)) {
            aspetta_consegna(sorgente, sc, ms * report_al_ms);
            sc.fotogramma(ms);
        }
        if (ms == ms_totali / 2) sc.c.rss_5min = rss_mb();
        if (ms % 60000 == 0) sc.minuto(ms, cpu_thread_s() - inizio - sc.c.cpu_banco);
    }
    aspetta_consegna(sorgente, sc, ms_totali * report_al_ms);
    sc.fotogramma(ms_totali + 1000.0);
    sc.c.cpu_totale = cpu_thread_s() - inizio - sc.c.cpu_banco;
    sc.stampa("usb", secondi, sc.ridisegni() - ridisegni_0, rss_mb());
    const uint64_t persi = banco.backend->report_persi(banco.backend->GetHandle(VID_SCHEDA, PID_SCHEDA));
    if (persi) std::printf("  usb: %llu reports lost in the ring\n", static_cast<unsigned long long>(persi));
}

// ---------------------------------------------------------------- session

// A gym's two hours at the USB rate: sets as long as 5 to 10 repetitions
// take (three seconds each), each its own recorded trial (a new trial at the
// start, as the start switch makes one), saved when it stops as the program
// saves it (the whole trial and its results, through the synced write);
// rests of one to three minutes between. A set's records come at the wire
// rate all along: a synthesised set of 5 to 10 repetitions compressed to that
// rate, over and over, so the values list gets some twenty times the rows a
// gym's set has (the worst case for it). A rest passes on the simulated clock
// in one step with a turn of the event loop: nothing arrives, nothing is
// drawn, so the run takes the wall time of its sets alone.
void sessione(double minuti) {
    Schermo sc;
    Sorgente sorgente;
    // One synthesised set per number of repetitions, one after the other in the source.
    std::vector<std::pair<long, long>> serie; // first report, reports
    for (int rip = 5; rip <= 10; ++rip) {
        const auto r = sim::report_hid(serie_al_ritmo(Collegamento::Hid, 8000, rip));
        serie.emplace_back(static_cast<long>(sorgente.report.size() / 64), static_cast<long>(r.size() / 64));
        sorgente.report.insert(sorgente.report.end(), r.begin(), r.end());
    }
    const BancoUsb banco(sorgente, sc);
    sc.s.registrazione_attiva = true;
    VistaProva& vista = sc.principale.grafici()->vista();
    const FormatoLocale f = formato_locale(QLocale::c());

    std::mt19937 caso(7);
    const double ms_totali = minuti * 60000;
    double ms = 0, ms_dati = 0, rss_10 = 0, cpu_salvataggi = 0, cpu_serie = 0;
    int n_serie = 0, ripetizioni = 0;
    long salvati = 0;
    const long ridisegni_0 = sc.g0->ridisegni();
    const double inizio = cpu_thread_s();
    while (ms < ms_totali) {
        const std::size_t quale = caso() % serie.size();
        const auto [primo, quanti] = serie[quale];
        const long durata_ms = 3000L * static_cast<long>(quale + 5); // a report a millisecond
        const double t_serie = cpu_thread_s() - sc.c.cpu_banco;
        sc.s.acquisizione_in_corso = true;
        sc.s.grafico_live = true;
        azzera_prova(sc.s, vista);
        azzera_tempi(sc.s);
        const long gia = sorgente.dati.load(std::memory_order_acquire);
        for (long k = 1; k <= durata_ms; ++k) {
            // The set's repetitions over and over, from its start each time.
            if ((k - 1) % quanti == 0) sorgente.scostamento = primo - (gia + k - 1);
            ms += 1;
            sorgente.permessi.store(gia + k, std::memory_order_release);
            // Every repetition's start waits, so the source may move on.
            if (sc.dovuto(ms) || k % quanti == 0) {
                aspetta_consegna(sorgente, sc, gia + k);
                if (sc.dovuto(ms)) sc.fotogramma(ms);
            }
            if (rss_10 == 0 && ms >= 600000) rss_10 = rss_mb();
        }
        aspetta_consegna(sorgente, sc, gia + durata_ms);
        sc.s.acquisizione_in_corso = false;
        sc.fotogramma(ms + 1000.0 / 60);
        ms_dati += static_cast<double>(durata_ms);
        cpu_serie += cpu_thread_s() - sc.c.cpu_banco - t_serie;

        const double t0 = cpu_thread_s();
        ripetizioni += vista.lst_valori[0]->numero_righe();
        const QString nome = sc.cartella.filePath(QStringLiteral("serie %1").arg(n_serie));
        const QString e1 = scrivi_file(nome + QStringLiteral(".csv"), testo_file_intero(sc.s.campioni, sc.s.n_campioni, f));
        const QString e2 = scrivi_file(nome + QStringLiteral(" dati.csv"),
                                       testo_file_dati("Atleta", "Squat", 80, righe_risultati(vista, sc.s.ripetizioni),
                                                       DataOra{}, f));
        cpu_salvataggi += cpu_thread_s() - t0;
        if (!e1.isEmpty() || !e2.isEmpty()) std::fprintf(stderr, "save failed: %s %s\n", qPrintable(e1), qPrintable(e2));
        salvati += QFileInfo(nome + QStringLiteral(".csv")).size();
        // Kept off the disk: what a save costs is measured, the files are not needed.
        QFile::remove(nome + QStringLiteral(".csv"));
        QFile::remove(nome + QStringLiteral(" dati.csv"));
        ++n_serie;

        ms += 60000.0 + static_cast<double>(caso() % 120000);
        QCoreApplication::processEvents();
        sc.fotogramma(ms);
        if (rss_10 == 0 && ms >= 600000) rss_10 = rss_mb();
    }
    const double cpu = cpu_thread_s() - inizio - sc.c.cpu_banco;
    const double rss_fine = rss_mb();
    const double s_dati = ms_dati / 1000;
    std::printf("session: blocks_drawn_pct=%.2f ui_busy_pct_during_sets=%.2f ui_busy_pct_whole_session=%.2f "
                "rss_mb_after_10min=%.1f rss_mb_end=%.1f rss_growth_mb=%.1f\n",
                sc.c.blocchi ? 100.0 * static_cast<double>(sc.c.blocchi_disegnati) / static_cast<double>(sc.c.blocchi) : 0.0,
                100 * cpu_serie / s_dati, 100 * cpu / (ms / 1000), rss_10, rss_fine, rss_fine - rss_10);
    std::printf("  session: %.0f min simulated, %d sets, %d rows listed, %.0f s of data at 8,000 records/s; "
                "time graph %.1f redraws/s while sets run, clock's longest period %d ms; "
                "saving %.0f ms a set (%.1f MB of trial files in all)\n",
                ms / 60000, n_serie, ripetizioni, s_dati,
                static_cast<double>(sc.g0->ridisegni() - ridisegni_0) / s_dati, sc.c.periodo_massimo_ms,
                1000 * cpu_salvataggi / std::max(1, n_serie), static_cast<double>(salvati) / (1024.0 * 1024.0));
}

// ---------------------------------------------------------------- serial

// The serial port as the receive event sees it: bytes arrive, the event fires
// at the threshold, the protocol takes blocks.
class PortaBanco : public IPorta {
public:
    int16_t CommPort() const override { return 1; }
    void setCommPort(int16_t) override {}
    std::string Settings() const override { return "115200,n,8,1"; }
    void setSettings(const std::string&) override {}
    bool PortOpen() const override { return true; }
    void setPortOpen(bool) override {}
    int16_t Handshaking() const override { return 0; }
    void setHandshaking(int16_t) override {}
    void setDTREnable(bool) override {}
    void setRTSEnable(bool) override {}
    void setNullDiscard(bool) override {}
    ModoIngresso InputMode() const override { return ModoIngresso::Binario; }
    void setInputMode(ModoIngresso) override {}
    int16_t InputLen() const override { return lunghezza_; }
    void setInputLen(int16_t n) override { lunghezza_ = n; }
    int16_t RThreshold() const override { return soglia_; }
    void setRThreshold(int16_t n) override { soglia_ = n; }
    int InBufferCount() const override { return static_cast<int>(ingresso_.size() - letti_); }
    long letture = 0; // one per block during an acquisition
    std::vector<uint8_t> Input() override {
        ++letture;
        const std::size_t n = std::min<std::size_t>(lunghezza_ == 0 ? ingresso_.size() : static_cast<std::size_t>(lunghezza_),
                                                    ingresso_.size() - letti_);
        std::vector<uint8_t> out(ingresso_.begin() + static_cast<std::ptrdiff_t>(letti_),
                                 ingresso_.begin() + static_cast<std::ptrdiff_t>(letti_ + n));
        letti_ += n;
        if (letti_ > 4096) {
            ingresso_.erase(ingresso_.begin(), ingresso_.begin() + static_cast<std::ptrdiff_t>(letti_));
            letti_ = 0;
        }
        return out;
    }
    void Output(const std::string&) override {}
    void arriva(const uint8_t* b, std::size_t n) {
        ingresso_.insert(ingresso_.end(), b, b + n);
        if (auto f = su_dati) f();
        if (soglia_ > 0 && InBufferCount() >= soglia_)
            if (auto f = OnComm_ricezione) f();
    }

private:
    std::vector<uint8_t> ingresso_;
    std::size_t letti_ = 0;
    int16_t lunghezza_ = 0, soglia_ = 0;
};

void seriale(double secondi) {
    Schermo sc;
    PortaBanco porta;
    Protocollo pr(sc.s, porta, sc.sv);
    // The analysis is timed block by block through a counting wrapper of the
    // protocol's hand-over: its blocks go to the screen's timed entry.
    Analizzatore& a = sc.a;
    pr.imposta_analisi(&a);
    const auto flusso = sim::byte_seriali(serie_al_ritmo(Collegamento::Seriale, 1920));
    sc.s.seriale_attiva = true;
    sc.s.acquisizione_in_corso = true;
    sc.s.ricezione_abilitata = true;
    sc.s.grafico_live = true;
    porta.setRThreshold(BYTE_BLOCCO_SERIALE);
    porta.setInputLen(BYTE_BLOCCO_SERIALE);
    azzera_prova(sc.s, sc.principale.grafici()->vista());
    azzera_tempi(sc.s);

    // Blocks and their drawing are counted from the graph's pending points,
    // and the analysis time from around the receive event.
    const long ridisegni_0 = sc.ridisegni();
    const double inizio = cpu_thread_s();
    const int ms_totali = static_cast<int>(secondi * 1000);
    const double byte_al_ms = 1920.0 * BYTE_RECORD_SERIALE / 1000.0;
    double dovuti = 0;
    std::size_t dati = 0;
    long punti = 0;
    for (int ms = 1; ms <= ms_totali; ++ms) {
        dovuti += byte_al_ms;
        const auto quanti = static_cast<std::size_t>(dovuti) - dati;
        uint8_t pezzo[64];
        for (std::size_t k = 0; k < quanti; ++k) pezzo[k] = flusso[(dati + k) % flusso.size()];
        dati += quanti;
        const long prima = sc.g0->punti_accodati();
        const double t0 = cpu_thread_s();
        porta.arriva(pezzo, quanti);
        sc.c.cpu_analisi += cpu_thread_s() - t0;
        sc.c.blocchi = porta.letture;
        // Points of the blocks not drawn are missing from the count, so the
        // drawn ones are what the points account for (summed before dividing:
        // the framing may hand on an odd record and its partner later).
        punti += sc.g0->punti_accodati() - prima;
        sc.c.blocchi_disegnati = punti / (3 * 2);
        if (sc.dovuto(ms)) sc.fotogramma(ms);
        if (ms == ms_totali / 2) sc.c.rss_5min = rss_mb();
        if (ms % 60000 == 0) sc.minuto(ms, cpu_thread_s() - inizio);
    }
    sc.fotogramma(ms_totali + 1000.0);
    sc.c.cpu_totale = cpu_thread_s() - inizio;
    // On this path the receive event and the analysis are timed together.
    sc.stampa("serial (analysis includes the receive event)", secondi, sc.ridisegni() - ridisegni_0, rss_mb());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    double secondi = 600, minuti_sessione = 120;
    std::string percorso; // usb or seriale: that path alone
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--tutti-i-punti") tutti_i_punti = true;
        if (i + 1 == argc) continue;
        if (a == "--secondi") secondi = std::atof(argv[i + 1]);
        if (a == "--minuti-sessione") minuti_sessione = std::atof(argv[i + 1]);
        if (a == "--percorso") percorso = argv[i + 1];
    }
    if (secondi > 0) {
        if (percorso != "seriale") usb(secondi);
        if (percorso != "usb") seriale(secondi);
    }
    if (minuti_sessione > 0) sessione(minuti_sessione);
    return 0;
}
