// What the analysis and the windows need of the graph and indicator controls.
// Pure interfaces: the analysis includes this header and never a widget one, so
// it builds and runs without a display. Plots, cursors, axes and annotations are
// numbered from 1, as the controls have always counted them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vexa {

class IGrafico {
public:
    virtual ~IGrafico() = default;

    // Appends y to plot `plot` at the plot's last x plus `incremento_x`.
    virtual void accoda(int plot, double y, double incremento_x) = 0;
    // Appends valori[i] to plot i + 1, all at the next x (the one-plot-per-row option off).
    virtual void accoda_riga(const float* valori, std::size_t n, double incremento_x) = 0;
    virtual void cancella_dati() = 0;
    virtual void aggiorna() = 0;
    virtual bool visibile() const = 0;

    // Cursors by number (from 1); `cursore_per_nome` gives 0 for an unknown name.
    virtual int cursore_per_nome(const std::string& nome) const = 0;
    virtual double cursore_x(int cursore) const = 0;
    virtual double cursore_y(int cursore) const = 0;
    virtual void imposta_cursore_x(int cursore, double x) = 0;

    // Axes by number (from 1); `asse_per_nome` gives 0 for an unknown name.
    virtual int numero_assi() const = 0;
    virtual int asse_per_nome(const std::string& nome) const = 0;
    virtual std::string didascalia_asse(int asse) const = 0;
    virtual void imposta_didascalia_asse(int asse, const std::string& testo) = 0;
    virtual double minimo_asse(int asse) const = 0;
    virtual double massimo_asse(int asse) const = 0;
    virtual void imposta_intervallo_asse(int asse, double minimo, double massimo) = 0;

    virtual void imposta_annotazione(int annotazione, const std::string& testo) = 0;

    // Whole appearance to and from a named file; false when the file cannot be used.
    virtual bool esporta_stile(const std::string& percorso) const = 0;
    virtual bool importa_stile(const std::string& percorso) = 0;
    // Why the last import refused its file, in the user's language ("" after a good one).
    virtual std::string ultimo_errore_stile() const { return {}; }

    virtual int modo_puntatore() const = 0;
    virtual void imposta_modo_puntatore(int modo) = 0;

    // graph index, cursor, x, y
    std::function<void(int, int, double, double)> su_cambio_cursore;
    // graph index
    std::function<void(int)> su_click;

    // Convenience for the named cursors the analysis moves.
    void sposta_cursore(const std::string& nome, double x) {
        if (int c = cursore_per_nome(nome); c > 0) imposta_cursore_x(c, x);
    }
};

class ISlide {
public:
    virtual ~ISlide() = default;
    virtual double valore() const = 0;
    virtual void imposta_valore(double v) = 0;
    virtual void imposta_intervallo(double minimo, double massimo) = 0;
    virtual double minimo() const = 0;
    virtual double massimo() const = 0;
    virtual void imposta_segno(int segno, double v) = 0; // value marks 1 and 2
    virtual void imposta_colore_puntatore(int puntatore, int32_t colore) = 0;
    std::function<void(double)> su_cambio_valore;
};

class INumerico {
public:
    virtual ~INumerico() = default;
    virtual double valore() const = 0;
    virtual void imposta_valore(double v) = 0;
    virtual int32_t colore() const = 0;
    virtual void imposta_colore(int32_t colore) = 0;
    virtual void imposta_visibile(bool visibile) = 0;
    virtual void imposta_dimensione_carattere(int punti) = 0;
};

class IPulsante {
public:
    virtual ~IPulsante() = default;
    virtual bool valore() const = 0;
    // Raises su_cambio_valore when the value really changes, as a user's switch would.
    virtual void imposta_valore(bool v) = 0;
    virtual void imposta_testi(const std::string& etichetta, const std::string& testo_on,
                               const std::string& testo_off) = 0;
    virtual void imposta_suggerimento(const std::string& testo) = 0;
    std::function<void(bool)> su_cambio_valore;
    std::function<void()> su_click;
    std::function<void(int)> su_mouse; // button code, 2 = right
};

// One column of the values list: a list box of texts with one selected row.
class IColonna {
public:
    virtual ~IColonna() = default;
    virtual void aggiungi(const std::string& testo) = 0;
    virtual void cancella() = 0;
    virtual int numero_righe() const = 0;
    virtual std::string testo(int riga) const = 0;
    virtual void imposta_testo(int riga, const std::string& testo) = 0;
    virtual int riga_selezionata() const = 0; // -1 when none
    virtual void seleziona(int riga) = 0;
    virtual int prima_visibile() const = 0;
    virtual void imposta_prima_visibile(int riga) = 0;
    virtual void aggiorna() = 0;
};

inline constexpr int NUMERO_COLONNE = 15;

// The system beep, behind an interface so tests can count beeps.
class ISuono {
public:
    virtual ~ISuono() = default;
    virtual void beep() = 0;
};

} // namespace vexa
