// frm_edit_grafici: the graph properties editor. The user picks a graph of the
// trial window and one of its axes, changes the axis range or the graph's
// pointer mode; every applied range is saved at once in the graph's style
// file, so "Cancel" goes back to what was last saved. Update_graph is also how
// the athlete settings reach the velocity scales and the alarm marks.
#pragma once

#include "analysis/stato.h"

#include <QDoubleSpinBox>
#include <QSlider>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace vexa {

class Frm_grafici;
class GraficoWidget;

// A horizontal slide over whole positions, each with a label under it (an
// empty label leaves its position unlabelled), and a caption above.
class ScalaEtichettata : public QWidget {
    Q_OBJECT
public:
    explicit ScalaEtichettata(QWidget* parent = nullptr);

    QString didascalia() const;
    void imposta_didascalia(const QString& testo);
    // Positions minimo..massimo; etichette[i] labels position minimo + i. The
    // value is kept if still in range, otherwise clamped, without raising
    // su_cambio_valore.
    void imposta_posizioni(int minimo, int massimo, const QStringList& etichette);
    QStringList etichette() const;
    int minimo() const;
    int massimo() const;

    int valore() const;
    // Moves the pointer as the user would: su_cambio_valore follows if the value changes.
    void imposta_valore(int v);
    // Moves the pointer without raising anything.
    void imposta_valore_silenzioso(int v);

    QSlider* cursore() const { return slider_; }
    std::function<void(int)> su_cambio_valore;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void aggiorna_spazio();
    QLabel* didascalia_;
    QSlider* slider_;
    QStringList etichette_;
    bool silenzio_ = false;
};

// A number typed in the user's own notation (the system's decimal separator),
// over a range wide enough for any axis, shown without padding zeros.
class CampoNumerico : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit CampoNumerico(QWidget* parent = nullptr);

protected:
    QString textFromValue(double v) const override;
};

class frm_edit_grafici : public QWidget {
    Q_OBJECT
public:
    // A tool window of `parent` (the main window): it stays above it and its
    // panels while open.
    frm_edit_grafici(Stato& s, Frm_grafici& g, QWidget* parent = nullptr);

    ScalaEtichettata* sldTicks = nullptr;
    ScalaEtichettata* sldSelectAxis = nullptr;
    QLabel* Lbl_asse = nullptr;
    CampoNumerico* AxisMin = nullptr;
    CampoNumerico* AxisMax = nullptr;
    QPushButton* UpdateAxis = nullptr;
    QPushButton* Cmd_Undo = nullptr;
    ScalaEtichettata* GraphMode = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;

    // Makes graph `quale` (0 or 1) the one being edited, on its axis 1.
    void Sel_Grafico(int16_t quale);
    // Applies min..max to an axis and saves the graph's style file; graph
    // 0's velocity axis also carries the velocity scales and the alarm marks.
    // False when nothing was applied (no such graph or axis, or max not above min).
    bool Update_graph(int quale_grafico, int Quale_asse, double min, double max);
    int16_t grafico_scelto() const { return quale_; }

    // What a click on a graph does: show the editor in front, on that graph.
    void apri(int indice);

    void sldTicks_PointerValueChanged(int valore);
    void sldSelectAxis_PointerValueChanged(int valore);
    void UpdateAxis_Click();
    void Cmd_Undo_Click();
    void GraphMode_PointerValueChanged(int posizione);

    // Pointer mode set by a GraphMode position; -1 for a position that sets none.
    static int modo_di_posizione(int posizione);

    // The user's messages; a modal box by default, replaced by tests.
    std::function<void(const QString&)> mostra_messaggio;

protected:
    void showEvent(QShowEvent* e) override;

private:
    GraficoWidget* grafico(int indice) const;
    void mostra_asse(int asse);
    void allinea_modo();

    Stato& s_;
    Frm_grafici& g_;
    int16_t quale_ = 0;
};

} // namespace vexa
