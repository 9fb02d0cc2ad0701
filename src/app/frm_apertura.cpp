#include "frm_apertura.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace vexa {

QString testo_versione(int maggiore, int minore, int revisione) {
    return QStringLiteral("Versione %1.%2.%3").arg(maggiore).arg(minore).arg(revisione);
}

QPixmap logo_vexa(int lato) {
    QPixmap p(lato, lato);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const double s = lato;
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(20, 40, 70));
    g.drawRoundedRect(QRectF(0, 0, s, s), s * 0.12, s * 0.12);
    // A velocity trace: one repetition, eccentric dip then concentric peak.
    QPainterPath traccia;
    traccia.moveTo(s * 0.08, s * 0.55);
    traccia.cubicTo(s * 0.25, s * 0.55, s * 0.28, s * 0.80, s * 0.40, s * 0.72);
    traccia.cubicTo(s * 0.52, s * 0.64, s * 0.55, s * 0.18, s * 0.70, s * 0.22);
    traccia.cubicTo(s * 0.80, s * 0.25, s * 0.85, s * 0.55, s * 0.92, s * 0.55);
    g.setPen(QPen(QColor(255, 210, 0), s * 0.05, Qt::SolidLine, Qt::RoundCap));
    g.setBrush(Qt::NoBrush);
    g.drawPath(traccia);
    // The bar with its plates at the peak.
    g.setPen(QPen(QColor(230, 230, 230), s * 0.035, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(s * 0.52, s * 0.14), QPointF(s * 0.88, s * 0.14));
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(0, 200, 90));
    g.drawRoundedRect(QRectF(s * 0.55, s * 0.06, s * 0.06, s * 0.16), s * 0.01, s * 0.01);
    g.drawRoundedRect(QRectF(s * 0.79, s * 0.06, s * 0.06, s * 0.16), s * 0.01, s * 0.01);
    return p;
}

frm_apertura::frm_apertura(int maggiore, int minore, int revisione, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frm_apertura"));
    setAttribute(Qt::WA_DeleteOnClose);
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setLineWidth(2);
    Frame1->installEventFilter(this);

    imgLogo = new QLabel(Frame1);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(logo_vexa(160));
    imgLogo->setAlignment(Qt::AlignCenter);
    QFont arial(QStringLiteral("Arial"));
    auto etichetta = [&](const char* nome, int punti, bool grassetto) {
        auto* l = new QLabel(QStringLiteral("Vexa Meter"), Frame1);
        l->setObjectName(QString::fromLatin1(nome));
        QFont f = arial;
        f.setPointSize(punti);
        f.setBold(grassetto);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        return l;
    };
    Label1 = etichetta("Label1", 12, false);
    lblProductName = etichetta("lblProductName", 28, true);
    lblCompanyProduct = etichetta("lblCompanyProduct", 14, false);
    lblVersion = new QLabel(testo_versione(maggiore, minore, revisione), Frame1);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setAlignment(Qt::AlignCenter);

    auto* colonna = new QVBoxLayout(Frame1);
    colonna->addWidget(Label1);
    colonna->addWidget(imgLogo);
    colonna->addWidget(lblProductName);
    colonna->addWidget(lblCompanyProduct);
    colonna->addWidget(lblVersion);
    auto* esterno = new QVBoxLayout(this);
    esterno->setContentsMargins(0, 0, 0, 0);
    esterno->addWidget(Frame1);
    resize(420, 360);
    if (const QScreen* schermo = screen()) move(schermo->availableGeometry().center() - rect().center());

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &frm_apertura::Timer1_Timer);
    Timer1->start();
}

void frm_apertura::Timer1_Timer() {
    if (chiusa_) return;
    trascorso_ += static_cast<float>(Timer1->interval()) / 1000.0f;
    // At least one second, not exactly: a shorter interval sums to 0.99999 or 1.0000001.
    if (trascorso_ >= 1.0f) {
        Timer1->stop();
        chiudi();
        if (mostra_principale) mostra_principale();
        if (mostra_impostazioni) mostra_impostazioni();
    }
}

void frm_apertura::Frame1_Click() {
    if (chiusa_) return;
    chiudi();
    if (mostra_principale) mostra_principale();
}

void frm_apertura::Form_KeyPress() { Frame1_Click(); }

void frm_apertura::chiudi() {
    chiusa_ = true;
    Timer1->stop();
    close();
}

void frm_apertura::keyPressEvent(QKeyEvent* e) {
    e->accept();
    Form_KeyPress();
}

bool frm_apertura::eventFilter(QObject* o, QEvent* e) {
    if (o == Frame1 && e->type() == QEvent::MouseButtonRelease) {
        Frame1_Click();
        return true;
    }
    return QWidget::eventFilter(o, e);
}

} // namespace vexa
