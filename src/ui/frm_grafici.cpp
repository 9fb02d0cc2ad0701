#include "frm_grafici.h"

#include "analysis/formato.h"
#include "servizi_widget.h"
#include "disposizione.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace vexa {

// ---------------------------------------------------------------- ColonnaLista

void ColonnaLista::aggiungi(const std::string& testo) { l_->aggiungi(QString::fromStdString(testo)); }

void ColonnaLista::cancella() { l_->cancella(); }

int ColonnaLista::numero_righe() const { return l_->count(); }

std::string ColonnaLista::testo(int riga) const { return l_->testo(riga).toStdString(); }

void ColonnaLista::imposta_testo(int riga, const std::string& testo) {
    l_->imposta_testo(riga, QString::fromStdString(testo));
}

int ColonnaLista::riga_selezionata() const { return l_->currentRow(); }

void ColonnaLista::seleziona(int riga) {
    if (riga < 0 || riga >= l_->count()) return;
    l_->setCurrentRow(riga);
}

int ColonnaLista::prima_visibile() const { return l_->verticalScrollBar()->value(); }

void ColonnaLista::imposta_prima_visibile(int riga) { l_->verticalScrollBar()->setValue(riga); }

// ---------------------------------------------------------------- Frm_grafici

std::string titolo_valori() {
    return "     VALORI ASSOLUTI" + std::string(41, ' ') + "FASE CONCENTRICA" + std::string(64, ' ') +
           "FASE ECCENTRICA";
}

namespace {

const char* const TITOLI[NUMERO_COLONNE] = {"N°Rip",  "Tempo",  "Durata", "Spost.",  "Vmedia",
                                            "Vmax",   "TdiVmax", "SdiVmax", "Durata", "Spost.",
                                            "Vmedia", "Vmax",   "TdiVmax", "SdiVmax", "NOTA"};


} // namespace

Frm_grafici::Frm_grafici(Stato& stato, IServizi& servizi, const QString& cartella_programma, ISuono& suono,
                         QWidget* parent)
    : QWidget(parent), separatore(separatore_di_sistema()), s_(stato), servizi_(servizi),
      cartella_(cartella_programma) {
    setObjectName(QStringLiteral("Frm_grafici"));
    setAutoFillBackground(true);

    Slide = new SlideWidget(this);
    Slide->setObjectName(QStringLiteral("Slide"));
    Slide->imposta_didascalia(QStringLiteral("Velocità fase positiva"));

    Grafico[0] = new GraficoWidget(0, GraficoWidget::Tipo::Tempo, this);
    Grafico[0]->setObjectName(QStringLiteral("Grafico_0"));
    Grafico[1] = new GraficoWidget(1, GraficoWidget::Tipo::Ripetizioni, this);
    Grafico[1]->setObjectName(QStringLiteral("Grafico_1"));
    for (GraficoWidget* g : Grafico) {
        g->su_cambio_cursore = [this](int i, int c, double x, double y) { Grafico_CursorChange(i, c, x, y); };
        g->su_click = [this](int i) { Grafico_Click(i); };
    }

    // The readout takes the time graph's place when the command panel swaps them.
    Num_vel = new NumericoWidget(this);
    Num_vel->setObjectName(QStringLiteral("Num_vel"));
    Num_vel->hide();

    Lbl_valori = new QLabel(QStringLiteral("Valori"), this);
    Lbl_valori->setObjectName(QStringLiteral("Lbl_valori"));
    QFont fisso = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fisso.setBold(true);
    Lbl_valori->setFont(fisso);
    Lbl_dettaglio = new QLabel(this);
    Lbl_dettaglio->setObjectName(QStringLiteral("Lbl_dettaglio"));
    Lbl_dettaglio->hide();

    QFont carattere_liste = font();
    carattere_liste.setPointSizeF(std::max(11.0, carattere_liste.pointSizeF() * 1.2));
    for (int i = 0; i < NUMERO_COLONNE; ++i) {
        const auto u = static_cast<std::size_t>(i);
        auto* t = new QLineEdit(QString::fromUtf8(TITOLI[i]), this);
        t->setObjectName(QStringLiteral("Txt_dettaglio_%1").arg(i));
        t->setReadOnly(true);
        t->setAlignment(Qt::AlignCenter);
        t->setFocusPolicy(Qt::NoFocus);
        Txt_dettaglio[u] = t;

        auto* l = new ListaValori(i, this);
        l->setFont(carattere_liste);
        l->su_mouse_down = [this](int idx, Qt::MouseButton b) { Lst_valori_MouseDown(idx, b); };
        l->su_key_up = [this](int idx) { Lst_valori_KeyUp(idx); };
        l->su_doppio_click = [this](int idx) { Lst_valori_DblClick(idx); };
        // The columns read as one table: scrolling one scrolls them all.
        connect(l->verticalScrollBar(), &QScrollBar::valueChanged, this,
                [this, i](int v) { scorri_insieme(i, v); });
        if (i < NUMERO_COLONNE - 1) l->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Lst_valori[u] = l;
        colonne_[u] = std::make_unique<ColonnaLista>(l);
        vista_.lst_valori[u] = colonne_[u].get();
    }
    // Concentric columns yellow, the note green.
    for (int i = 2; i <= 7; ++i) {
        QPalette p = Lst_valori[static_cast<std::size_t>(i)]->palette();
        p.setColor(QPalette::Base, QColor(255, 255, 0));
        Lst_valori[static_cast<std::size_t>(i)]->setPalette(p);
    }
    {
        QPalette p = Lst_valori[14]->palette();
        p.setColor(QPalette::Base, QColor(0, 255, 0));
        Lst_valori[14]->setPalette(p);
    }

    vista_.grafico = {Grafico[0], Grafico[1]};
    vista_.slide = Slide;
    vista_.num_vel = Num_vel;
    vista_.suono = &suono;

    chiedi_nota = [this]() -> std::optional<std::string> {
        bool ok = false;
        const QString t = QInputDialog::getText(this, QStringLiteral("Vexa Meter"), QStringLiteral("Insert text"),
                                                QLineEdit::Normal, QString(), &ok);
        if (!ok) return std::nullopt;
        return t.toStdString();
    };

    riposiziona();
    ripristina_grafico();
}

Frm_grafici::~Frm_grafici() = default;

QString Frm_grafici::percorso_stile(int indice) const {
    return QDir(cartella_).filePath(QStringLiteral("grafico_%1.cwx").arg(indice));
}

void Frm_grafici::riposiziona() {
    const double w = width(), h = height();
    if (w <= 0 || h <= 0) return; // minimised: keep the controls where they were
    const Grafici g = disponi_grafici(w, h);
    Slide->setGeometry(arrotonda(g.slide));
    Grafico[0]->setGeometry(arrotonda(g.grafico0));
    Num_vel->setGeometry(arrotonda(g.num_vel));
    Grafico[1]->setGeometry(arrotonda(g.grafico1));
    Lbl_valori->setGeometry(arrotonda(g.lbl_valori));
    for (std::size_t i = 0; i < g.titoli.size(); ++i) {
        Txt_dettaglio[i]->setGeometry(arrotonda(g.titoli[i]));
        Lst_valori[i]->setGeometry(arrotonda(g.colonne[i]));
        Lst_valori[i]->setVisible(true);
    }
    Lbl_valori->setText(QString::fromStdString(titolo_valori()));
    // A fixed-pitch title sized so its 156 characters span the window, the
    // three words then standing over their columns.
    QFont f = Lbl_valori->font();
    const QString titolo = Lbl_valori->text();
    int px = std::max(6, Lbl_valori->height() - 2);
    for (; px > 6; --px) {
        f.setPixelSize(px);
        if (QFontMetricsF(f).horizontalAdvance(titolo) <= w) break;
    }
    f.setPixelSize(px);
    Lbl_valori->setFont(f);
    Num_vel->imposta_dimensione_carattere(120);
}

void Frm_grafici::ripristina_grafico() {
    std::string problemi;
    for (int i = 0; i < static_cast<int>(Grafico.size()); ++i) {
        const QString p = percorso_stile(i);
        // No file is the usual first run: the design-time look stays, silently.
        if (!QFileInfo::exists(p)) continue;
        if (!Grafico[static_cast<std::size_t>(i)]->importa_stile(p.toStdString())) {
            if (!problemi.empty()) problemi += "\n";
            problemi += Grafico[static_cast<std::size_t>(i)]->ultimo_errore_stile();
        }
    }
    Slide->imposta_intervallo(0, Grafico[0]->massimo_asse(2));
    if (!problemi.empty())
        servizi_.messaggio(problemi + "\nIl grafico mantiene l'impostazione precedente.", Icona::Esclamazione);
}

void Frm_grafici::Grafico_CursorChange(int indice, int /*cursore*/, double x, double y) {
    GraficoWidget* g = Grafico.at(static_cast<std::size_t>(indice));
    if (indice == 0) {
        const float dt = static_cast<float>(g->cursore_x(2) - g->cursore_x(1));
        const float dy = static_cast<float>(g->cursore_y(2) - g->cursore_y(1));
        g->imposta_annotazione(1, "T: " + formatta(x, 2, separatore) + " " + formatta(y, 1, separatore));
        g->imposta_annotazione(2, "DT: " + formatta(dt, 2, separatore) + " DY: " + formatta(dy, 2, separatore));
    } else {
        // Only column 0 follows; the others catch up when the user touches it.
        const long riga = arrotonda_pari(x);
        if (riga >= 0 && riga < Lst_valori[0]->count()) Lst_valori[0]->setCurrentRow(static_cast<int>(riga));
    }
}

void Frm_grafici::Grafico_Click(int indice) {
    if (su_apri_editor) su_apri_editor(indice);
}

void Frm_grafici::Lst_valori_MouseDown(int index, Qt::MouseButton pulsante) {
    if (pulsante == Qt::LeftButton) Allinea_liste(index);
}

void Frm_grafici::Lst_valori_KeyUp(int index) { Allinea_liste(index); }

void Frm_grafici::Allinea_liste(int index) {
    const int s = Lst_valori[0]->currentRow();
    if (index != 0) {
        if (index > 0 && index < NUMERO_COLONNE && s >= 0) Lst_valori[static_cast<std::size_t>(index)]->setCurrentRow(s);
        return;
    }
    const int prima = Lst_valori[0]->verticalScrollBar()->value();
    for (std::size_t i = 1; i < Lst_valori.size(); ++i) {
        Lst_valori[i]->verticalScrollBar()->setValue(prima);
        if (s >= 0 && s < Lst_valori[i]->count()) Lst_valori[i]->setCurrentRow(s);
    }
    // Each step below needs a record that may not exist (no selection, the
    // last rows): a missing one skips that step only.
    if (s < 0) return;
    Grafico[1]->imposta_cursore_x(1, s);
    const auto& rip = s_.ripetizioni;
    const auto u = static_cast<std::size_t>(s);
    GraficoWidget* g0 = Grafico[0];
    if (u < rip.size()) {
        const double t = static_cast<double>(rip[u].tempo);
        double m = g0->minimo_asse(1), M = g0->massimo_asse(1);
        const double m0 = m, M0 = M;
        if (t < m) {
            m = t - 1;
            M = m + 10;
        }
        if (t > M) {
            M = t + 1;
            m = M - 10;
        }
        if (m != m0 || M != M0) {
            // The coach is looking back at a repetition: stop chasing the live end.
            g0->imposta_segue_dati(false);
            g0->imposta_intervallo_asse(1, m, M);
        }
    }
    if (u + 1 < rip.size()) g0->sposta_cursore("Cursor_1", static_cast<double>(rip[u + 1].tempo));
    if (u + 2 < rip.size()) g0->sposta_cursore("Cursor_2", static_cast<double>(rip[u + 2].tempo));
    g0->aggiorna();
}

void Frm_grafici::Lst_valori_DblClick(int index) {
    if (index != 0) return;
    QCoreApplication::processEvents();
    const std::optional<std::string> testo = chiedi_nota ? chiedi_nota() : std::nullopt;
    const int r = Lst_valori[0]->currentRow();
    // With no row selected there is no repetition to annotate.
    if (r < 0 || r >= Lst_valori[14]->count()) return;
    const auto n = static_cast<std::size_t>(r) + 1;
    if (n >= s_.ripetizioni.size()) return;
    const std::string nota = testo.value_or(std::string{});
    s_.ripetizioni[n].nota = nota;
    Lst_valori[14]->imposta_testo(r, QString::fromStdString(nota));
}

void Frm_grafici::scorri_insieme(int origine, int valore) {
    if (scorrendo_) return;
    scorrendo_ = true;
    for (int i = 0; i < NUMERO_COLONNE; ++i)
        if (i != origine) Lst_valori[static_cast<std::size_t>(i)]->verticalScrollBar()->setValue(valore);
    scorrendo_ = false;
}

} // namespace vexa
