// Frm_vbt, "Indici VBT": the velocity-training figures of the set beside the
// working screen. The set's loss in a readout read from the rack, a bar of
// mean concentric velocity per repetition against the line where the set
// stops, and a row of figures per repetition that follows the values list.
#pragma once

#include "analysis/stato.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QCloseEvent;
class QTableWidget;

namespace vexa {

// What stands after the listed repetitions: nothing, the repetition held at
// its top (shown at once, listed when the next record comes), or the one the
// acquisition was stopped on, which will never be listed.
enum class UltimaVbt { Nessuna, Provvisoria, NonElencata };

// One bar of mean concentric velocity per repetition, red from the stop on,
// and the line at the best less the threshold.
class GraficoVbt : public QWidget {
    Q_OBJECT
public:
    explicit GraficoVbt(QWidget* parent = nullptr);
    // `ultima`: how the last bar stands when `extra` is set.
    void imposta(std::vector<IndiciVbt> barre, UltimaVbt ultima, float migliore, float soglia, int selezionata);
    void seleziona(int barra) {
        selezionata_ = barra;
        update();
    }
    // The velocity of the stop line; 0 without one.
    double linea_stop() const;
    std::function<void(int barra)> su_click;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QRectF area_barre() const;
    double massimo_scala() const;
    std::vector<IndiciVbt> barre_;
    UltimaVbt ultima_ = UltimaVbt::Nessuna;
    float migliore_ = 0, soglia_ = 0;
    int selezionata_ = -1;
};

// The set's velocity loss, large; "STOP" on red once the threshold is reached.
class LetturaPerdita : public QWidget {
    Q_OBJECT
public:
    explicit LetturaPerdita(QWidget* parent = nullptr);
    // `perdita` < 0: no repetition yet.
    void imposta(double perdita, bool stop, bool provvisoria, char separatore);
    QString testo() const { return testo_; }
    bool stop() const { return stop_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString testo_;
    bool stop_ = false, provvisoria_ = false;
};

class Frm_vbt : public QWidget {
    Q_OBJECT
public:
    explicit Frm_vbt(const Stato& stato, QWidget* parent = nullptr);

    LetturaPerdita* Lettura = nullptr;
    GraficoVbt* Grafico = nullptr;
    QTableWidget* Tabella = nullptr;

    // Everything again from the listed figures in the state, and the
    // repetition after them if there is one.
    void aggiorna(const std::optional<IndiciVbt>& extra = std::nullopt, UltimaVbt ultima = UltimaVbt::Nessuna);
    // Follows the values list: row `riga` (-1: none), without telling it back.
    void seleziona(int riga);
    int riga_selezionata() const;

    // The user picked a listed repetition (row from 0).
    std::function<void(int riga)> su_selezione;
    // The user closed the window (not the program closing it).
    std::function<void()> su_chiusura;
    char separatore = '.';

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void scegli(int riga);
    const Stato& s_;
    int elencate_ = 0; // listed rows in the table
    bool extra_ = false;
    bool seguendo_ = false;
};

} // namespace vexa
