// Frm_cmd: the strip of large buttons the coach works from: start and stop,
// recording, position zero, trial reset, the three graph views, stopwatch and
// calculator.
#pragma once

#include "analysis/stato.h"
#include "indicatori.h"

#include <QWidget>

#include <functional>

namespace vexa {

class Frm_grafici;

// The three views of the graph window, in the order of the "Visualizza" menu.
enum class Vista { Ripetizioni, Tempo, Entrambi };

class Frm_cmd : public QWidget {
    Q_OBJECT
public:
    Frm_cmd(Stato& stato, Frm_grafici& grafici, QWidget* parent = nullptr);

    PulsanteWidget* Button_start = nullptr;
    PulsanteWidget* Button_Memo = nullptr;
    PulsanteWidget* Button_Segnale = nullptr;
    PulsanteWidget* Button_Reset = nullptr;
    PulsanteWidget* Button_Ripetizioni = nullptr;
    PulsanteWidget* Button_Tempo = nullptr;
    PulsanteWidget* Button_Grafici = nullptr;
    PulsanteWidget* Button_Crono = nullptr;
    PulsanteWidget* Button_Calcolatrice = nullptr;

    // What the buttons run elsewhere; unset hooks do nothing.
    std::function<void()> Avvia_acquisizione;
    std::function<void()> Ferma_acquisizione;
    std::function<void()> Azzera_spostamento; // "Reset Pos"
    std::function<void()> azzera_prova;
    // After a stop while recording: the automatic save of the trial.
    std::function<void()> salva_registrazione;
    // Recording switched off: make sure the recording folder exists.
    std::function<void()> assicura_cartella_registrazione;
    // Recording switched on or off (after the state changed).
    std::function<void(bool)> su_registrazione;
    std::function<void()> mostra_cronometro;
    std::function<void()> avvia_calcolatrice;
    // The view changed: the menu moves its check mark.
    std::function<void(Vista)> su_vista;

    void Button_start_ValueChanged(bool valore);
    void Button_Memo_ValueChanged(bool valore);
    void Button_Segnale_ValueChanged(bool valore);
    void Button_Reset_ValueChanged(bool valore);
    void Button_Ripetizioni_Click();
    void Button_Grafici_Click();
    void Button_Tempo_Click();
    void Button_Tempo_MouseDown(int pulsante);
    void Button_Tempo_ValueChanged(bool valore);
    void Button_Crono_ValueChanged(bool valore);
    void Button_Calcolatrice_Click();

    // Switches the start button off without running its off branch: the board
    // has already been stopped (or lost) by whoever calls this.
    void spegni_start();

    void riposiziona();
    // Lays the active view out again after the graph window was laid out anew.
    void riapplica_vista();
    Vista vista() const { return vista_; }

private:
    void vista_tempo();
    // Graph `mostrato` alone, from the slide to the window's edge.
    void vista_singola(int mostrato, Vista vista);
    Stato& s_;
    Frm_grafici& g_;
    Vista vista_ = Vista::Entrambi;
};

// Starts the desktop's calculator, if one is installed; failure is silent.
void avvia_calcolatrice_di_sistema();

} // namespace vexa
