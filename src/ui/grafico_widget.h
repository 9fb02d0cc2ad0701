// The graph control on QCustomPlot. Plots, axes, cursors and annotations are
// numbered from 1, axes and cursors also have names, as the trial window and
// the graph properties editor address them.
//
// Live data: `accoda` only stores the point; a display clock (about 60 Hz)
// moves what arrived into the plots and redraws once, so a fast board costs
// one redraw per frame, never one per record. The time graph keeps a bounded
// history (see `limite_storico`): the whole trial stays in the recorded
// samples, the graph only shows it. A pixel column cannot show more than a
// curve's lowest and highest point in it: the time graph draws a dense curve
// from its envelope (see `imposta_inviluppi`), a few thousand points whatever
// the curve holds, so a frame costs the same at any board rate.
#pragma once

#include "analysis/controlli.h"
#include "storico_grafico.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QCustomPlot;

namespace vexa {

class GraficoWidget : public QWidget, public IGrafico {
    Q_OBJECT
public:
    // The two graphs of the trial window, with their design-time axes, plots,
    // captions and cursors.
    enum class Tipo { Tempo, Ripetizioni };

    GraficoWidget(int indice, Tipo tipo, QWidget* parent = nullptr);
    ~GraficoWidget() override;

    int indice() const;
    Tipo tipo() const;

    // --- IGrafico
    void accoda(int plot, double y, double incremento_x) override;
    void accoda_riga(const float* valori, std::size_t n, double incremento_x) override;
    void cancella_dati() override;
    // Moves what is pending into the plots and redraws (queued, at most once per frame).
    void aggiorna() override;
    // The control's own visible flag (not whether a parent is shown).
    bool visibile() const override;
    int cursore_per_nome(const std::string& nome) const override;
    double cursore_x(int cursore) const override;
    double cursore_y(int cursore) const override;
    void imposta_cursore_x(int cursore, double x) override;
    int numero_assi() const override;
    int asse_per_nome(const std::string& nome) const override;
    std::string didascalia_asse(int asse) const override;
    void imposta_didascalia_asse(int asse, const std::string& testo) override;
    double minimo_asse(int asse) const override;
    double massimo_asse(int asse) const override;
    void imposta_intervallo_asse(int asse, double minimo, double massimo) override;
    void imposta_annotazione(int annotazione, const std::string& testo) override;
    bool esporta_stile(const std::string& percorso) const override;
    // A broken file changes nothing; ultimo_errore_stile() then says why, in Italian.
    bool importa_stile(const std::string& percorso) override;
    std::string ultimo_errore_stile() const override;
    int modo_puntatore() const override;
    void imposta_modo_puntatore(int modo) override;

    // --- beyond the interface
    // Places a cursor at (x, y) as a user's drag would, raising su_cambio_cursore.
    void trascina_cursore(int cursore, double x, double y);
    std::string testo_annotazione(int annotazione) const;
    // Points of plot `plot` now in the graph (after the pending ones were moved in).
    std::vector<std::pair<double, double>> punti(int plot) const;
    // Points stored but not yet moved in by the display clock.
    std::size_t punti_in_attesa() const;
    // Moves the pending points in now, without waiting for the display clock.
    void svuota_in_attesa();
    // One tick of the display clock: pending points in, one redraw if
    // anything changed. For a caller keeping its own time, the benchmark.
    void fotogramma();
    // The display clock's period now: 16 ms, longer while a frame costs more
    // than a small share of the UI thread.
    int intervallo_fotogramma_ms() const;
    // Redraws done so far (for tests and the benchmark).
    long ridisegni() const;
    // Points taken by accoda and accoda_riga so far, cleared data included.
    long punti_accodati() const;

    // History of the time graph: the newest `punti_pieni` points of each plot
    // at full resolution; older points are thinned to min and max per
    // `secondi_per_colonna` of x, and thinned history older than
    // `secondi_storico` is dropped.
    using LimiteStorico = vexa::LimiteStorico;
    void imposta_limite_storico(const LimiteStorico& l);
    LimiteStorico limite_storico() const;

    // On the time graph (the default), a curve holding many points per pixel
    // column is drawn from its envelope: per column its first, lowest, highest
    // and last point. Off, every point is handed to the plot, as for a
    // comparison. Cursors, zoom and files always use the points themselves.
    void imposta_inviluppi(bool si);
    bool inviluppi() const;

    // While true (the default for the time graph), the x axis follows the newest
    // data, keeping its width; a user's zoom or pan turns it off, the next
    // cancella_dati turns it on again.
    bool segue_dati() const;
    void imposta_segue_dati(bool segue);

    QCustomPlot* plot_qcp() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace vexa
