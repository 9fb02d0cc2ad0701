#include "frm_cmd.h"

#include "disposizione.h"
#include "frm_grafici.h"

#include <QProcess>
#include <QStandardPaths>

namespace vexa {

namespace {

PulsanteWidget* pulsante(QWidget* genitore, const char* nome, PulsanteWidget::Aspetto aspetto,
                         PulsanteWidget::Azione azione, const char* etichetta, const char* on, const char* off,
                         const char* suggerimento) {
    auto* p = new PulsanteWidget(aspetto, azione, genitore);
    p->setObjectName(QString::fromLatin1(nome));
    p->imposta_testi(etichetta, on, off);
    p->imposta_suggerimento(suggerimento);
    return p;
}

} // namespace

void avvia_calcolatrice_di_sistema() {
    for (const char* nome : {"gnome-calculator", "kcalc", "mate-calc", "galculator", "qalculate-qt",
                             "qalculate-gtk", "xcalc"}) {
        const QString percorso = QStandardPaths::findExecutable(QString::fromLatin1(nome));
        if (!percorso.isEmpty()) {
            QProcess::startDetached(percorso, {});
            return;
        }
    }
}

Frm_cmd::Frm_cmd(Stato& stato, Frm_grafici& grafici, QWidget* parent) : QWidget(parent), s_(stato), g_(grafici) {
    setObjectName(QStringLiteral("Frm_cmd"));
    setAutoFillBackground(true);
    using A = PulsanteWidget::Aspetto;
    using Z = PulsanteWidget::Azione;
    Button_start = pulsante(this, "Button_start", A::LampadaLampeggiante, Z::Interruttore, "ACQUISIZIONE", "LAVORO",
                            "AVVIA", "Start/Stop Acquisizione");
    Button_Memo = pulsante(this, "Button_Memo", A::Levetta, Z::Interruttore, "MEMO DATI", "REGISTRA", "OFF",
                           "Memorizzazione/Semplice visualizzazione dei dati");
    Button_Segnale = pulsante(this, "Button_Segnale", A::Lampada, Z::Momentaneo, "Reset Pos", "", "",
                              "Impone valore 0 allo spostamento");
    Button_Reset = pulsante(this, "Button_Reset", A::Immagine, Z::Momentaneo, "RESET DATI", "CANCELLA", "RESET",
                            "Reset dei dati acquisiti");
    Button_Ripetizioni = pulsante(this, "Button_Ripetizioni", A::Immagine, Z::Momentaneo, "RIPETIZIONI", "", "",
                                  "Visualizza esclusivamente  il grafico delle variabili acquisite in funzione delle "
                                  "ripetizioni");
    Button_Tempo = pulsante(this, "Button_Tempo", A::Immagine, Z::Interruttore, "TEMPO", "", "",
                            "Visualizza esclusivamente  il grafico delle variabili acquisite in funzione del tempo");
    Button_Grafici = pulsante(this, "Button_Grafici", A::Immagine, Z::Momentaneo, "GRAFICI T&R", "", "",
                              "Visualizza le variabili acquisite sia in funzione delle ripetizioni che del tempo");
    Button_Crono = pulsante(this, "Button_Crono", A::Immagine, Z::Momentaneo, "CRONO", "", "", "Mostra il cronometro");
    Button_Calcolatrice = pulsante(this, "Button_Calcolatrice", A::Immagine, Z::Momentaneo, "CALCOLATRICE", "", "",
                                   "Mostra la colcolatrice");
    // The time button's value says "graph, not readout": on at start, like the graph.
    Button_Tempo->imposta_valore_silenzioso(true);

    Button_start->su_cambio_valore = [this](bool v) { Button_start_ValueChanged(v); };
    Button_Memo->su_cambio_valore = [this](bool v) { Button_Memo_ValueChanged(v); };
    // Momentary buttons change twice per press; the action runs once, on the press.
    Button_Segnale->su_cambio_valore = [this](bool v) {
        if (v) Button_Segnale_ValueChanged(v);
    };
    Button_Reset->su_cambio_valore = [this](bool v) {
        if (v) Button_Reset_ValueChanged(v);
    };
    Button_Crono->su_cambio_valore = [this](bool v) {
        if (v) Button_Crono_ValueChanged(v);
    };
    Button_Ripetizioni->su_click = [this] { Button_Ripetizioni_Click(); };
    Button_Grafici->su_click = [this] { Button_Grafici_Click(); };
    Button_Tempo->su_click = [this] { Button_Tempo_Click(); };
    Button_Tempo->su_mouse = [this](int b) { Button_Tempo_MouseDown(b); };
    Button_Tempo->su_cambio_valore = [this](bool v) { Button_Tempo_ValueChanged(v); };
    Button_Calcolatrice->su_click = [this] { Button_Calcolatrice_Click(); };
    avvia_calcolatrice = avvia_calcolatrice_di_sistema;

    riposiziona();
}

void Frm_cmd::Button_start_ValueChanged(bool valore) {
    if (valore) {
        if (Avvia_acquisizione) Avvia_acquisizione();
        return;
    }
    if (Ferma_acquisizione) Ferma_acquisizione();
    if (s_.registrazione_attiva && salva_registrazione) salva_registrazione();
}

void Frm_cmd::Button_Memo_ValueChanged(bool valore) {
    if (valore) {
        s_.registrazione_attiva = true;
        // Recording starts at an empty buffer: switched on mid-acquisition, the
        // old count would leave zeroed records that the file would write as samples.
        s_.campioni.assign(1, Campione{});
        s_.n_campioni = 0;
    } else {
        s_.registrazione_attiva = false;
        if (assicura_cartella_registrazione) assicura_cartella_registrazione();
    }
    if (su_registrazione) su_registrazione(valore);
}

void Frm_cmd::Button_Segnale_ValueChanged(bool) {
    if (Azzera_spostamento) Azzera_spostamento();
}

void Frm_cmd::Button_Reset_ValueChanged(bool) {
    if (azzera_prova) azzera_prova();
}

void Frm_cmd::vista_singola(int mostrato, Vista vista) {
    // The other graph goes first, then the shown one spans from the slide to the edge.
    g_.Grafico[mostrato == 0 ? 1 : 0]->setVisible(false);
    GraficoWidget* g = g_.Grafico[static_cast<std::size_t>(mostrato)];
    const double L = g_.Slide->x() + g_.Slide->width();
    g->setGeometry(arrotonda(Viste::singola(g->geometry(), L, g_.width())));
    g->setVisible(true);
    vista_ = vista;
    if (su_vista) su_vista(vista_);
}

void Frm_cmd::Button_Ripetizioni_Click() { vista_singola(1, Vista::Ripetizioni); }

void Frm_cmd::Button_Grafici_Click() {
    const double L = g_.Slide->x() + g_.Slide->width();
    const double W = g_.width(), H = g_.Slide->height();
    const QRectF tempo = Viste::doppia_tempo(g_.Grafico[0]->geometry(), L, W, H);
    g_.Grafico[0]->setGeometry(arrotonda(tempo));
    g_.Grafico[0]->setVisible(true);
    g_.Grafico[1]->setGeometry(arrotonda(Viste::doppia_ripetizioni(tempo, W, H)));
    g_.Grafico[1]->setVisible(true);
    vista_ = Vista::Entrambi;
    if (su_vista) su_vista(vista_);
}

void Frm_cmd::vista_tempo() { vista_singola(0, Vista::Tempo); }

void Frm_cmd::Button_Tempo_MouseDown(int pulsante) {
    if (pulsante == 2) vista_tempo();
}

void Frm_cmd::Button_Tempo_ValueChanged(bool valore) {
    g_.Grafico[0]->setVisible(valore);
    g_.Num_vel->imposta_visibile(!valore);
    if (!valore) g_.Num_vel->raise();
}

void Frm_cmd::Button_Tempo_Click() {}

void Frm_cmd::Button_Crono_ValueChanged(bool) {
    if (mostra_cronometro) mostra_cronometro();
}

void Frm_cmd::Button_Calcolatrice_Click() {
    if (avvia_calcolatrice) avvia_calcolatrice();
}

void Frm_cmd::spegni_start() { Button_start->imposta_valore_silenzioso(false); }

void Frm_cmd::riposiziona() {
    const double w = width(), h = height();
    if (w <= 0 || h <= 0) return;
    const auto r = disponi_comandi(w, h);
    PulsanteWidget* const ordine[9] = {Button_start,       Button_Memo,  Button_Segnale,
                                       Button_Reset,       Button_Ripetizioni, Button_Tempo,
                                       Button_Grafici,     Button_Crono, Button_Calcolatrice};
    for (std::size_t i = 0; i < r.size(); ++i) ordine[i]->setGeometry(arrotonda(r[i]));
}

void Frm_cmd::riapplica_vista() {
    switch (vista_) {
    case Vista::Ripetizioni:
        if (!g_.Grafico[0]->isHidden()) g_.Grafico[0]->setVisible(false);
        Button_Ripetizioni_Click();
        break;
    case Vista::Tempo: vista_tempo(); break;
    case Vista::Entrambi: break; // the graph window's own layout is this view
    }
    // The readout stands where the time graph stands.
    g_.Num_vel->setGeometry(g_.Grafico[0]->geometry());
    if (!Button_Tempo->valore()) g_.Grafico[0]->setVisible(false);
}

} // namespace vexa
