#include "frm_crono.h"

#include "analysis/formato.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vexa {
namespace {

// Pattern "00" for a whole number that is never negative here.
QString due_cifre(long valore) { return QString::number(valore).rightJustified(2, QLatin1Char('0')); }

QLineEdit* campo(const QString& testo, QWidget* genitore, int punti) {
    auto* t = new QLineEdit(testo, genitore);
    t->setReadOnly(true);
    t->setAlignment(Qt::AlignCenter);
    QFont f = t->font();
    f.setPointSize(punti);
    t->setFont(f);
    return t;
}

} // namespace

Frm_crono::Frm_crono(ISuono& suono, QWidget* parent) : QWidget(parent, Qt::Window), suono_(suono) {
    setWindowTitle(QStringLiteral("Funzioni Tempo"));

    Fre_crono = new QGroupBox(QStringLiteral("Cronometro"), this);
    Txt_minuti = campo(QStringLiteral("min"), Fre_crono, 20);
    Txt_secondi = campo(QStringLiteral("sec"), Fre_crono, 20);
    Txt_decimi = campo(QStringLiteral("dec"), Fre_crono, 20);
    Command1 = new QPushButton(QStringLiteral("Start"), Fre_crono);
    Command2 = new QPushButton(QStringLiteral("Stop"), Fre_crono);
    auto* griglia = new QGridLayout(Fre_crono);
    griglia->addWidget(Txt_minuti, 0, 0);
    griglia->addWidget(Txt_secondi, 0, 1);
    griglia->addWidget(Txt_decimi, 0, 2);
    griglia->addWidget(Command1, 1, 0);
    griglia->addWidget(Command2, 1, 2);

    Chk_avviso_acustico = new QCheckBox(QStringLiteral("Attiva area avviso acustico"), this);
    Chk_avviso_acustico->setChecked(true);

    Fre_conto_rovescia = new QGroupBox(QStringLiteral("Avviso Acustico"), this);
    txt_valore_cv = campo(QString(), Fre_conto_rovescia, 12);
    cmd_conto_rovescia = new QPushButton(QStringLiteral("Set frequenza"), Fre_conto_rovescia);
    auto* riga = new QHBoxLayout(Fre_conto_rovescia);
    riga->addWidget(txt_valore_cv);
    riga->addWidget(cmd_conto_rovescia);

    auto* colonna = new QVBoxLayout(this);
    colonna->addWidget(Fre_crono);
    colonna->addWidget(Chk_avviso_acustico);
    colonna->addWidget(Fre_conto_rovescia);
    colonna->addStretch();

    Timer_1 = new QTimer(this);
    Timer_1->setInterval(100);

    orologio_.start();
    orologio_ms = [this] { return orologio_.elapsed(); };
    chiedi_valore = [this](const QString& messaggio) -> std::optional<QString> {
        bool ok = false;
        const QString testo = QInputDialog::getText(this, QGuiApplication::applicationDisplayName(), messaggio,
                                                    QLineEdit::Normal, QString(), &ok);
        if (!ok) return std::nullopt;
        return testo;
    };

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Chk_avviso_acustico, &QCheckBox::toggled, this, [this] { Chk_avviso_acustico_Click(); });
    connect(cmd_conto_rovescia, &QPushButton::clicked, this, [this] { cmd_conto_rovescia_Click(); });
    connect(Timer_1, &QTimer::timeout, this, [this] { tick(); });

    mostra_periodo();
}

bool Frm_crono::in_corso() const { return Timer_1->isActive(); }

void Frm_crono::Command1_Click() {
    inizio_ = orologio_ms();
    // A run stopped between two beeps would otherwise beep at its restart's
    // very first tick, since zero is a multiple of every period.
    armato_ = false;
    secondo_precedente_ = 0;
    Timer_1->start();
}

void Frm_crono::Command2_Click() { Timer_1->stop(); }

void Frm_crono::Chk_avviso_acustico_Click() { Fre_conto_rovescia->setVisible(Chk_avviso_acustico->isChecked()); }

void Frm_crono::cmd_conto_rovescia_Click() {
    const auto risposta = chiedi_valore(QStringLiteral("Inserisci valore in secondi:"));
    if (!risposta) return;
    // An unusable answer keeps the period in force: the beep rule takes the
    // seconds modulo the rounded period, which must stay at least 1.
    if (const auto p = leggi_periodo(*risposta, locale)) {
        periodo_ = *p;
        mostra_periodo();
    }
}

std::optional<float> Frm_crono::leggi_periodo(const QString& testo, const QLocale& locale) {
    QLocale l = locale;
    // "1.000" typed in a comma locale means one second, not a thousand.
    l.setNumberOptions(l.numberOptions() | QLocale::RejectGroupSeparator);
    QString t = testo.trimmed();
    if (l.decimalPoint() != QLatin1String(".")) t.replace(QLatin1Char('.'), l.decimalPoint());
    bool ok = false;
    const float v = l.toFloat(t, &ok);
    if (!ok || !std::isfinite(v) || v <= 0 || v > 32767.0f) return std::nullopt;
    if (arrotonda_pari(v) < 1) return std::nullopt;
    return v;
}

void Frm_crono::mostra_periodo() {
    QString testo = QString::fromStdString(testo_singolo(periodo_));
    testo.replace(QLatin1Char('.'), locale.decimalPoint());
    txt_valore_cv->setText(testo + QStringLiteral(" sec"));
}

void Frm_crono::tick() {
    if (!Timer_1->isActive()) return;
    const float trascorso = static_cast<float>(std::max<qint64>(0, orologio_ms() - inizio_));
    const long decimi = arrotonda_pari(trascorso / 100.0f) % 10;
    const float secondi = trascorso / 1000.0f;
    // Saturates instead of overflowing after some 22 days of running.
    const auto minuti = static_cast<int16_t>(std::min(std::floor(secondi / 60.0f), 32767.0f));
    float mostrati = secondi;
    if (secondi >= 60) mostrati = secondi - static_cast<float>(minuti) * 60.0f;

    // A beep needs a non-multiple of the period in between, which a period of
    // one second never has; reaching a new second of the minute arms it too.
    // 60 and the next minute's 0 are the same moment, so they count as one.
    const long k = arrotonda_pari(mostrati);
    const bool secondo_nuovo = k % 60 != secondo_precedente_;
    secondo_precedente_ = k % 60;
    if (Chk_avviso_acustico->isChecked()) {
        const long p = arrotonda_pari(periodo_); // at least 1: leggi_periodo sees to it
        if (k % p != 0 || secondo_nuovo) armato_ = true;
        if (k % p == 0 && armato_) {
            suono_.beep();
            armato_ = false;
        }
    }

    // Seconds are shown rounded, so the last half second of a minute would read
    // "60" beside the old minute; it is shown as the next minute's "00" instead.
    long secondi_interi = QString::fromStdString(formatta(mostrati, 0)).toLong();
    long minuti_mostrati = minuti;
    if (secondi_interi >= 60) {
        secondi_interi -= 60;
        ++minuti_mostrati;
    }
    Txt_secondi->setText(due_cifre(secondi_interi));
    Txt_minuti->setText(due_cifre(minuti_mostrati));
    Txt_decimi->setText(QString::number(decimi));
}

void Frm_crono::closeEvent(QCloseEvent* evento) {
    Timer_1->stop();
    QWidget::closeEvent(evento);
}

} // namespace vexa
