// Raw bytes through decoding, the block decoder and the repetition analysis,
// with controls that do nothing, against the USB link's wire limit of 8,000
// records a second. Also counts heap allocations per record. The "_senza_vbt"
// runs leave out the velocity-training figures, to show what they cost.
#include "analysis/analisi.h"
#include "analysis/decodifica.h"
#include "sim/sintetizzatore.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> allocazioni{0};

} // namespace

void* operator new(std::size_t n) {
    allocazioni.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace vexa;

class GraficoNullo : public IGrafico {
public:
    void accoda(int, double y, double) override { benchmark::DoNotOptimize(y); }
    void accoda_riga(const float*, std::size_t, double) override {}
    void cancella_dati() override {}
    void aggiorna() override {}
    bool visibile() const override { return true; }
    int cursore_per_nome(const std::string&) const override { return 1; }
    double cursore_x(int) const override { return 0; }
    double cursore_y(int) const override { return 0; }
    void imposta_cursore_x(int, double) override {}
    int numero_assi() const override { return 0; }
    int asse_per_nome(const std::string&) const override { return 0; }
    std::string didascalia_asse(int) const override { return {}; }
    void imposta_didascalia_asse(int, const std::string&) override {}
    double minimo_asse(int) const override { return 0; }
    double massimo_asse(int) const override { return 0; }
    void imposta_intervallo_asse(int, double, double) override {}
    void imposta_annotazione(int, const std::string&) override {}
    bool esporta_stile(const std::string&) const override { return true; }
    bool importa_stile(const std::string&) override { return true; }
    int modo_puntatore() const override { return 0; }
    void imposta_modo_puntatore(int) override {}
};

class SlideNulla : public ISlide {
public:
    double valore() const override { return 0; }
    void imposta_valore(double) override {}
    void imposta_intervallo(double, double) override {}
    double minimo() const override { return 0; }
    double massimo() const override { return 0; }
    void imposta_segno(int, double) override {}
    void imposta_colore_puntatore(int, int32_t) override {}
};

class NumericoNullo : public INumerico {
public:
    double valore() const override { return 0; }
    void imposta_valore(double) override {}
    int32_t colore() const override { return 0; }
    void imposta_colore(int32_t) override {}
    void imposta_visibile(bool) override {}
    void imposta_dimensione_carattere(int) override {}
};

class ColonnaNulla : public IColonna {
public:
    void aggiungi(const std::string&) override {}
    void cancella() override {}
    int numero_righe() const override { return 0; }
    std::string testo(int) const override { return {}; }
    void imposta_testo(int, const std::string&) override {}
    int riga_selezionata() const override { return 0; }
    void seleziona(int) override {}
    int prima_visibile() const override { return 0; }
    void imposta_prima_visibile(int) override {}
    void aggiorna() override {}
};

class SuonoNullo : public ISuono {
public:
    void beep() override {}
};

struct Banco {
    GraficoNullo g0, g1;
    SlideNulla slide;
    NumericoNullo num;
    ColonnaNulla colonna;
    SuonoNullo suono;
    VistaProva vista;
    Stato s;
    Banco(Collegamento c, int tipo) {
        vista.grafico = {&g0, &g1};
        vista.slide = &slide;
        vista.num_vel = &num;
        vista.lst_valori.fill(&colonna);
        vista.suono = &suono;
        const ScalaScheda sc = scala_per_tipo(tipo);
        s.scala_posizione = sc.posizione;
        s.scala_tempo = sc.tempo;
        s.seriale_attiva = c == Collegamento::Seriale;
        s.hid_attivo = c == Collegamento::Hid;
        s.ampiezza_min = 100;
        s.vel_max = 600;
        s.limite_sup = 110;
        s.limite_inf = 90;
        s.grafico_live = true;
        s.acquisizione_in_corso = true;
    }
};

// A long synthesised session: many sets back to back.
std::vector<uint8_t> cattura(Collegamento c, int tipo) {
    sim::DescrizioneSerie d;
    d.ripetizioni = 40;
    d.rumore = 0.1;
    const auto serie = sim::sintetizza(d, tipo, c);
    return c == Collegamento::Seriale ? sim::byte_seriali(serie.record) : sim::report_hid(serie.record);
}

void esegui(benchmark::State& stato, Collegamento c, bool registra, bool vbt = true) {
    const int tipo = 2;
    const auto dati = cattura(c, tipo);
    const std::size_t passo = c == Collegamento::Seriale ? BYTE_BLOCCO_SERIALE : 64;
    const int per_blocco = c == Collegamento::Seriale ? 2 : RECORD_PER_REPORT_HID;
    const std::size_t blocchi = dati.size() / passo;
    Banco b(c, tipo);
    b.s.registrazione_attiva = registra;
    Analizzatore a(b.s, b.vista);
    a.arretrato = [] { return 0; };
    a.indici_vbt = vbt;
    azzera_prova(b.s, b.vista);
    azzera_tempi(b.s);
    double pos[8];
    float dt[8];
    uint8_t buffer[BYTE_BUFFER_HID] = {};
    long long record = 0;
    const long long prima = allocazioni.load();
    for (auto _ : stato) {
        for (std::size_t k = 0; k < blocchi; ++k) {
            const uint8_t* p = &dati[k * passo];
            if (c == Collegamento::Seriale) {
                decodifica_seriale(p, 2, b.s.scala_posizione, b.s.scala_tempo, pos, dt);
            } else {
                std::copy_n(p, 64, buffer + 1);
                decodifica_hid(buffer, b.s.scala_posizione, b.s.scala_tempo, pos, dt);
            }
            a.Elabora_blocco(per_blocco - 1, pos, dt);
        }
        record += static_cast<long long>(blocchi) * per_blocco;
        // A trial as long as one pass, then a new trial, as the coach would do.
        azzera_prova(b.s, b.vista);
        azzera_tempi(b.s);
    }
    const double allocati = static_cast<double>(allocazioni.load() - prima);
    stato.SetItemsProcessed(record);
    stato.counters["rapporto_limite_usb"] =
        benchmark::Counter(static_cast<double>(record) / 8000.0, benchmark::Counter::kIsRate);
    stato.counters["alloc_per_record"] = allocati / static_cast<double>(record);
}

void BM_seriale(benchmark::State& s) { esegui(s, Collegamento::Seriale, false); }
void BM_seriale_senza_vbt(benchmark::State& s) { esegui(s, Collegamento::Seriale, false, false); }
void BM_hid(benchmark::State& s) { esegui(s, Collegamento::Hid, false); }
void BM_hid_senza_vbt(benchmark::State& s) { esegui(s, Collegamento::Hid, false, false); }
void BM_hid_registrazione(benchmark::State& s) { esegui(s, Collegamento::Hid, true); }

} // namespace

BENCHMARK(BM_seriale)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_seriale_senza_vbt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_hid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_hid_senza_vbt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_hid_registrazione)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
