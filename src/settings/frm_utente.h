// Frm_utente, "Impostazione dati esercizio": where the user picks squad,
// athlete and exercise parameters from lists of earlier entries, adds and
// removes entries, and confirms. A new window is built for each opening; the
// owner drops it once `alla_chiusura` has run.
#pragma once

#include "analysis/stato.h"
#include "archivio_impostazioni.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vexa {

inline constexpr int N_RIGHE_UTENTE = 9;

inline constexpr const char* MSG_SOLO_POSITIVI = "Only numeric positve value can be entered!";
inline constexpr const char* TITOLO_UTENTE = "Impostazione dati esercizio";

class Frm_utente : public QWidget {
    Q_OBJECT
public:
    Frm_utente(Stato& s, const QString& cartella_programma, QWidget* parent = nullptr);

    std::array<QLabel*, N_RIGHE_UTENTE> Lbl_utente{};
    std::array<QComboBox*, N_RIGHE_UTENTE> txt_utente{};
    std::array<QPushButton*, N_RIGHE_UTENTE> Cmd_add{};
    std::array<QPushButton*, N_RIGHE_UTENTE> Cmd_elimina{};
    QLineEdit* Txt_nota = nullptr;
    QPushButton* Cmd_ok = nullptr;
    QPushButton* Cmd_annulla = nullptr;
    // The velocity-loss threshold of the chosen athlete in the chosen
    // exercise, beside the buttons: the rows above stay as they always were.
    QLabel* Lbl_soglia = nullptr;
    QSpinBox* Txt_soglia = nullptr;

    // While true the lists' selection reactions do nothing.
    bool aggiornamento_in_corso = false;

    // The graph editor's Update_graph; OK sets the velocity scale through it.
    std::function<void(int grafico, int asse, double minimo, double massimo)> update_graph;
    // The header panel's refresh.
    std::function<void()> aggiorna_intestazione;
    // The prompt for a new entry; nothing when cancelled. Unset: an input dialog.
    std::function<std::optional<QString>(const QString& messaggio)> chiedi_valore;
    // A message with an OK button. Unset: a message box.
    std::function<void(const QString& testo)> mostra_messaggio;
    // Runs once when the window closes (OK, Annulla or the close box). The
    // window must not be deleted from inside it: use deleteLater().
    std::function<void()> alla_chiusura;

    // Building: Prepara_finestra, then Aggiorna_campi(true). Runs once, at
    // the first show or when called; the hooks must be set before.
    void Form_Load();

    void Prepara_finestra();
    void Aggiorna_campi(bool completa);
    void Sort_numeric_combo(QComboBox* lista);
    void Elenca_atleti();
    // "pesi.ini" and the athlete's file; false, after telling the user why,
    // when a file could not be written.
    bool Salva_File_Config(const QString& filename);

    void Cmd_add_Click(int index);
    void Cmd_elimina_Click(int index);
    void Cmd_ok_Click();
    void Cmd_annulla_Click();
    void txt_utente_Click(int index);

    ArchivioImpostazioni& archivio() { return archivio_; }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void messaggio(const QString& testo);
    void mostra_soglia();
    void riempi_in_silenzio(int riga, const QStringList& voci);
    void seleziona_in_silenzio(int riga, int indice);
    ListeValori liste() const;

    Stato& s_;
    ArchivioImpostazioni archivio_;
    bool caricata_ = false;
    bool chiusa_ = false;
    bool confermata_ = false;
    // What a selection changes before OK, as it was when the window opened.
    struct Scelta {
        std::string squadra;
        std::array<int32_t, 11> posizioni{};
        std::string cartella_atleta;
    } all_apertura_;
};

} // namespace vexa
