#include "frm_main.h"

#include "ui/disposizione.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QMenuBar>

namespace vexa {

namespace {

// Lays the panels out whenever the area under the menu bar changes size.
class Centro : public QWidget {
public:
    Centro(Frm_main* principale) : QWidget(principale), principale_(principale) {}

protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        principale_->riposiziona_pannelli();
    }

private:
    Frm_main* principale_;
};

} // namespace

Frm_main::Frm_main(Stato& stato, IServizi& servizi, const QString& cartella_programma, ISuono& suono,
                   QWidget* parent)
    : QMainWindow(parent), s_(stato) {
    setObjectName(QStringLiteral("Frm_main"));
    centro_ = new Centro(this);
    setCentralWidget(centro_);

    // Load: header, graph window, command panel, then the caption.
    intestazione_ = new Frm_intestazione(stato, centro_);
    grafici_ = new Frm_grafici(stato, servizi, cartella_programma, suono, centro_);
    cmd_ = new Frm_cmd(stato, *grafici_, centro_);
    setWindowTitle(QString::fromStdString(stato.titolo_programma));

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFileApri = mnuFile->addAction(QStringLiteral("Apri..."));
    // A trial opened over a running acquisition would mix two sets.
    connect(mnuFile, &QMenu::aboutToShow, this, [this] { mnuFileApri->setEnabled(!s_.acquisizione_in_corso); });
    mnuFileSalva_parziale = mnuFile->addAction(QStringLiteral("Salva dati con nome..."));
    mnuFileSalva_intero = mnuFile->addAction(QStringLiteral("Salva file intero con nome..."));
    mnuFile->addSeparator();
    mnuFileEsci = mnuFile->addAction(QStringLiteral("Esci"));

    mnuImpostazioni = menuBar()->addMenu(QStringLiteral("&Impostazioni"));
    mnuImpostazioniConfigura = mnuImpostazioni->addAction(QStringLiteral("Configura..."));
    mnuImpostazioniParametri_Porta = mnuImpostazioni->addAction(QStringLiteral("Parametri Porta...."));

    mnuVisualizza = menuBar()->addMenu(QStringLiteral("&Visualizza"));
    mnuVisualizzaRipetizioni = mnuVisualizza->addAction(QStringLiteral("Grafico ripetizioni"));
    mnuVisualizzaTempo = mnuVisualizza->addAction(QStringLiteral("Grafico tempo"));
    mnuVisualizzaGrafico = mnuVisualizza->addAction(QStringLiteral("Grafico ripetizioni && tempo"));
    // The check mark follows the view; only the view commands move it.
    auto* gruppo = new QActionGroup(this);
    gruppo->setExclusive(true);
    for (QAction* a : {mnuVisualizzaRipetizioni, mnuVisualizzaTempo, mnuVisualizzaGrafico}) {
        a->setCheckable(true);
        gruppo->addAction(a);
    }
    mnuVisualizzaGrafico->setChecked(true);
    // Outside the views' group: a window of its own, with a key shown beside it.
    mnuVisualizza->addSeparator();
    mnuVisualizzaIndici_vbt = mnuVisualizza->addAction(QStringLiteral("Indici VBT"));
    mnuVisualizzaIndici_vbt->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    mnuVisualizzaIndici_vbt->setToolTip(
        QStringLiteral("Velocità propulsiva, potenza e perdita di velocità della serie, con l'avviso STOP"));

    mnuStrumenti = menuBar()->addMenu(QStringLiteral("&Strumenti"));
    mnuStrumentiCronometro = mnuStrumenti->addAction(QStringLiteral("Cronometro"));
    mnuStrumentiCalcolatrice = mnuStrumenti->addAction(QStringLiteral("Calcolatrice"));
    mnuStrumenti->addSeparator();
    mnuStrumentiStorico = mnuStrumenti->addAction(QStringLiteral("Storico..."));

    mnuHelp = menuBar()->addMenu(QStringLiteral("&?"));
    mnuHelpInformazioni = mnuHelp->addAction(QStringLiteral("Informazioni su..."));
    mnuHelpInformazioni->setEnabled(false);

    connect(mnuFileApri, &QAction::triggered, this, [this] {
        if (!s_.acquisizione_in_corso) emit apri();
    });
    connect(mnuFileSalva_parziale, &QAction::triggered, this, &Frm_main::salva_dati);
    connect(mnuFileSalva_intero, &QAction::triggered, this, &Frm_main::salva_file_intero);
    connect(mnuFileEsci, &QAction::triggered, this, &QWidget::close);
    connect(mnuImpostazioniConfigura, &QAction::triggered, this, &Frm_main::mostra_impostazioni);
    connect(mnuImpostazioniParametri_Porta, &QAction::triggered, this, &Frm_main::mostra_porta);
    connect(mnuVisualizzaRipetizioni, &QAction::triggered, this, [this] { cmd_->Button_Ripetizioni_Click(); });
    // The time-only view, which the command panel gives on a right click of "TEMPO".
    connect(mnuVisualizzaTempo, &QAction::triggered, this, [this] { cmd_->Button_Tempo_MouseDown(2); });
    connect(mnuVisualizzaGrafico, &QAction::triggered, this, [this] { cmd_->Button_Grafici_Click(); });
    connect(mnuVisualizzaIndici_vbt, &QAction::triggered, this, &Frm_main::mostra_indici_vbt);
    connect(mnuStrumentiCronometro, &QAction::triggered, this, &Frm_main::mostra_cronometro);
    connect(mnuStrumentiCalcolatrice, &QAction::triggered, this, [this] { cmd_->Button_Calcolatrice_Click(); });
    connect(mnuStrumentiStorico, &QAction::triggered, this, &Frm_main::mostra_storico);

    cmd_->su_vista = [this](Vista v) { segna_vista(v); };
    cmd_->mostra_cronometro = [this] { emit mostra_cronometro(); };
    intestazione_->su_configura = [this] { emit mostra_impostazioni(); };

    resize(1024, 720);
}

Frm_main::~Frm_main() = default;

void Frm_main::segna_vista(Vista vista) {
    mnuVisualizzaRipetizioni->setChecked(vista == Vista::Ripetizioni);
    mnuVisualizzaTempo->setChecked(vista == Vista::Tempo);
    mnuVisualizzaGrafico->setChecked(vista == Vista::Entrambi);
}

void Frm_main::riposiziona_pannelli() {
    const double W = centro_->width(), H = centro_->height();
    // Minimised: zero heights; the panels keep what they had until restored.
    if (W > 0 && H > 0) {
        const PannelliPrincipali p = disponi_pannelli(W, H);
        intestazione_->setGeometry(arrotonda(p.intestazione));
        grafici_->setGeometry(arrotonda(p.grafici));
        cmd_->setGeometry(arrotonda(p.comandi));
    }
    intestazione_->riposiziona();
    grafici_->riposiziona();
    cmd_->riposiziona();
    // The graph window lays out the dual view; the panel puts the chosen one back.
    cmd_->riapplica_vista();
}

void Frm_main::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    riposiziona_pannelli();
}

void Frm_main::closeEvent(QCloseEvent* e) {
    // Closing is never refused. A running acquisition is stopped first and,
    // when it was recorded, saved as a stop would save it: the coach's set is
    // not lost with the window. Then recording is switched off (its folder ensured).
    emit prima_di_chiudere();
    if (s_.registrazione_attiva) {
        cmd_->Button_Memo->imposta_valore_silenzioso(false);
        cmd_->Button_Memo_ValueChanged(false);
    }
    e->accept();
    if (!chiusa_) {
        chiusa_ = true;
        emit chiusa();
    }
}

} // namespace vexa
