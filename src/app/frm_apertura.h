// frm_apertura: the opening window. Product name, logo and version for one
// second, then the main window and the athlete settings; a key or a click
// skips the wait and opens the main window only.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QTimer;

namespace vexa {

// "Versione 1.3.9": numbers without leading zeros.
QString testo_versione(int maggiore, int minore, int revisione);

class frm_apertura : public QWidget {
    Q_OBJECT
public:
    frm_apertura(int maggiore, int minore, int revisione, QWidget* parent = nullptr);

    QLabel* imgLogo = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblProductName = nullptr;
    QLabel* lblCompanyProduct = nullptr;
    QLabel* lblVersion = nullptr;
    QFrame* Frame1 = nullptr;
    QTimer* Timer1 = nullptr;

    std::function<void()> mostra_principale;
    std::function<void()> mostra_impostazioni;

    void Timer1_Timer();
    void Frame1_Click();
    void Form_KeyPress();

    float tempo_trascorso() const { return trascorso_; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void chiudi();
    float trascorso_ = 0;
    bool chiusa_ = false;
};

// The logo, drawn rather than shipped: a bar path rising over a velocity trace.
QPixmap logo_vexa(int lato);

} // namespace vexa
