#include "frm_storico.h"

#include "frm_club.h"

#include "servizio_storico.h"

#include "analysis/formato.h"
#include "trials/salvataggio.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <set>

namespace vexa {

namespace {

// The default range: the last six weeks, today included.
constexpr int GIORNI_PREDEFINITI = 42;

int64_t giorno_di(const QDate& d) { return QDate(1970, 1, 1).daysTo(d); }
double secondi(const QDateTime& t) { return static_cast<double>(t.toSecsSinceEpoch()); }
double secondi(int64_t giorno) { return secondi(QDate(1970, 1, 1).addDays(giorno).startOfDay()); }

QString testo(const std::optional<double>& v, int decimali, char sep) {
    return v ? QString::fromStdString(formatta(*v, decimali, sep)) : QString();
}

QStandardItem* cella(const QString& t, bool numero) {
    auto* i = new QStandardItem(t);
    i->setEditable(false);
    if (numero) i->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return i;
}

QCustomPlot* nuovo_grafico(QWidget* genitore, const QString& x, const QString& y, bool date) {
    auto* g = new QCustomPlot(genitore);
    g->xAxis->setLabel(x);
    g->yAxis->setLabel(y);
    if (date) {
        QSharedPointer<QCPAxisTickerDateTime> t(new QCPAxisTickerDateTime);
        t->setDateTimeFormat(QStringLiteral("dd/MM/yy"));
        g->xAxis->setTicker(t);
    }
    g->legend->setVisible(false);
    g->setMinimumSize(320, 240);
    return g;
}

QCPGraph* nuova_serie(QCustomPlot* g, const QColor& colore, bool linea) {
    QCPGraph* p = g->addGraph();
    p->setPen(QPen(colore, 1.5));
    p->setLineStyle(linea ? QCPGraph::lsLine : QCPGraph::lsNone);
    p->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, colore, colore, 7));
    return p;
}

// Room around the data, so no point sits on the frame.
void margini(QCPAxis* asse) {
    QCPRange r = asse->range();
    const double m = r.size() > 0 ? r.size() * 0.08 : std::max(1.0, std::abs(r.center()) * 0.1);
    asse->setRange(r.lower - m, r.upper + m);
}

void nessun_dato(QCustomPlot* g, const QString& t) {
    auto* scritta = new QCPItemText(g);
    scritta->position->setType(QCPItemPosition::ptAxisRectRatio);
    scritta->position->setCoords(0.5, 0.5);
    scritta->setText(t);
}

} // namespace

Frm_storico::Frm_storico(const QString& cartella_dati, ServizioStorico* servizio, const Scelta& scelta,
                         QWidget* parent, std::function<bool()> in_acquisizione)
    : QWidget(parent), storico_(std::make_unique<Storico>(cartella_dati, Storico::Opzioni{1000})),
      in_acquisizione_(std::move(in_acquisizione)), servizio_(servizio) {
    setObjectName(QStringLiteral("Frm_storico"));
    setWindowTitle(QString::fromLatin1(TITOLO_STORICO));
    separatore_ = formato_locale().separatore;

    cbo_atleta = new QComboBox(this);
    cbo_atleta->setMinimumContentsLength(18);
    cbo_esercizio = new QComboBox(this);
    cbo_esercizio->setMinimumContentsLength(12);
    txt_al = new QDateEdit(QDate::currentDate(), this);
    txt_dal = new QDateEdit(QDate::currentDate().addDays(-GIORNI_PREDEFINITI), this);
    for (QDateEdit* d : {txt_dal, txt_al}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    }
    opt_vmedia = new QRadioButton(QStringLiteral("Vmedia"), this);
    opt_vmp = new QRadioButton(QStringLiteral("VMP"), this);
    opt_vmedia->setChecked(true);
    opt_vmedia->setToolTip(QStringLiteral("Velocit\u00e0 media concentrica migliore di ogni serie"));
    opt_vmp->setToolTip(QStringLiteral("Velocit\u00e0 media propulsiva migliore di ogni serie (solo le serie che la hanno)"));
    txt_velocita_1rm = new QSpinBox(this);
    txt_velocita_1rm->setRange(50, 2000);
    txt_velocita_1rm->setSuffix(QStringLiteral(" mm/s"));
    txt_velocita_1rm->setKeyboardTracking(false);
    txt_velocita_1rm->setToolTip(QStringLiteral("Velocit\u00e0 alla quale l'esercizio si considera al massimale "
                                                "(soglia minima di velocit\u00e0), propria di ogni esercizio"));

    auto* scelte = new QGridLayout;
    scelte->addWidget(new QLabel(QStringLiteral("Atleta:"), this), 0, 0);
    scelte->addWidget(cbo_atleta, 0, 1);
    scelte->addWidget(new QLabel(QStringLiteral("Esercizio:"), this), 0, 2);
    scelte->addWidget(cbo_esercizio, 0, 3);
    scelte->addWidget(new QLabel(QStringLiteral("Dal:"), this), 0, 4);
    scelte->addWidget(txt_dal, 0, 5);
    scelte->addWidget(new QLabel(QStringLiteral("Al:"), this), 0, 6);
    scelte->addWidget(txt_al, 0, 7);
    scelte->addWidget(new QLabel(QStringLiteral("Velocit\u00e0:"), this), 1, 0);
    auto* metrica = new QHBoxLayout;
    metrica->addWidget(opt_vmedia);
    metrica->addWidget(opt_vmp);
    metrica->addStretch();
    scelte->addLayout(metrica, 1, 1);
    scelte->addWidget(new QLabel(QStringLiteral("Velocit\u00e0 a 1RM:"), this), 1, 2);
    scelte->addWidget(txt_velocita_1rm, 1, 3);
    scelte->setColumnStretch(8, 1);

    modello_ = new QStandardItemModel(0, 6, this);
    modello_->setHorizontalHeaderLabels({QStringLiteral("Data"), QStringLiteral("Carico\n(kg)"),
                                         QStringLiteral("Ripe-\ntizioni"), QStringLiteral("Vmedia\nmigliore"),
                                         QStringLiteral("VMP\nmigliore"), QStringLiteral("Perdita\nfinale (%)")});
    modello_->horizontalHeaderItem(3)->setToolTip(QStringLiteral("Velocit\u00e0 media concentrica migliore della serie, mm/s"));
    modello_->horizontalHeaderItem(4)->setToolTip(QStringLiteral("Velocit\u00e0 media propulsiva migliore della serie, mm/s"));
    modello_->horizontalHeaderItem(5)->setToolTip(QStringLiteral("Perdita di velocit\u00e0 all'ultima ripetizione della serie"));
    lst_sessioni = new QTableView(this);
    lst_sessioni->setModel(modello_);
    lst_sessioni->setSelectionBehavior(QAbstractItemView::SelectRows);
    lst_sessioni->setSelectionMode(QAbstractItemView::SingleSelection);
    lst_sessioni->verticalHeader()->setVisible(false);
    lst_sessioni->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lst_sessioni->setToolTip(QStringLiteral("Doppio clic: apre la prova della serie"));

    schede = new QTabWidget(this);
    grafico_profilo = nuovo_grafico(schede, QStringLiteral("Carico (kg)"), QStringLiteral("Velocit\u00e0 (mm/s)"), false);
    grafico_massimale = nuovo_grafico(schede, QStringLiteral("Settimana"), QStringLiteral("1RM stimato (kg)"), true);
    auto* pagina_carico = new QWidget(schede);
    cbo_carico = new QComboBox(pagina_carico);
    grafico_carico = nuovo_grafico(pagina_carico, QStringLiteral("Data"), QStringLiteral("Velocit\u00e0 migliore (mm/s)"), true);
    auto* riga_carico = new QHBoxLayout;
    riga_carico->addWidget(new QLabel(QStringLiteral("Carico:"), pagina_carico));
    riga_carico->addWidget(cbo_carico);
    riga_carico->addStretch();
    auto* lay_carico = new QVBoxLayout(pagina_carico);
    lay_carico->setContentsMargins(0, 0, 0, 0);
    lay_carico->addLayout(riga_carico);
    lay_carico->addWidget(grafico_carico, 1);
    schede->addTab(grafico_profilo, QStringLiteral("Profilo carico-velocit\u00e0"));
    schede->addTab(grafico_massimale, QStringLiteral("1RM stimato nel tempo"));
    schede->addTab(pagina_carico, QStringLiteral("Velocit\u00e0 al carico"));

    auto* divisore = new QSplitter(Qt::Horizontal, this);
    divisore->addWidget(lst_sessioni);
    divisore->addWidget(schede);
    divisore->setStretchFactor(0, 1);
    divisore->setStretchFactor(1, 1);
    divisore->setSizes({520, 560});

    lbl_profilo = new QLabel(this);
    lbl_profilo->setWordWrap(true);
    lbl_profilo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont f = lbl_profilo->font();
    f.setBold(true);
    lbl_profilo->setFont(f);
    lbl_stato = new QLabel(this);
    lbl_stato->setWordWrap(true);

    cmd_ricostruisci = new QPushButton(QStringLiteral("Ricostruisci storico"), this);
    cmd_ricostruisci->setToolTip(QStringLiteral("Rilegge tutti i file dei risultati della cartella dei dati"));
    cmd_ricostruisci->setEnabled(servizio_ != nullptr);
    cmd_esporta_profilo = new QPushButton(QStringLiteral("Esporta profilo..."), this);
    cmd_esporta_grafico = new QPushButton(QStringLiteral("Esporta grafico..."), this);
    cmd_chiudi = new QPushButton(QStringLiteral("Chiudi"), this);
    lbl_club = new QLabel(this);
    lbl_club->setObjectName(QStringLiteral("lbl_club"));
    lbl_club->setWordWrap(true);
    cmd_sincronizza = new QPushButton(QStringLiteral("Sincronizza"), this);
    cmd_sincronizza->setToolTip(QStringLiteral("Invia ora al server del club le serie che non ha ancora"));
    cmd_club = new QPushButton(QStringLiteral("Server del club..."), this);
    cmd_sincronizza->setEnabled(servizio_ != nullptr);
    cmd_club->setEnabled(servizio_ != nullptr);
    auto* club = new QHBoxLayout;
    club->addWidget(lbl_club, 1);
    club->addWidget(cmd_sincronizza);
    club->addWidget(cmd_club);
    auto* comandi = new QHBoxLayout;
    comandi->addWidget(cmd_ricostruisci);
    comandi->addWidget(lbl_stato, 1);
    comandi->addWidget(cmd_esporta_profilo);
    comandi->addWidget(cmd_esporta_grafico);
    comandi->addWidget(cmd_chiudi);

    auto* lay = new QVBoxLayout(this);
    lay->addLayout(scelte);
    lay->addWidget(divisore, 1);
    lay->addWidget(lbl_profilo);
    lay->addLayout(comandi);
    lay->addLayout(club);
    resize(1100, 640);

    connect(cbo_atleta, &QComboBox::currentIndexChanged, this, [this] {
        if (riempimento_) return;
        aggiorna_esercizi(cbo_esercizio->currentText());
        aggiorna();
    });
    connect(cbo_esercizio, &QComboBox::currentIndexChanged, this, [this] {
        if (riempimento_) return;
        aggiorna();
    });
    for (QDateEdit* d : {txt_dal, txt_al})
        connect(d, &QDateEdit::dateChanged, this, [this] {
            if (!riempimento_) aggiorna();
        });
    connect(opt_vmedia, &QRadioButton::toggled, this, [this] {
        if (!riempimento_) aggiorna();
    });
    connect(txt_velocita_1rm, &QSpinBox::valueChanged, this, [this](int v) {
        if (riempimento_) return;
        if (!cbo_esercizio->currentText().isEmpty()) {
            const EsitoStorico e = letto().imposta_velocita_1rm(cbo_esercizio->currentText(), v);
            if (!e.ok()) avvisa(e.messaggio);
        }
        aggiorna();
    });
    connect(cbo_carico, &QComboBox::currentIndexChanged, this, [this] {
        if (!riempimento_) disegna_carico();
    });
    connect(lst_sessioni, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { apri_sessione(i.row()); });
    connect(cmd_esporta_profilo, &QPushButton::clicked, this, &Frm_storico::Cmd_esporta_profilo_Click);
    connect(cmd_esporta_grafico, &QPushButton::clicked, this, &Frm_storico::Cmd_esporta_grafico_Click);
    connect(cmd_chiudi, &QPushButton::clicked, this, &QWidget::close);
    if (servizio_) {
        connect(cmd_ricostruisci, &QPushButton::clicked, this, [this] {
            cmd_ricostruisci->setEnabled(false);
            lbl_stato->setText(QStringLiteral("Ricostruzione dello storico in corso..."));
            servizio_->ricostruisci();
        });
        connect(servizio_, &ServizioStorico::avanzamento, this, [this](int fatti, int totali) {
            lbl_stato->setText(QStringLiteral("Ricostruzione dello storico: %1 di %2 file letti...").arg(fatti).arg(totali));
        });
        connect(servizio_, &ServizioStorico::ricostruzione_finita, this, [this](const QString& riepilogo) {
            cmd_ricostruisci->setEnabled(true);
            lbl_stato->setText(riepilogo);
            riapri();
        });
        // Reading the server, a set saved here shows once the push has taken
        // it there (club_cambiato), not before.
        connect(servizio_, &ServizioStorico::aggiornato, this, [this] {
            if (!legge_dal_server()) riapri();
        });
        connect(servizio_, &ServizioStorico::club_cambiato, this, &Frm_storico::club_cambiato);
        connect(cmd_sincronizza, &QPushButton::clicked, servizio_, &ServizioStorico::sincronizza);
        connect(cmd_club, &QPushButton::clicked, this, &Frm_storico::Cmd_club_Click);
    }

    // The service makes a missing history from the files; the window waits
    // for it rather than make an empty one the service would take as done.
    if (servizio_ && !QFileInfo::exists(storico_->percorso())) {
        lbl_stato->setText(QStringLiteral("Lo storico si sta preparando dai file delle prove..."));
    } else {
        const EsitoStorico e = storico_->apri();
        if (!e.ok()) lbl_stato->setText(e.messaggio);
    }
    club_cambiato();
    riempimento_ = true;
    aggiorna_atleti(scelta);
    aggiorna_esercizi(scelta.esercizio);
    riempimento_ = false;
    aggiorna();
}

bool Frm_storico::legge_dal_server() const { return club_ && club_->aperto(); }

Storico& Frm_storico::letto() { return legge_dal_server() ? *club_ : *storico_; }

// The window connects to the server only once the service's push has heard
// from it, so a server that does not answer never holds up the screen; it
// goes back to this station's history as soon as the push finds it gone.
void Frm_storico::club_cambiato() {
    const StatoClub s = servizio_ ? servizio_->stato_club() : StatoClub{};
    const bool prima = legge_dal_server();
    const bool acquisizione = in_acquisizione_ && in_acquisizione_();
    if (!s.risponde() || acquisizione) {
        club_.reset();
    } else if (!legge_dal_server()) {
        club_ = std::make_unique<Storico>(storico_->cartella_dati(), servizio_->club(), Storico::Opzioni{1000});
        if (!club_->apri().ok()) club_.reset();
    }
    const QString attesa = s.in_attesa < 0 ? QString()
                                           : QStringLiteral(" %1 serie di questa stazione in attesa di invio.").arg(s.in_attesa);
    const QString quando = s.risposta.isValid()
                               ? QStringLiteral("ultima risposta alle %1").arg(s.risposta.toString(QStringLiteral("HH:mm:ss")))
                               : QStringLiteral("nessuna risposta finora");
    cmd_sincronizza->setEnabled(s.attivo);
    if (!s.attivo)
        lbl_club->setText(QStringLiteral("Storico di questa stazione (nessun server del club impostato)."));
    else if (acquisizione)
        lbl_club->setText(QStringLiteral("Storico di questa stazione durante l'acquisizione: quello del club "
                                         "(server %1) torna a serie finita.")
                              .arg(servizio_->club().descrizione()) +
                          attesa);
    else if (legge_dal_server())
        lbl_club->setText(QStringLiteral("Storico del club (server %1, %2).").arg(servizio_->club().descrizione(), quando) + attesa);
    else
        lbl_club->setText(QStringLiteral("Storico di questa stazione: il server del club %1 non risponde (%2)%3.")
                              .arg(servizio_->club().descrizione(), quando,
                                   s.problema.isEmpty() ? QString() : QStringLiteral(": ") + s.problema) +
                          attesa);
    const bool nuove = legge_dal_server() && s.inviate != inviate_;
    inviate_ = s.inviate;
    if (prima != legge_dal_server() || nuove) riapri();
}

void Frm_storico::Cmd_club_Click() {
    Frm_club d(servizio_->club(), this);
    if (d.exec() != QDialog::Accepted) return;
    salva_club(d.connessione());
    servizio_->imposta_club(leggi_club());
    club_cambiato();
}

Frm_storico::~Frm_storico() = default;

void Frm_storico::avvisa(const QString& testo) {
    if (mostra_messaggio)
        mostra_messaggio(testo);
    else
        QMessageBox::warning(this, QString::fromLatin1(TITOLO_STORICO), testo);
}

// The history changed under the window (a set saved, a rebuild, a database
// made anew): the lists are read again, keeping the choice.
void Frm_storico::riapri() {
    if (!storico_->aperto()) {
        const EsitoStorico e = storico_->apri();
        if (!e.ok()) {
            lbl_stato->setText(e.messaggio);
            return;
        }
        if (lbl_stato->text().startsWith(QStringLiteral("Lo storico si sta preparando"))) lbl_stato->clear();
    }
    const AtletaStorico a = atleta();
    riempimento_ = true;
    aggiorna_atleti({a.squadra, a.nome, {}});
    aggiorna_esercizi(cbo_esercizio->currentText());
    riempimento_ = false;
    aggiorna();
}

AtletaStorico Frm_storico::atleta() const {
    const QStringList d = cbo_atleta->currentData().toStringList();
    return d.size() == 2 ? AtletaStorico{d[0], d[1]} : AtletaStorico{};
}

void Frm_storico::aggiorna_atleti(const Scelta& scelta) {
    std::vector<AtletaStorico> elenco = letto().atleti();
    const AtletaStorico voluto{scelta.squadra, scelta.atleta};
    // The athlete of the settings is offered even before a first set.
    if (!voluto.nome.isEmpty() && std::find(elenco.begin(), elenco.end(), voluto) == elenco.end())
        elenco.push_back(voluto);
    std::sort(elenco.begin(), elenco.end(), [](const AtletaStorico& a, const AtletaStorico& b) {
        const int c = QString::localeAwareCompare(a.nome, b.nome);
        return c != 0 ? c < 0 : QString::localeAwareCompare(a.squadra, b.squadra) < 0;
    });
    cbo_atleta->clear();
    for (const AtletaStorico& a : elenco) {
        const QString nome = a.nome.isEmpty() ? QStringLiteral("(senza nome)") : a.nome;
        cbo_atleta->addItem(a.squadra.isEmpty() ? nome : QStringLiteral("%1 (%2)").arg(nome, a.squadra),
                            QStringList{a.squadra, a.nome});
    }
    for (int i = 0; i < cbo_atleta->count(); ++i)
        if (cbo_atleta->itemData(i).toStringList() == QStringList{voluto.squadra, voluto.nome}) cbo_atleta->setCurrentIndex(i);
}

void Frm_storico::aggiorna_esercizi(const QString& preferito) {
    const bool era = riempimento_;
    riempimento_ = true;
    QStringList e = letto().esercizi(atleta());
    if (!preferito.isEmpty() && !e.contains(preferito)) e << preferito;
    cbo_esercizio->clear();
    cbo_esercizio->addItems(e);
    const int i = static_cast<int>(e.indexOf(preferito));
    cbo_esercizio->setCurrentIndex(i >= 0 ? i : 0);
    riempimento_ = era;
}

void Frm_storico::aggiorna() {
    const bool era = riempimento_;
    riempimento_ = true;
    const QString esercizio = cbo_esercizio->currentText();
    const int fallimenti = letto().fallimenti();
    const double v1rm = letto().velocita_1rm(esercizio);
    txt_velocita_1rm->setValue(static_cast<int>(std::lround(v1rm)));
    sessioni_ = letto().sessioni({atleta(), esercizio, txt_dal->date(), txt_al->date()});
    if (letto().fallimenti() != fallimenti) {
        // An empty list here would read as "no sets". The server gone between
        // two pushes: the station's own history at once, and why.
        const QString perche = letto().ultimo_errore().messaggio;
        if (legge_dal_server()) {
            club_.reset();
            lbl_club->setText(QStringLiteral("Storico di questa stazione: %1").arg(perche));
            riempimento_ = era;
            riapri();
            return;
        }
        lbl_stato->setText(perche);
    }

    modello_->removeRows(0, modello_->rowCount());
    for (const SessioneStorico& s : sessioni_) {
        modello_->appendRow({cella(s.quando.toString(QStringLiteral("dd/MM/yyyy HH:mm")), false),
                             cella(QString::fromStdString(formatta(s.carico_kg, 1, separatore_)), true),
                             cella(QString::number(s.ripetizioni), true),
                             cella(testo(s.vmedia_migliore, 0, separatore_), true),
                             cella(testo(s.vmp_migliore, 0, separatore_), true),
                             cella(testo(s.perdita_finale, 1, separatore_), true)});
    }
    if (!sessioni_.empty()) lst_sessioni->scrollToBottom();

    const bool vmp = opt_vmp->isChecked();
    const std::vector<PuntoDatato> punti = punti_profilo(sessioni_, vmp);
    std::vector<std::pair<int64_t, PuntoProfilo>> per_giorno;
    for (const PuntoDatato& x : punti)
        per_giorno.emplace_back(giorno_di(QDate(x.quando.anno, x.quando.mese, x.quando.giorno)), x.punto);
    profilo_ = profilo_delle_sessioni(sessioni_, vmp, v1rm);
    stime_ = stime_settimanali(per_giorno, v1rm);

    QStringList parti;
    if (profilo_.pendenza)
        parti << QStringLiteral("Pendenza %1 mm/s per kg").arg(testo(profilo_.pendenza, 2, separatore_))
              << QStringLiteral("intercetta %1 mm/s").arg(testo(profilo_.intercetta, 0, separatore_));
    if (profilo_.r2) parti << QStringLiteral("R\u00b2 %1").arg(testo(profilo_.r2, 4, separatore_));
    parti << QStringLiteral("%1 serie, %2 carichi diversi").arg(profilo_.punti).arg(profilo_.carichi_distinti);
    QString riga = parti.join(QStringLiteral(" \u00b7 ")) + QStringLiteral("\n");
    if (profilo_.massimale)
        riga += QStringLiteral("1RM stimato: %1 kg (a %2 mm/s)")
                    .arg(testo(profilo_.massimale, 1, separatore_), QString::fromStdString(formatta(v1rm, 0, separatore_)));
    else
        riga += QString::fromStdString(profilo_.motivo);
    lbl_profilo->setText(riga);

    std::set<double> carichi;
    for (const SessioneStorico& s : sessioni_) carichi.insert(s.carico_kg);
    const double scelto = cbo_carico->currentData().isValid() ? cbo_carico->currentData().toDouble() : -1;
    cbo_carico->clear();
    for (double c : carichi)
        cbo_carico->addItem(QString::fromStdString(formatta(c, 1, separatore_)) + QStringLiteral(" kg"), c);
    int indice = cbo_carico->findData(scelto);
    // The load lifted most often is the one worth following.
    if (indice < 0 && !carichi.empty()) {
        std::size_t piu = 0;
        for (double c : carichi) {
            const auto n = static_cast<std::size_t>(std::count_if(sessioni_.begin(), sessioni_.end(),
                                                                   [c](const SessioneStorico& s) { return s.carico_kg == c; }));
            if (n > piu) {
                piu = n;
                indice = cbo_carico->findData(c);
            }
        }
    }
    cbo_carico->setCurrentIndex(indice);

    disegna_profilo(punti, v1rm);
    disegna_massimale();
    disegna_carico();
    cmd_esporta_profilo->setEnabled(cbo_atleta->count() > 0);
    riempimento_ = era;
}

void Frm_storico::disegna_profilo(const std::vector<PuntoDatato>& punti, double v1rm) {
    QCustomPlot* g = grafico_profilo;
    g->clearGraphs();
    g->clearItems();
    QCPGraph* serie = nuova_serie(g, QColor(0, 90, 170), false);
    QVector<double> x, y;
    for (const PuntoDatato& p : punti) {
        x << p.punto.carico_kg;
        y << p.punto.velocita;
    }
    serie->setData(x, y);
    if (punti.empty()) {
        nessun_dato(g, QStringLiteral("Nessuna serie nel periodo"));
        g->xAxis->setRange(0, 100);
        g->yAxis->setRange(0, 1000);
        g->replot();
        return;
    }
    g->rescaleAxes();
    if (profilo_.pendenza) {
        const double fine = std::max(g->xAxis->range().upper, profilo_.massimale.value_or(0));
        const double inizio = std::min(g->xAxis->range().lower, fine);
        QCPGraph* retta = g->addGraph();
        retta->setPen(QPen(QColor(200, 60, 0), 1.5));
        retta->setData(QVector<double>{inizio, fine},
                       QVector<double>{*profilo_.intercetta + *profilo_.pendenza * inizio,
                                       *profilo_.intercetta + *profilo_.pendenza * fine});
        g->rescaleAxes();
    }
    g->yAxis->setRange(std::min(g->yAxis->range().lower, v1rm), std::max(g->yAxis->range().upper, v1rm));
    margini(g->xAxis);
    margini(g->yAxis);
    auto* soglia = new QCPItemStraightLine(g);
    soglia->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
    soglia->point1->setCoords(0, v1rm);
    soglia->point2->setCoords(1, v1rm);
    if (profilo_.massimale) {
        auto* massimale = new QCPItemStraightLine(g);
        massimale->setPen(QPen(QColor(200, 60, 0), 1, Qt::DotLine));
        massimale->point1->setCoords(*profilo_.massimale, 0);
        massimale->point2->setCoords(*profilo_.massimale, 1);
        auto* scritta = new QCPItemText(g);
        scritta->position->setCoords(*profilo_.massimale, v1rm);
        scritta->setPositionAlignment(Qt::AlignRight | Qt::AlignBottom);
        scritta->setText(QStringLiteral("1RM %1 kg ").arg(testo(profilo_.massimale, 1, separatore_)));
    }
    g->replot();
}

void Frm_storico::disegna_massimale() {
    QCustomPlot* g = grafico_massimale;
    g->clearGraphs();
    g->clearItems();
    QCPGraph* linea = nuova_serie(g, QColor(200, 60, 0), true);
    QVector<double> x, y;
    for (const StimaSettimanale& s : stime_) {
        x << secondi(s.lunedi);
        y << *s.profilo.massimale;
    }
    linea->setData(x, y);
    if (stime_.empty()) {
        nessun_dato(g, QStringLiteral("Nessuna settimana con serie ad almeno due carichi diversi"));
        g->xAxis->setRange(secondi(txt_dal->date().startOfDay()), secondi(txt_al->date().startOfDay()));
        g->yAxis->setRange(0, 100);
    } else {
        g->rescaleAxes();
        margini(g->xAxis);
        margini(g->yAxis);
    }
    g->replot();
}

void Frm_storico::disegna_carico() {
    QCustomPlot* g = grafico_carico;
    g->clearGraphs();
    g->clearItems();
    QCPGraph* linea = nuova_serie(g, QColor(0, 90, 170), true);
    QVector<double> x, y;
    const bool vmp = opt_vmp->isChecked();
    if (cbo_carico->currentIndex() >= 0) {
        const double c = cbo_carico->currentData().toDouble();
        for (const SessioneStorico& s : sessioni_)
            if (const auto v = vmp ? s.vmp_migliore : s.vmedia_migliore; v && s.carico_kg == c) {
                x << secondi(s.quando);
                y << *v;
            }
    }
    linea->setData(x, y);
    if (x.isEmpty()) {
        nessun_dato(g, QStringLiteral("Nessuna serie a questo carico"));
        g->xAxis->setRange(secondi(txt_dal->date().startOfDay()), secondi(txt_al->date().startOfDay()));
        g->yAxis->setRange(0, 1000);
    } else {
        g->rescaleAxes();
        margini(g->xAxis);
        margini(g->yAxis);
    }
    g->replot();
}

void Frm_storico::apri_sessione(int riga) {
    if (riga < 0 || riga >= static_cast<int>(sessioni_.size())) return;
    const SessioneStorico& s = sessioni_[static_cast<std::size_t>(riga)];
    // Another station's paths name files on its own computer: a file of
    // this one with the same name is another set.
    if (legge_dal_server() && s.stazione != club_->connessione().stazione) {
        avvisa(QStringLiteral("Questa serie \u00e8 stata registrata da un'altra stazione del club: la sua prova "
                              "intera \u00e8 nella cartella dei dati di quella stazione."));
        return;
    }
    const QString intero = storico_->assoluto(s.file_intero);
    if (intero.isEmpty() || !QFileInfo::exists(intero)) {
        avvisa(QStringLiteral("La prova intera di questa serie non \u00e8 nella cartella dei dati: si trovano solo "
                              "i risultati, in \"%1\".")
                   .arg(QDir::toNativeSeparators(storico_->assoluto(s.file))));
        return;
    }
    if (apri_prova) apri_prova(intero);
}

QString Frm_storico::esporta_profilo(const QString& percorso) {
    const AtletaStorico a = atleta();
    IntestazioneProfilo i;
    i.atleta = a.nome.toStdString();
    i.squadra = a.squadra.toStdString();
    i.esercizio = cbo_esercizio->currentText().toStdString();
    i.vmp = opt_vmp->isChecked();
    i.dal = data_ora(txt_dal->date().startOfDay());
    i.al = data_ora(txt_al->date().startOfDay());
    i.velocita_1rm = txt_velocita_1rm->value();
    const FormatoLocale f = formato_locale();
    const QString e = scrivi_file(percorso, testo_profilo(i, punti_profilo(sessioni_, i.vmp), profilo_, f));
    if (!e.isEmpty()) avvisa(e);
    return e;
}

QString Frm_storico::esporta_grafico(const QString& percorso) {
    QWidget* pagina = schede->currentWidget();
    QCustomPlot* g = pagina == grafico_profilo     ? grafico_profilo
                     : pagina == grafico_massimale ? grafico_massimale
                                                   : grafico_carico;
    const bool pdf = percorso.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    // The picture is the chart as it is on screen, at least a printable size.
    const int w = std::max(g->width(), 800), h = std::max(g->height(), 500);
    const bool ok = pdf ? g->savePdf(percorso, w, h) : g->savePng(percorso, w, h);
    if (ok) return {};
    const QString e = QStringLiteral("Impossibile salvare il grafico in \"%1\".").arg(QDir::toNativeSeparators(percorso));
    avvisa(e);
    return e;
}

namespace {

QString chiedi(QWidget* w, const QString& titolo, const QString& proposto, const QString& filtro,
               const std::function<QString(const QString&, const QString&, const QString&)>& hook,
               const QString& cartella) {
    if (hook) return hook(titolo, proposto, filtro);
    return QFileDialog::getSaveFileName(w, titolo, QDir(cartella).filePath(proposto), filtro);
}

} // namespace

void Frm_storico::Cmd_esporta_profilo_Click() {
    const QString nome = nome_file_valido(QStringLiteral("Profilo %1 %2").arg(atleta().nome, cbo_esercizio->currentText()));
    QString p = chiedi(this, QStringLiteral("Esporta profilo"), nome + QStringLiteral(".csv"), QStringLiteral("*.csv"),
                       chiedi_file, storico_->cartella_dati());
    if (p.isEmpty()) return;
    if (QFileInfo(p).suffix().isEmpty()) p += QStringLiteral(".csv");
    esporta_profilo(p);
}

void Frm_storico::Cmd_esporta_grafico_Click() {
    const QString nome = nome_file_valido(QStringLiteral("%1 %2 %3").arg(schede->tabText(schede->currentIndex()),
                                                                         atleta().nome, cbo_esercizio->currentText()));
    QString p = chiedi(this, QStringLiteral("Esporta grafico"), nome + QStringLiteral(".png"),
                       QStringLiteral("Immagine PNG (*.png);;Documento PDF (*.pdf)"), chiedi_file,
                       storico_->cartella_dati());
    if (p.isEmpty()) return;
    if (QFileInfo(p).suffix().isEmpty()) p += QStringLiteral(".png");
    esporta_grafico(p);
}

} // namespace vexa
