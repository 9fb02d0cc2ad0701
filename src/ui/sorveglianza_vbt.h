// The velocity-training figures on the working screen while a set runs: it
// hears from the analysis each listed repetition and the stop alert, and
// watches the clock for a bar held at the top. The analysis lists a
// repetition only when the record after its top arrives; a bar held still or
// racked sends none, so once the step under way could only end below 15 mm/s
// the repetition is shown at once, marked provisional, on the slide, the large
// readout and the "Indici VBT" window. A stop with such a repetition offers it
// in the window as the last of the set, not listed.
#pragma once

#include "analysis/analisi.h"
#include "frm_vbt.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class QTimer;

namespace vexa {

class Frm_grafici;

class SorveglianzaVbt : public QObject, public IPannelloVbt {
    Q_OBJECT
public:
    // `tono_stop`: the alert's tone, one the eccentric beep cannot be taken for.
    SorveglianzaVbt(Stato& stato, Analizzatore& analisi, Frm_grafici& grafici, ISuono& tono_stop,
                    QObject* parent = nullptr);

    void aggiungi(const IndiciVbt& indici) override;
    void cancella() override;
    void stop(const IndiciVbt& indici) override;

    // The window to keep up to date (none: nullptr). It follows the values
    // list's selection and leads it.
    void collega(Frm_vbt* finestra);
    // An acquisition has started: watched until it stops.
    void acquisizione_avviata();
    // One look, what the timer does every few milliseconds.
    void controlla();

    // What follows the listed repetitions now.
    const std::optional<IndiciVbt>& ultima() const { return ultima_; }
    UltimaVbt stato_ultima() const { return tipo_; }
    // A monotonic clock in ms; a QElapsedTimer unless a test sets one.
    std::function<qint64()> orologio_ms;
    // The serial link hands records over a block behind the board: bytes it
    // holds back, and the hand-over of the held block once the stream has
    // paused. Unset: nothing is held back.
    std::function<int()> byte_in_attesa;
    std::function<void()> consegna_in_attesa;

private:
    void mostra_provvisoria(const IndiciVbt& f);
    void togli_provvisoria(bool ripristina);
    void fine_acquisizione();
    void aggiorna_finestra();

    Stato& s_;
    Analizzatore& a_;
    Frm_grafici& g_;
    ISuono& tono_;
    QPointer<Frm_vbt> finestra_;
    QTimer* timer_ = nullptr;
    uint64_t campioni_ = 0;
    int in_attesa_ = 0;
    qint64 ultimo_record_ms_ = 0;
    std::optional<IndiciVbt> ultima_;
    UltimaVbt tipo_ = UltimaVbt::Nessuna;
    // What the slide and the readout showed before the provisional repetition.
    struct Prima {
        double slide, numero;
        int32_t colore_slide, colore_numero;
    } prima_{};
};

} // namespace vexa
