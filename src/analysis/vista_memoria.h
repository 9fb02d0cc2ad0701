// A whole trial window made of in-memory controls, wired into a VistaProva.
#pragma once

#include "analisi.h"
#include "controlli_memoria.h"

namespace vexa {

struct ProvaMemoria {
    GraficoMemoria grafico0, grafico1;
    SlideMemoria slide;
    NumericoMemoria num_vel;
    std::array<ColonnaMemoria, NUMERO_COLONNE> colonne;
    SuonoMemoria suono;
    PannelloVbtMemoria vbt;
    VistaProva vista;

    ProvaMemoria() {
        vista.grafico = {&grafico0, &grafico1};
        vista.slide = &slide;
        vista.num_vel = &num_vel;
        for (int i = 0; i < NUMERO_COLONNE; ++i) vista.lst_valori[static_cast<std::size_t>(i)] = &colonne[static_cast<std::size_t>(i)];
        vista.suono = &suono;
        vista.vbt = &vbt;
    }
    ProvaMemoria(const ProvaMemoria&) = delete;
    ProvaMemoria& operator=(const ProvaMemoria&) = delete;

    int righe() const { return colonne[0].numero_righe(); }
    // Row r as the replay tool prints it: the fifteen texts joined by ";".
    std::string riga(int r) const {
        std::string out;
        for (int i = 0; i < NUMERO_COLONNE; ++i) {
            if (i) out += ';';
            out += colonne[static_cast<std::size_t>(i)].testo(r);
        }
        return out;
    }
};

} // namespace vexa
