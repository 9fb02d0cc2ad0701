// A trial on in-memory controls, with helpers that feed the analysis the way
// the block decoder does: each sample's interval first goes into the time
// totals, then the sample is analysed.
#pragma once

#include "analysis/analisi.h"
#include "analysis/vista_memoria.h"

#include <cmath>

namespace vexa::test {

struct BancoAnalisi {
    Stato s;
    ProvaMemoria prova;
    Analizzatore a{s, prova.vista};

    BancoAnalisi() {
        s.ampiezza_min = 100;
        s.vel_max = 1000;
        s.limite_sup = 110;
        s.limite_inf = 90;
        azzera_prova(s, prova.vista);
        azzera_tempi(s);
    }

    // One sample that took `durata` seconds.
    void campione(double pos, float vel, float durata) {
        if (durata < 0.22f) s.tempo_movimento += durata;
        s.tempo_totale += durata;
        a.Elabora_dati(pos, vel);
    }

    // `passi` samples from `da` to `a_pos` at a steady velocity.
    void muovi(double da, double a_pos, float vel, int passi = 10) {
        const double passo = (a_pos - da) / passi;
        const auto durata = static_cast<float>(std::fabs(passo / static_cast<double>(vel)));
        for (int i = 1; i <= passi; ++i) campione(da + passo * i, vel, durata);
    }

    // The load rests: the next step comes after a pause long enough to leave
    // movement time alone.
    void ferma(double pos) { campione(pos, 0, 0.5f); }

    // A full repetition from the top: down, pause, up, pause.
    void ripetizione(double alto, double basso, float v_ecc = -400, float v_conc = 500) {
        muovi(alto, basso, v_ecc);
        ferma(basso);
        muovi(basso, alto, v_conc);
        ferma(alto);
    }

    int righe() const { return prova.righe(); }
    std::string cella(int riga, int colonna) const {
        return prova.colonne[static_cast<std::size_t>(colonna)].testo(riga);
    }
};

} // namespace vexa::test
