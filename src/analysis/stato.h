// Program-wide state of the meter: the device link, the athlete and exercise
// selection, and the trial being measured. One instance lives for the whole
// run; tests build a fresh one per case.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

// One repetition: times in seconds of movement time unless noted, positions and
// displacements in mm, velocities in mm/s. Concentric = rising phase.
struct Ripetizione {
    float t_inizio = 0;       // tempo_movimento at the start
    float tempo = 0;          // tempo_totale at the start (values-list column "Tempo")
    float pos_inizio = 0;     // position at the start
    float pos_inversione = 0; // position at the change from eccentric to concentric
    float vmax_conc = 0;      // highest velocity of the repetition
    float vmax_ecc = 0;       // lowest (most negative) velocity of the repetition
    float s_vmax_conc = 0;    // position at the concentric peak minus pos_inversione
    float s_vmax_ecc = 0;     // pos_inizio minus the position at the eccentric peak
    float t_vmax_conc = 0;    // time of the concentric peak after the change of direction
    float t_vmax_ecc = 0;     // time of the eccentric peak after the start
    float vmedia_conc = 0;
    float vmedia_ecc = 0;
    float durata_conc = 0;
    float durata_ecc = 0;
    float t_inversione = 0; // tempo_movimento at the change of direction
    float spost_conc = 0;
    float spost_ecc = 0; // negative when the load went down
    std::string nota;
};

// One recorded sample, in the order the trial files write it.
struct Campione {
    float posizione = 0;  // mm
    float intervallo = 0; // s, signed by direction
    float tempo = 0;      // tempo_totale after the sample, s
    float velocita = 0;   // mm/s
};

// The velocity-training figures of one listed repetition (analysis/vbt.h says
// how each is found; docs/indici_vbt.md defines them).
struct IndiciVbt {
    int32_t numero = 0;       // as the values list numbers it
    float vmedia_conc = 0;    // mm/s, the listed mean concentric velocity
    float vmp = 0;            // mean propulsive velocity, mm/s
    float vmax_conc = 0;      // mm/s, the listed peak
    double potenza_media = 0; // mean propulsive power, W
    double potenza_picco = 0; // W
    double perdita = 0;       // velocity loss against the best of the trial, %
    bool operator==(const IndiciVbt&) const = default;
};

// Colours are 0xBBGGRR integers, as the trial's limit display paints them.
inline constexpr int32_t COLORE_ROSSO = 255;
inline constexpr int32_t COLORE_VERDE = 65280;
inline constexpr int32_t COLORE_GIALLO = 65535;

struct Stato {
    // --- device link
    bool seriale_attiva = false;
    bool hid_attivo = false;
    bool ricezione_abilitata = false;
    bool acquisizione_in_corso = false;
    bool grafico_live = false;
    bool attesa_finita = false;
    int16_t timeout_attesa = 1000; // ms; lowered to 500 by the first port probe
    float scala_posizione = 0;     // mm per position count
    float scala_tempo = 0;         // ms per board tick
    std::string stato_connessione = " non connesso";
    std::string titolo_programma;
    int32_t tempo_campionamento = 0; // hundredths of a second

    // --- athlete and exercise settings
    std::string nome_atleta;
    float carico_kg = 0;
    std::string esercizio;
    float vel_max = 0;    // mm/s
    float limite_sup = 0; // % of vel_max
    float limite_inf = 0; // % of vel_max
    float ampiezza_min = 0; // mm
    std::string squadra;
    std::array<int32_t, 11> posizioni{};
    std::string cartella_atleta;
    std::string cartella_ini;
    std::string file_pesi;

    // --- trial and analysis
    std::vector<Ripetizione> ripetizioni = std::vector<Ripetizione>(2); // 0 To 1 at start-up
    int32_t rip_corrente = 0;
    float tempo_movimento = 0; // s, steps shorter than 0.22 s only
    float tempo_totale = 0;    // s, every step
    std::array<int16_t, 2> fase{}; // [0] after this sample, [1] after the previous one
    float pos_inizio_rip = 0;
    float pos_inversione = 0;
    std::vector<Campione> campioni = std::vector<Campione>(1);
    int32_t n_campioni = 0;
    bool registrazione_attiva = false;

    // --- velocity-based training; the trial is what the values list holds
    std::vector<IndiciVbt> indici_vbt; // one per listed repetition, in list order
    float vmedia_migliore = 0;         // best mean concentric velocity listed in the trial
    bool stop_dato = false;            // the velocity-loss alert has been given in the trial
    float soglia_perdita = 20;         // % loss that stops the set; 0: no alert
};

} // namespace vexa
