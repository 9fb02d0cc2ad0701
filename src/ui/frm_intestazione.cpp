#include "frm_intestazione.h"

#include "analysis/formato.h"
#include "servizi_widget.h"
#include "disposizione.h"

#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace vexa {

namespace {

QLabel* etichetta(const char* nome, const QString& testo, QWidget* genitore) {
    auto* l = new QLabel(testo, genitore);
    l->setObjectName(QString::fromLatin1(nome));
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    return l;
}

} // namespace

void adatta_carattere(QLabel* etichetta, const QString& testo) {
    const QRect r = etichetta->contentsRect();
    // The first line reaches past the panel's edge; only what shows counts.
    int larghezza = r.width();
    if (const QWidget* p = etichetta->parentWidget()) larghezza = std::min(larghezza, p->width() - etichetta->x());
    if (r.height() <= 0 || larghezza <= 0) return;
    QFont f = etichetta->font();
    // Large enough to read from the rack, never wider than the label.
    int px = std::max(8, static_cast<int>(r.height() * 0.55));
    for (; px > 8; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(testo) <= larghezza) break;
    }
    f.setPixelSize(px);
    etichetta->setFont(f);
}

Frm_intestazione::Frm_intestazione(Stato& stato, QWidget* parent)
    : QWidget(parent), separatore(separatore_di_sistema()), s_(stato) {
    setObjectName(QStringLiteral("Frm_intestazione"));
    setWindowTitle(QStringLiteral("INTESTAZIONE"));
    setAutoFillBackground(true);
    Button_Configura = new PulsanteWidget(PulsanteWidget::Aspetto::Immagine, PulsanteWidget::Azione::Momentaneo, this);
    Button_Configura->setObjectName(QStringLiteral("Button_Configura"));
    Button_Configura->imposta_testi("CONFIGURA", "", "");
    Button_Configura->imposta_suggerimento("Visualizza la scheda di configurazione della prova");
    // One press, one window: the momentary switch changes twice per press.
    Button_Configura->su_cambio_valore = [this](bool v) {
        if (v && su_configura) su_configura();
    };
    Lbl_intestazione = etichetta("Lbl_intestazione", QStringLiteral("intestazione"), this);
    Lbl_intestazione1 = etichetta("Lbl_intestazione1", QStringLiteral("intestazione1"), this);
    Lbl_spostamento = etichetta("Lbl_spostamento", QStringLiteral("Spost.= 0"), this);

    fotogramma_ = new QTimer(this);
    fotogramma_->setSingleShot(true);
    fotogramma_->setInterval(16);
    connect(fotogramma_, &QTimer::timeout, this, &Frm_intestazione::mostra_spostamento);

    riposiziona();
    Aggiorna_intestazione();
}

void Frm_intestazione::Aggiorna_intestazione() {
    const char sep = separatore;
    const std::string riga1 = "Atleta: " + s_.nome_atleta + "    Carico (Kg): " + testo_singolo(s_.carico_kg, sep) +
                              "    Esercizio: " + s_.esercizio;
    const std::string riga2 = "Velocità Max (mm/s): " + testo_singolo(s_.vel_max, sep) +
                              "    Limite Sup. (%): " + testo_singolo(s_.limite_sup, sep) +
                              "    Limite Inf. (%): " + testo_singolo(s_.limite_inf, sep);
    Lbl_intestazione->setText(QString::fromStdString(riga1));
    Lbl_intestazione1->setText(QString::fromStdString(riga2));
    adatta_carattere(Lbl_intestazione, Lbl_intestazione->text());
    adatta_carattere(Lbl_intestazione1, Lbl_intestazione1->text());
}

void Frm_intestazione::riposiziona() {
    const double w = width(), h = height();
    if (w <= 0 || h <= 0) return;
    const Intestazione i = disponi_intestazione(w, h);
    Button_Configura->setGeometry(arrotonda(i.configura));
    Lbl_intestazione->setGeometry(arrotonda(i.riga1));
    Lbl_intestazione1->setGeometry(arrotonda(i.riga2));
    Lbl_spostamento->setGeometry(arrotonda(i.spostamento));
    adatta_carattere(Lbl_intestazione, Lbl_intestazione->text());
    adatta_carattere(Lbl_intestazione1, Lbl_intestazione1->text());
    // The widest live text it will show, so the size does not jump with the value.
    adatta_carattere(Lbl_spostamento, QStringLiteral("Spost(cm)=  -000,0"));
}

void Frm_intestazione::imposta_spostamento(const std::string& testo) {
    spostamento_ = testo;
    spostamento_nuovo_ = true;
    if (!fotogramma_->isActive()) fotogramma_->start();
}

void Frm_intestazione::mostra_spostamento() {
    if (!spostamento_nuovo_) return;
    spostamento_nuovo_ = false;
    Lbl_spostamento->setText(QString::fromStdString(spostamento_));
}

} // namespace vexa
