// The slide, the numeric display and the switch-buttons of the working screen,
// painted with QPainter. Each keeps its own value and raises its events the way
// the trial window and the command panel rely on.
#pragma once

#include "analysis/controlli.h"

#include <QIcon>
#include <QString>
#include <QWidget>

class QTimer;

namespace vexa {

// A vertical velocity scale with a pointer (filled in the verdict's colour),
// two value marks for the alarm limits and a caption.
class SlideWidget : public QWidget, public ISlide {
    Q_OBJECT
public:
    explicit SlideWidget(QWidget* parent = nullptr);

    double valore() const override;
    // Clamped to the scale for drawing; the value itself is kept as given.
    void imposta_valore(double v) override;
    void imposta_intervallo(double minimo, double massimo) override;
    double minimo() const override;
    double massimo() const override;
    void imposta_segno(int segno, double v) override; // marks 1 and 2; others ignored
    void imposta_colore_puntatore(int puntatore, int32_t colore) override; // pointer 1 only

    double segno(int segno) const;            // 0 for an unknown mark
    int32_t colore_puntatore(int puntatore) const;
    QString didascalia() const;
    void imposta_didascalia(const QString& testo);
    // A value not yet listed (a repetition held at its top): the pointer is
    // hatched instead of filled.
    void imposta_provvisorio(bool provvisorio);
    bool provvisorio() const { return provvisorio_; }
    // The set's velocity loss reached the athlete's threshold: "STOP" in red
    // over the caption and a red frame, until the trial is emptied.
    void imposta_stop(bool stop);
    bool stop() const { return stop_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    // A drag on the scale moves the pointer and raises su_cambio_valore (the
    // editor's slides); the trial window's slide is display-only.
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;

public:
    bool interattivo = false;

private:
    void da_mouse(int y);
    double valore_ = 0, minimo_ = 0, massimo_ = 1000;
    double segni_[2] = {0, 0};
    int32_t colore_ = 65280;
    QString didascalia_;
    bool provvisorio_ = false, stop_ = false;
};

// A large readout of one number, in the colour of the verdict, readable from
// across the room. Shows the value with no decimals.
class NumericoWidget : public QWidget, public INumerico {
    Q_OBJECT
public:
    explicit NumericoWidget(QWidget* parent = nullptr);

    double valore() const override;
    void imposta_valore(double v) override;
    int32_t colore() const override;
    void imposta_colore(int32_t colore) override;
    void imposta_visibile(bool visibile) override;
    // The requested size; the digits are fitted to the widget, never larger than this asks.
    void imposta_dimensione_carattere(int punti) override;
    int dimensione_carattere() const;
    // The text shown ("0" pattern, half away from zero): 312.5 shows "313".
    QString testo() const;
    // A value not yet listed: the digits dimmed, "provvisoria" under them.
    void imposta_provvisorio(bool provvisorio);
    bool provvisorio() const { return provvisorio_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double valore_ = 0;
    int32_t colore_ = 65280;
    int punti_ = 120;
    bool provvisorio_ = false;
};

// A switch-button: a label, an on and an off text shown by value, a tool tip,
// and the value-changed, click and mouse events.
class PulsanteWidget : public QWidget, public IPulsante {
    Q_OBJECT
public:
    enum class Aspetto {
        LampadaLampeggiante, // circular lamp that blinks while on (Button_start)
        Levetta,             // vertical toggle (Button_Memo)
        Lampada,             // circular lamp (Button_Segnale)
        Immagine,            // picture button
    };
    enum class Azione {
        Interruttore, // a click toggles the value
        Momentaneo,   // on while the left button is held, off on release
    };

    PulsanteWidget(Aspetto aspetto, Azione azione, QWidget* parent = nullptr);

    bool valore() const override;
    // Raises su_cambio_valore when the value really changes.
    void imposta_valore(bool v) override;
    // Changes the value without raising anything: the program putting the
    // switch in line with the board, not a user's command.
    void imposta_valore_silenzioso(bool v);
    void imposta_testi(const std::string& etichetta, const std::string& testo_on,
                       const std::string& testo_off) override;
    void imposta_suggerimento(const std::string& testo) override;
    void imposta_immagine(const QIcon& immagine);

    QString etichetta() const;
    QString testo_on() const;
    QString testo_off() const;
    // The on or off text the button shows now ("" when it has none).
    QString testo_mostrato() const;
    Aspetto aspetto() const;
    // Blinking lamp: whether the lamp is lit at this moment.
    bool lampada_accesa() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override; // space and enter act as a left click
    void changeEvent(QEvent*) override;       // disabling releases a held button

private:
    void cambia(bool v, bool evento);
    Aspetto aspetto_;
    Azione azione_;
    bool valore_ = false;
    bool premuto_ = false;
    bool fase_lampeggio_ = true;
    QString etichetta_, on_, off_;
    QIcon immagine_;
    QTimer* lampeggio_ = nullptr;
};

} // namespace vexa
