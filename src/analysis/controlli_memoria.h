// Controls that keep everything in memory and remember what was done to them.
// They stand in for the widgets where there is no screen: the replay tool, the
// benchmarks and the tests.
#pragma once

#include "controlli.h"
#include "vbt.h"

#include <array>
#include <map>
#include <vector>

namespace vexa {

class GraficoMemoria : public IGrafico {
public:
    struct Punto {
        double x, y;
    };
    // Plots as the control holds them: index = plot number.
    std::map<int, std::vector<Punto>> plot;
    std::map<int, double> cursori_x, cursori_y;
    std::map<int, std::string> annotazioni;
    std::vector<std::string> nomi_cursori{"Cursor_1", "Cursor_2"};
    std::vector<std::string> nomi_assi{"X_tempo", "Y_velocita"};
    std::map<int, std::string> didascalie;
    std::map<int, std::pair<double, double>> intervalli;
    bool e_visibile = true;
    int modo = 0;
    int cancellazioni = 0;
    int aggiornamenti = 0;
    // Whether appends keep their points; a benchmark turns it off to measure the analysis alone.
    bool conserva_punti = true;

    void accoda(int p, double y, double incremento_x) override;
    void accoda_riga(const float* valori, std::size_t n, double incremento_x) override;
    void cancella_dati() override;
    void aggiorna() override { ++aggiornamenti; }
    bool visibile() const override { return e_visibile; }
    int cursore_per_nome(const std::string& nome) const override;
    double cursore_x(int c) const override;
    double cursore_y(int c) const override;
    void imposta_cursore_x(int c, double x) override { cursori_x[c] = x; }
    int numero_assi() const override { return static_cast<int>(nomi_assi.size()); }
    int asse_per_nome(const std::string& nome) const override;
    std::string didascalia_asse(int a) const override;
    void imposta_didascalia_asse(int a, const std::string& t) override { didascalie[a] = t; }
    double minimo_asse(int a) const override;
    double massimo_asse(int a) const override;
    void imposta_intervallo_asse(int a, double mn, double mx) override { intervalli[a] = {mn, mx}; }
    void imposta_annotazione(int a, const std::string& t) override { annotazioni[a] = t; }
    bool esporta_stile(const std::string& percorso) const override;
    bool importa_stile(const std::string& percorso) override;
    int modo_puntatore() const override { return modo; }
    void imposta_modo_puntatore(int m) override { modo = m; }

private:
    std::map<int, double> ultima_x_;
    double x_riga_ = -1;
};

class SlideMemoria : public ISlide {
public:
    double v = 0, mn = 0, mx = 100;
    std::map<int, double> segni;
    std::map<int, int32_t> colori;
    double valore() const override { return v; }
    void imposta_valore(double x) override { v = x; }
    void imposta_intervallo(double a, double b) override { mn = a, mx = b; }
    double minimo() const override { return mn; }
    double massimo() const override { return mx; }
    void imposta_segno(int s, double x) override { segni[s] = x; }
    void imposta_colore_puntatore(int p, int32_t c) override { colori[p] = c; }
};

class NumericoMemoria : public INumerico {
public:
    double v = 0;
    int32_t c = 0;
    bool vis = true;
    int punti = 0;
    std::vector<int32_t> storia_colori; // every colour given, in order
    double valore() const override { return v; }
    void imposta_valore(double x) override { v = x; }
    int32_t colore() const override { return c; }
    void imposta_colore(int32_t x) override { c = x, storia_colori.push_back(x); }
    void imposta_visibile(bool x) override { vis = x; }
    void imposta_dimensione_carattere(int p) override { punti = p; }
};

class PulsanteMemoria : public IPulsante {
public:
    bool v = false;
    std::string etichetta, on, off, suggerimento;
    bool valore() const override { return v; }
    void imposta_valore(bool x) override;
    void imposta_testi(const std::string& e, const std::string& a, const std::string& b) override {
        etichetta = e, on = a, off = b;
    }
    void imposta_suggerimento(const std::string& t) override { suggerimento = t; }
};

class ColonnaMemoria : public IColonna {
public:
    std::vector<std::string> righe;
    int selezionata = -1;
    int prima = 0;
    int aggiornamenti = 0;
    void aggiungi(const std::string& t) override { righe.push_back(t); }
    void cancella() override { righe.clear(), selezionata = -1, prima = 0; }
    int numero_righe() const override { return static_cast<int>(righe.size()); }
    std::string testo(int r) const override;
    void imposta_testo(int r, const std::string& t) override;
    int riga_selezionata() const override { return selezionata; }
    void seleziona(int r) override;
    int prima_visibile() const override { return prima; }
    void imposta_prima_visibile(int r) override { prima = r; }
    void aggiorna() override { ++aggiornamenti; }
};

class SuonoMemoria : public ISuono {
public:
    int beep_suonati = 0;
    void beep() override { ++beep_suonati; }
};

class PannelloVbtMemoria : public IPannelloVbt {
public:
    std::vector<IndiciVbt> aggiunti; // since the last emptying
    std::vector<IndiciVbt> stop_dati;
    int cancellazioni = 0;
    void aggiungi(const IndiciVbt& f) override { aggiunti.push_back(f); }
    void cancella() override { aggiunti.clear(), ++cancellazioni; }
    void stop(const IndiciVbt& f) override { stop_dati.push_back(f); }
};

} // namespace vexa
