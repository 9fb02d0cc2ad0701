// The measuring core: a block of step records becomes velocities, accelerations
// and time totals; every sample goes through the repetition analysis, which
// finds the tops of the movement, measures each repetition and publishes it one
// top later into the values list, the repetitions graph and the limit display.
#pragma once

#include "stato.h"
#include "controlli.h"
#include "vbt.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vexa {

// The controls of the trial window the analysis writes into. Every pointer must
// be set; NullControlli gives harmless ones.
struct VistaProva {
    std::array<IGrafico*, 2> grafico{};               // 0: time graph, 1: repetitions
    ISlide* slide = nullptr;
    INumerico* num_vel = nullptr;
    std::array<IColonna*, NUMERO_COLONNE> lst_valori{}; // the values list
    ISuono* suono = nullptr;
    IPannelloVbt* vbt = nullptr; // optional: the velocity-training figures' window and alert
};

// Plot numbers of the time graph.
inline constexpr int PLOT_VELOCITA = 1;
inline constexpr int PLOT_ACCELERAZIONE = 5;
inline constexpr int PLOT_POSIZIONE = 6;
// The time graph's velocity axis ("Y_velocita"), whose range the athlete's
// maximum velocity sets and the slide follows.
inline constexpr int ASSE_VELOCITA = 2;

// Verdict of a mean concentric velocity against the athlete's band.
int32_t colore_limiti(float vmedia, float vel_max, float limite_sup, float limite_inf);
const char* nome_colore(int32_t colore); // "giallo", "verde", "rosso"

// Velocity of one step in mm/s from its interval in ms: one serial record
// stands for six counts, a HID record for one; under 12 mm/s is standing
// still and the board cannot move faster than 5000 mm/s. No link: 0.
double velocita_passo(float scala_posizione, bool seriale, bool hid, float dt_ms);

// Empties the trial: results, recorded samples, values list and graphs.
void azzera_prova(Stato& s, VistaProva& v);
// Zeroes the time totals and primes the direction state for a new acquisition.
void azzera_tempi(Stato& s);

class Analizzatore {
public:
    Analizzatore(Stato& stato, VistaProva& vista);

    // Bytes waiting in the serial input, read at the end of each block to decide
    // whether the live plot can keep up. Unset means no backlog.
    std::function<int()> arretrato;
    // Decimal separator of the values list texts.
    char separatore = '.';
    // Where the analysis says what it decided without telling the user (a
    // repetition too small to count, the live plot held back): 0 detail,
    // 1 information. Unset: nothing is said.
    std::function<void(int livello, const std::string& testo)> registro;
    // Told of every sample recorded, with its index in Stato::campioni, so it
    // can be kept safe while the acquisition runs. An index back at 0 means
    // the recording started again.
    std::function<void(int32_t indice, const Campione& c)> su_campione;

    void Elabora_blocco(int n_punti, const double* valore_posizione, const float* dt);
    void Elabora_dati(double posizione, float velocita);

    // Whether the velocity-training figures are worked out (a benchmark
    // turns them off to measure what they cost).
    bool indici_vbt = true;
    // The repetition being measured as it would be listed if the bar rested
    // on the last sample and the top came there. Only when it could come no
    // other way: the movement is rising, no record has come for
    // `secondi_senza_record`, so the step under way can only end below
    // 15 mm/s, the time base has started and the rise exceeds the minimum
    // amplitude. Its loss is against the best listed and itself. A stopped
    // acquisition passes infinity: no record will end the repetition.
    std::optional<IndiciVbt> ripetizione_provvisoria(double secondi_senza_record) const;
    // Samples analysed since the analysis was made: a change says a record came.
    uint64_t campioni_analizzati() const { return campioni_analizzati_; }
    // Forgets the samples behind the figures, for a replay that puts the
    // analysis straight into the middle of a trial.
    void azzera_indici_vbt() { vbt_.azzera(); }

    // Values the analysis keeps for itself, exposed for the tests.
    float vmax_rip = 0;
    float vmin_rip = 0;
    float t_vmax_rip = 0;
    float t_vmin_rip = 0;
    double vel_precedente = 0;

private:
    void pubblica(int32_t n, const Ripetizione& p);
    void pubblica_vbt(int32_t n, const Ripetizione& p);
    Stato& s_;
    VistaProva& v_;
    CalcoloVbt vbt_;
    uint64_t campioni_analizzati_ = 0;
    bool sospeso_per_arretrato_ = false;
    std::vector<double> velocita_blocco_, accelerazione_blocco_;
};

} // namespace vexa
