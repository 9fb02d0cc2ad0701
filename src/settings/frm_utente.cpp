#include "frm_utente.h"

#include "analysis/analisi.h"
#include "analysis/formato.h"
#include "soglia_perdita.h"
#include "testo_file.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace vexa {

namespace {

// The captions were laid out for a narrow face; where the installed one is
// wider, a caption is set a point smaller at a time until its wrapped lines
// fit the row, rather than losing its last word below the label.
void adatta_didascalia(QLabel* l) {
    QFont f = l->font();
    for (int passi = 0; passi < 4; ++passi) {
        const QRect r = QFontMetrics(f).boundingRect(QRect(0, 0, l->width(), 10000), Qt::TextWordWrap, l->text());
        if (r.height() <= l->height() && r.width() <= l->width()) break;
        if (f.pointSizeF() <= 6) break;
        f.setPointSizeF(f.pointSizeF() - 1);
    }
    l->setFont(f);
}

// The title of the program's message boxes.
constexpr const char* TITOLO_MESSAGGI = "Vexa Meter";

// The layout is drawn in twips, 15 to a pixel.
int px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

constexpr int LBL_SINISTRA = 720, LBL_LARGHEZZA = 1692;
constexpr int LISTA_SINISTRA = 3960, LISTA_LARGHEZZA = 1932, LISTA_ALTEZZA = 420, LISTA_CIMA = 360;
constexpr int INTERVALLO = 150; // between a list and the next, and extra height of a label
constexpr int NUOVO_SINISTRA = 6120, NUOVO_LARGHEZZA = 972;
constexpr int ELIMINA_SINISTRA = 7320, ELIMINA_LARGHEZZA = 975;
constexpr int OK_SINISTRA = 5280, ANNULLA_SINISTRA = 6960, PULSANTI_CIMA = 5640;
constexpr int PULSANTI_LARGHEZZA = 1332, PULSANTI_ALTEZZA = 612;
constexpr int FINESTRA_LARGHEZZA = ELIMINA_SINISTRA + ELIMINA_LARGHEZZA + LBL_SINISTRA;
constexpr int FINESTRA_ALTEZZA = PULSANTI_CIMA + PULSANTI_ALTEZZA + 480;

constexpr int RIGA_SQUADRA = 0, RIGA_ATLETA = 1, RIGA_ESERCIZIO = 3, RIGA_NOTA = 8;

bool numerica(int riga) { return riga == 2 || riga == 4 || riga == 5 || riga == 6 || riga == 7; }

struct Riga {
    const char* didascalia;
    const char* suggerimento; // nullptr: none
};

// Blanks inside the captions line the units up, as users have always seen them.
const Riga RIGHE[N_RIGHE_UTENTE] = {
    {"Squadra", nullptr},
    {"Identificativo Atleta", "Inserire nome e cognome"},
    {"Carico             (Kg)", "Inserire carico sollevato dall'atleta"},
    {"Identificativo Esercizio", "Inserire identificativo del tipo di esercizio"},
    {"Velocità Massima (mm/s)",
     "Inserire valore della massima velocità, rispetto al carico di cui sapra, con cui potrà essere svolto "
     "l'esercizio "},
    {"Limite Superiore   (%)",
     "Inserire valore percentuale della Vmax al di sopra del quale si attiverà un allarme"},
    {"Limite Inferiore   (%)",
     "Inserire valore percentuale della Vmax al di sotto del quale si attiverà un allarme"},
    {"Ampiezza minima    (mm)", "Inserire valore di spostamento ammissibile per considerare valido l'esercizio"},
    {"Nota", nullptr},
};
constexpr const char* SUGGERIMENTO_NOTA = "Inserire eventuale nota generale";

float valore(const QComboBox* lista) { return static_cast<float>(valore_iniziale(lista->currentText().toStdString())); }

} // namespace

Frm_utente::Frm_utente(Stato& s, const QString& cartella_programma, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), archivio_(s, cartella_programma) {
    setWindowTitle(QString::fromUtf8(TITOLO_UTENTE));
    setFixedSize(px(FINESTRA_LARGHEZZA), px(FINESTRA_ALTEZZA));

    QFont carattere_etichette(QStringLiteral("Arial"));
    carattere_etichette.setPointSizeF(9.75);
    carattere_etichette.setBold(true);
    QFont carattere_liste(QStringLiteral("MS Sans Serif"));
    carattere_liste.setPointSizeF(12);

    for (int i = 0; i < N_RIGHE_UTENTE; ++i) {
        Lbl_utente[i] = new QLabel(this);
        Lbl_utente[i]->setObjectName(QStringLiteral("Lbl_utente_%1").arg(i));
        Lbl_utente[i]->setFont(carattere_etichette);
        // Captions wider than the label go on to a second line, as the row leaves room for.
        Lbl_utente[i]->setWordWrap(true);
        txt_utente[i] = new QComboBox(this);
        txt_utente[i]->setObjectName(QStringLiteral("txt_utente_%1").arg(i));
        txt_utente[i]->setEditable(false);
        txt_utente[i]->setFont(carattere_liste);
        Cmd_add[i] = new QPushButton(QStringLiteral("Nuovo"), this);
        Cmd_add[i]->setObjectName(QStringLiteral("Cmd_add_%1").arg(i));
        Cmd_elimina[i] = new QPushButton(QStringLiteral("Elimina"), this);
        Cmd_elimina[i]->setObjectName(QStringLiteral("Cmd_elimina_%1").arg(i));

        connect(txt_utente[i], &QComboBox::currentIndexChanged, this, [this, i] { txt_utente_Click(i); });
        connect(Cmd_add[i], &QPushButton::clicked, this, [this, i] { Cmd_add_Click(i); });
        connect(Cmd_elimina[i], &QPushButton::clicked, this, [this, i] { Cmd_elimina_Click(i); });
    }
    Txt_nota = new QLineEdit(QStringLiteral("nota"), this);
    Txt_nota->setObjectName(QStringLiteral("Txt_nota"));
    Cmd_ok = new QPushButton(QStringLiteral("&Ok"), this);
    Cmd_ok->setObjectName(QStringLiteral("Cmd_ok"));
    Cmd_ok->setGeometry(px(OK_SINISTRA), px(PULSANTI_CIMA), px(PULSANTI_LARGHEZZA), px(PULSANTI_ALTEZZA));
    Cmd_annulla = new QPushButton(QStringLiteral("&Annulla"), this);
    Cmd_annulla->setObjectName(QStringLiteral("Cmd_annulla"));
    Cmd_annulla->setGeometry(px(ANNULLA_SINISTRA), px(PULSANTI_CIMA), px(PULSANTI_LARGHEZZA), px(PULSANTI_ALTEZZA));
    connect(Cmd_ok, &QPushButton::clicked, this, [this] { Cmd_ok_Click(); });
    connect(Cmd_annulla, &QPushButton::clicked, this, [this] { Cmd_annulla_Click(); });

    Lbl_soglia = new QLabel(QStringLiteral("Soglia STOP perdita velocità (%)"), this);
    Lbl_soglia->setObjectName(QStringLiteral("Lbl_soglia"));
    Lbl_soglia->setFont(carattere_etichette);
    Lbl_soglia->setWordWrap(true);
    Lbl_soglia->setGeometry(px(LBL_SINISTRA), px(PULSANTI_CIMA), px(LISTA_SINISTRA - LBL_SINISTRA - INTERVALLO),
                            px(PULSANTI_ALTEZZA));
    Txt_soglia = new QSpinBox(this);
    Txt_soglia->setObjectName(QStringLiteral("Txt_soglia"));
    Txt_soglia->setFont(carattere_liste);
    Txt_soglia->setRange(0, SOGLIA_PERDITA_MASSIMA);
    Txt_soglia->setSuffix(QStringLiteral(" %"));
    Txt_soglia->setSpecialValueText(QStringLiteral("nessuna"));
    Txt_soglia->setValue(static_cast<int>(SOGLIA_PERDITA_PREDEFINITA));
    Txt_soglia->setToolTip(QStringLiteral(
        "Perdita di velocità media concentrica, rispetto alla ripetizione migliore della serie, alla quale "
        "compare \"STOP\" e suona l'avviso; per l'atleta e l'esercizio scelti (0 = nessun avviso)"));
    Txt_soglia->setGeometry(px(LISTA_SINISTRA), px(PULSANTI_CIMA + (PULSANTI_ALTEZZA - LISTA_ALTEZZA) / 2),
                            px(OK_SINISTRA - LISTA_SINISTRA - INTERVALLO), px(LISTA_ALTEZZA));
    // Squad, athlete and exercise name the threshold shown.
    for (int riga : {RIGA_SQUADRA, RIGA_ATLETA, RIGA_ESERCIZIO})
        connect(txt_utente[riga], &QComboBox::currentIndexChanged, this, [this] { mostra_soglia(); });
}

void Frm_utente::mostra_soglia() {
    Txt_soglia->setValue(static_cast<int>(leggi_soglia_perdita(txt_utente[RIGA_SQUADRA]->currentText().toStdString(),
                                                               txt_utente[RIGA_ATLETA]->currentText().toStdString(),
                                                               txt_utente[RIGA_ESERCIZIO]->currentText().toStdString())));
}

void Frm_utente::Form_Load() {
    if (caricata_) return;
    caricata_ = true;
    all_apertura_ = {s_.squadra, s_.posizioni, s_.cartella_atleta};
    Prepara_finestra();
    Aggiorna_campi(true);
    mostra_soglia();
}

void Frm_utente::showEvent(QShowEvent* e) {
    Form_Load();
    QWidget::showEvent(e);
}

void Frm_utente::closeEvent(QCloseEvent* e) {
    e->accept();
    if (chiusa_) return;
    chiusa_ = true;
    // A selection looked at and then cancelled must not send the trials of
    // the athlete in use into another athlete's folder.
    if (caricata_ && !confermata_) {
        s_.squadra = all_apertura_.squadra;
        s_.posizioni = all_apertura_.posizioni;
        s_.cartella_atleta = all_apertura_.cartella_atleta;
    }
    if (alla_chiusura) alla_chiusura();
}

void Frm_utente::messaggio(const QString& testo) {
    if (mostra_messaggio) {
        mostra_messaggio(testo);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(TITOLO_MESSAGGI), testo, QMessageBox::Ok, this);
    box.exec();
}

void Frm_utente::riempi_in_silenzio(int riga, const QStringList& voci) {
    const QSignalBlocker blocco(txt_utente[riga]);
    txt_utente[riga]->clear();
    txt_utente[riga]->addItems(voci);
    // The lists start with nothing chosen; a combo box would pick the first.
    txt_utente[riga]->setCurrentIndex(-1);
}

void Frm_utente::seleziona_in_silenzio(int riga, int indice) {
    const QSignalBlocker blocco(txt_utente[riga]);
    txt_utente[riga]->setCurrentIndex(indice);
}

ListeValori Frm_utente::liste() const {
    ListeValori l;
    for (int i = 0; i < N_RIGHE_UTENTE; ++i) {
        if (i == RIGA_ATLETA) continue;
        for (int k = 0; k < txt_utente[i]->count(); ++k)
            l[static_cast<std::size_t>(i)].push_back(txt_utente[i]->itemText(k).toStdString());
    }
    return l;
}

void Frm_utente::Prepara_finestra() {
    leggi_funz(s_);

    // Row 0 sets the places; every other row hangs below the one before.
    int cima_etichetta = LISTA_CIMA;
    const int altezza_etichetta = LISTA_ALTEZZA + INTERVALLO;
    for (int i = 0; i < N_RIGHE_UTENTE; ++i) {
        const int cima_lista = LISTA_CIMA + i * (LISTA_ALTEZZA + INTERVALLO);
        Lbl_utente[i]->setGeometry(px(LBL_SINISTRA), px(cima_etichetta), px(LBL_LARGHEZZA), px(altezza_etichetta));
        cima_etichetta += altezza_etichetta;
        txt_utente[i]->setGeometry(px(LISTA_SINISTRA), px(cima_lista), px(LISTA_LARGHEZZA), px(LISTA_ALTEZZA));
        Cmd_add[i]->setGeometry(px(NUOVO_SINISTRA), px(cima_lista), px(NUOVO_LARGHEZZA), px(LISTA_ALTEZZA));
        Cmd_elimina[i]->setGeometry(px(ELIMINA_SINISTRA), px(cima_lista), px(ELIMINA_LARGHEZZA), px(LISTA_ALTEZZA));
        const bool nota = i == RIGA_NOTA;
        Lbl_utente[i]->setVisible(true);
        txt_utente[i]->setVisible(!nota);
        Cmd_add[i]->setVisible(!nota);
        Cmd_elimina[i]->setVisible(!nota);
    }
    Txt_nota->setGeometry(txt_utente[RIGA_NOTA]->geometry());

    // A file that does not read whole leaves the lists empty; the rest of the
    // window is still built, so that it can be used, and OK keeps the file
    // aside before it writes a new one.
    riempi_in_silenzio(RIGA_ATLETA, {});
    ListeValori l;
    if (const QString errore = archivio_.Leggi_Liste(l); !errore.isEmpty()) messaggio(errore);
    for (int i = 0; i < N_RIGHE_UTENTE; ++i) {
        if (i == RIGA_ATLETA) continue;
        QStringList voci;
        for (const std::string& v : l[static_cast<std::size_t>(i)]) voci << QString::fromStdString(v);
        riempi_in_silenzio(i, voci);
    }
    Elenca_atleti();

    for (int i = 0; i < N_RIGHE_UTENTE; ++i) {
        Lbl_utente[i]->setText(QString::fromUtf8(RIGHE[i].didascalia));
        adatta_didascalia(Lbl_utente[i]);
        txt_utente[i]->setToolTip(RIGHE[i].suggerimento ? QString::fromUtf8(RIGHE[i].suggerimento) : QString());
    }
    Txt_nota->setToolTip(QString::fromUtf8(SUGGERIMENTO_NOTA));

    const QString cfg =
        archivio_.percorso_config(QString::fromStdString(s_.squadra), QString::fromStdString(s_.nome_atleta));
    if (!cfg.isEmpty() && QFileInfo(cfg).isFile()) {
        if (const QString errore = archivio_.Leggi_File_Config(cfg); !errore.isEmpty()) messaggio(errore);
    }
}

void Frm_utente::Aggiorna_campi(bool completa) {
    aggiornamento_in_corso = true;
    for (int i = 0; i < N_RIGHE_UTENTE; ++i) {
        if (!completa && i == RIGA_ATLETA) continue;
        const int32_t p = s_.posizioni[static_cast<std::size_t>(i)];
        // -1 clears the choice; a position that names no entry leaves the list alone.
        if (p < -1 || p >= txt_utente[i]->count()) continue;
        txt_utente[i]->setCurrentIndex(p);
    }
    aggiornamento_in_corso = false;
}

void Frm_utente::Sort_numeric_combo(QComboBox* lista) {
    struct Voce {
        double valore;
        QString testo;
    };
    std::vector<Voce> voci;
    for (int k = 0; k < lista->count(); ++k)
        voci.push_back({valore_iniziale(lista->itemText(k).toStdString()), lista->itemText(k)});
    // Stable, as the pairwise swaps of equal values never happened.
    std::stable_sort(voci.begin(), voci.end(), [](const Voce& a, const Voce& b) { return a.valore < b.valore; });
    // Only the texts move: the selection stays where it was.
    for (int k = 0; k < lista->count(); ++k) lista->setItemText(k, voci[static_cast<std::size_t>(k)].testo);
}

void Frm_utente::Elenca_atleti() {
    riempi_in_silenzio(RIGA_ATLETA, archivio_.atleti(QString::fromStdString(s_.squadra)));
    if (txt_utente[RIGA_ATLETA]->count() > 0) txt_utente[RIGA_ATLETA]->setCurrentIndex(0);
}

bool Frm_utente::Salva_File_Config(const QString& filename) {
    QString avviso;
    const QString errore = archivio_.salva(liste(), filename, &avviso);
    if (!avviso.isEmpty()) messaggio(avviso);
    if (errore.isEmpty()) return true;
    messaggio(errore);
    return false;
}

void Frm_utente::Cmd_add_Click(int index) {
    if (index < 0 || index >= N_RIGHE_UTENTE) return;
    const QString domanda = QStringLiteral("Nuovo valore:");
    std::optional<QString> risposta;
    if (chiedi_valore) {
        risposta = chiedi_valore(domanda);
    } else {
        bool ok = false;
        const QString t =
            QInputDialog::getText(this, QString::fromUtf8(TITOLO_MESSAGGI), domanda, QLineEdit::Normal, QString(), &ok);
        if (ok) risposta = t;
    }
    if (!risposta) return;
    // Blanks around a typed value are never meant, and the files would drop
    // the leading ones.
    QString voce = risposta->trimmed();
    if (voce.isEmpty()) return;

    if (numerica(index)) {
        const double v = valore_iniziale(voce.toStdString());
        // What rounds to 0 is no positive value either.
        const long intero = v > 0 && v < 2147483647.5 ? arrotonda_pari(v) : 0;
        if (v >= 2147483647.5) {
            messaggio(QStringLiteral("Valore troppo grande: il massimo è 2147483647."));
            return;
        }
        if (intero <= 0) {
            messaggio(QString::fromUtf8(MSG_SOLO_POSITIVI));
            return;
        }
        voce = QString::number(intero);
    } else {
        const std::string testo = voce.toStdString();
        std::string errore;
        if (index == RIGA_SQUADRA || index == RIGA_ATLETA) errore = errore_nome_cartella(testo);
        // Athletes are folder names only; everything else goes into "pesi.ini".
        if (errore.empty() && index != RIGA_ATLETA) errore = errore_voce(testo);
        if (!errore.empty()) {
            messaggio(QString::fromStdString(errore));
            return;
        }
    }

    QComboBox* lista = txt_utente[index];
    for (int k = 0; k < lista->count(); ++k)
        if (lista->itemText(k) == voce) return;
    {
        // Appending to an empty combo box would choose the entry silently.
        const int prima = lista->currentIndex();
        const QSignalBlocker blocco(lista);
        lista->addItem(voce);
        lista->setCurrentIndex(prima);
    }
    lista->setCurrentIndex(lista->count() - 1);
    if (numerica(index)) {
        Sort_numeric_combo(lista);
        // The entry just added stays the chosen one, wherever it went.
        for (int k = 0; k < lista->count(); ++k)
            if (lista->itemText(k) == voce) {
                lista->setCurrentIndex(k);
                break;
            }
    }
}

void Frm_utente::Cmd_elimina_Click(int index) {
    if (index < 0 || index >= N_RIGHE_UTENTE) return;
    QComboBox* lista = txt_utente[index];
    const int scelta = lista->currentIndex();
    if (scelta < 0) return;
    {
        const QSignalBlocker blocco(lista);
        lista->removeItem(scelta);
        lista->setCurrentIndex(-1);
    }
    // The entry that followed; after the last one, the one before it.
    const int nuova = std::min(scelta, lista->count() - 1);
    if (nuova >= 0)
        lista->setCurrentIndex(nuova);
    else
        txt_utente_Click(index);
}

void Frm_utente::Cmd_ok_Click() {
    const QString squadra = txt_utente[RIGA_SQUADRA]->currentText();
    const QString atleta = txt_utente[RIGA_ATLETA]->currentText();
    // The folders first: when one cannot be made nothing is confirmed, and the
    // window stays open to put it right.
    if (const QString errore = archivio_.prepara_cartelle(squadra, atleta); !errore.isEmpty()) {
        messaggio(errore);
        return;
    }

    for (int i = 0; i < N_RIGHE_UTENTE; ++i) s_.posizioni[static_cast<std::size_t>(i)] = txt_utente[i]->currentIndex();
    s_.nome_atleta = atleta.toStdString();
    s_.carico_kg = valore(txt_utente[2]);
    s_.esercizio = txt_utente[3]->currentText().toStdString();
    s_.vel_max = valore(txt_utente[4]);
    s_.limite_sup = valore(txt_utente[5]);
    s_.limite_inf = valore(txt_utente[6]);
    s_.ampiezza_min = valore(txt_utente[7]);
    s_.squadra = squadra.toStdString();
    s_.soglia_perdita = static_cast<float>(Txt_soglia->value());

    // Without a maximum velocity there is no scale to set: the graph keeps
    // the one it has rather than an empty range.
    const double n = std::round(static_cast<double>(s_.vel_max) * 1.2);
    if (n > 0 && update_graph) update_graph(0, ASSE_VELOCITA, -n, n);

    // In use from here on, even if a file below cannot be written.
    confermata_ = true;
    salva_funz(s_);
    const bool salvato = Salva_File_Config(QString());
    // After the files failed the coach has been told of the trouble once, and
    // the OK that follows stores the threshold too.
    if (salvato)
        if (const QString e = salva_soglia_perdita(s_.squadra, s_.nome_atleta, s_.esercizio, s_.soglia_perdita);
            !e.isEmpty())
            messaggio(e);
    if (aggiorna_intestazione) aggiorna_intestazione();
    // After a failed save the window stays open: closing it would lose the
    // entries added to its lists, and OK can be pressed again.
    if (salvato) close();
}

void Frm_utente::Cmd_annulla_Click() { close(); }

void Frm_utente::txt_utente_Click(int index) {
    if (aggiornamento_in_corso) return;
    if (index == RIGA_SQUADRA) {
        s_.squadra = txt_utente[RIGA_SQUADRA]->currentText().toStdString();
        Elenca_atleti();
    } else if (index == RIGA_ATLETA) {
        const QString cfg = archivio_.percorso_config(txt_utente[RIGA_SQUADRA]->currentText(),
                                                      txt_utente[RIGA_ATLETA]->currentText());
        if (cfg.isEmpty() || !QFileInfo(cfg).isFile()) return;
        if (const QString errore = archivio_.Leggi_File_Config(cfg); !errore.isEmpty()) {
            messaggio(errore);
            return;
        }
        Aggiorna_campi(false);
    }
}

} // namespace vexa
