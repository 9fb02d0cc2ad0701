// Frm_main: the main window. It holds the header, the graph window and the
// command panel stacked top to bottom, carries the menus, and lays the panels
// out again whenever it changes size. It wires nothing itself: the program
// object connects the panels to the state and the links, and hears the menu
// commands as signals.
#pragma once

#include "analysis/stato.h"
#include "analysis/servizi.h"
#include "ui/frm_cmd.h"
#include "ui/frm_grafici.h"
#include "ui/frm_intestazione.h"

#include <QMainWindow>

class QAction;
class QMenu;

namespace vexa {

class Frm_main : public QMainWindow {
    Q_OBJECT
public:
    Frm_main(Stato& stato, IServizi& servizi, const QString& cartella_programma, ISuono& suono,
             QWidget* parent = nullptr);
    ~Frm_main() override;

    Frm_intestazione* intestazione() const { return intestazione_; }
    Frm_grafici* grafici() const { return grafici_; }
    Frm_cmd* cmd() const { return cmd_; }

    QMenu* mnuFile = nullptr;
    QAction* mnuFileApri = nullptr;
    QAction* mnuFileSalva_parziale = nullptr;
    QAction* mnuFileSalva_intero = nullptr;
    QAction* mnuFileEsci = nullptr;
    QMenu* mnuImpostazioni = nullptr;
    QAction* mnuImpostazioniConfigura = nullptr;
    QAction* mnuImpostazioniParametri_Porta = nullptr;
    QMenu* mnuVisualizza = nullptr;
    QAction* mnuVisualizzaRipetizioni = nullptr;
    QAction* mnuVisualizzaTempo = nullptr;
    QAction* mnuVisualizzaGrafico = nullptr;
    QAction* mnuVisualizzaIndici_vbt = nullptr;
    QMenu* mnuStrumenti = nullptr;
    QAction* mnuStrumentiCronometro = nullptr;
    QAction* mnuStrumentiCalcolatrice = nullptr;
    QAction* mnuStrumentiStorico = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpInformazioni = nullptr;

    // Lays the three panels out for the current inner size (and each of them its controls).
    void riposiziona_pannelli();
    // Moves the menu's check mark to `vista`.
    void segna_vista(Vista vista);

signals:
    // What the user asked for; the program, which owns the windows, answers.
    // The main window never calls into it.
    void apri();                // "Apri..." (never during an acquisition)
    void salva_dati();          // "Salva dati con nome..."
    void salva_file_intero();   // "Salva file intero con nome..."
    void mostra_impostazioni(); // "Configura..." and "CONFIGURA"
    void mostra_porta();        // "Parametri Porta...."
    void mostra_cronometro();   // "Cronometro" and "CRONO"
    void mostra_storico();      // "Storico..."
    void mostra_indici_vbt();   // "Indici VBT"
    // The window is closing: sent first, before recording is switched off, so
    // a running acquisition is stopped and saved with the window still whole.
    void prima_di_chiudere();
    // The window has closed: the other windows go, in order.
    void chiusa();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    Stato& s_;
    QWidget* centro_ = nullptr;
    Frm_intestazione* intestazione_ = nullptr;
    Frm_grafici* grafici_ = nullptr;
    Frm_cmd* cmd_ = nullptr;
    bool chiusa_ = false;
};

} // namespace vexa
