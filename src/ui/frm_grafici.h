// Frm_grafici: the trial on screen. The time graph with its two cursors and
// readout, the repetitions graph, the slide and the large readout of the last
// mean concentric velocity, and the values list: fifteen columns, one row per
// repetition, column 0 leading the selection.
#pragma once

#include "analysis/analisi.h"
#include "analysis/stato.h"
#include "analysis/servizi.h"
#include "grafico_widget.h"
#include "indicatori.h"
#include "lista_valori.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;

namespace vexa {

// The list as the analysis writes into it.
class ColonnaLista : public IColonna {
public:
    explicit ColonnaLista(ListaValori* lista) : l_(lista) {}
    void aggiungi(const std::string& testo) override;
    void cancella() override;
    int numero_righe() const override;
    std::string testo(int riga) const override;
    void imposta_testo(int riga, const std::string& testo) override;
    int riga_selezionata() const override;
    void seleziona(int riga) override;
    int prima_visibile() const override;
    void imposta_prima_visibile(int riga) override;
    void aggiorna() override {}

private:
    ListaValori* l_;
};

// Title over the values list: three words standing over the first two
// columns, the concentric columns and the eccentric ones.
std::string titolo_valori();

class Frm_grafici : public QWidget {
    Q_OBJECT
public:
    // `cartella_programma`: where the graph style files live.
    Frm_grafici(Stato& stato, IServizi& servizi, const QString& cartella_programma, ISuono& suono,
                QWidget* parent = nullptr);
    ~Frm_grafici() override;

    std::array<GraficoWidget*, 2> Grafico{};
    SlideWidget* Slide = nullptr;
    NumericoWidget* Num_vel = nullptr;
    std::array<ListaValori*, NUMERO_COLONNE> Lst_valori{};
    std::array<QLineEdit*, NUMERO_COLONNE> Txt_dettaglio{};
    QLabel* Lbl_valori = nullptr;
    QLabel* Lbl_dettaglio = nullptr;

    // The controls as the analysis and the trial reset see them.
    VistaProva& vista() { return vista_; }

    void riposiziona();
    void ripristina_grafico();
    void Allinea_liste(int index);

    void Grafico_CursorChange(int indice, int cursore, double x, double y);
    void Grafico_Click(int indice);
    void Lst_valori_MouseDown(int index, Qt::MouseButton pulsante);
    void Lst_valori_KeyUp(int index);
    void Lst_valori_DblClick(int index);

    // The note input box: the text typed, or nothing when cancelled.
    std::function<std::optional<std::string>()> chiedi_nota;
    // A click on a graph opens the graph properties editor on it.
    std::function<void(int indice)> su_apri_editor;
    // Decimal separator of the cursor readout; the system's by default.
    char separatore = '.';

    QString percorso_stile(int indice) const;

private:
    void scorri_insieme(int origine, int valore);

    Stato& s_;
    IServizi& servizi_;
    QString cartella_;
    std::array<std::unique_ptr<ColonnaLista>, NUMERO_COLONNE> colonne_;
    VistaProva vista_;
    bool scorrendo_ = false;
};

} // namespace vexa
