#include "servizi_widget.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>

namespace vexa {

void mostra_messaggio_box(QWidget* genitore, const std::string& testo, Icona icona, const std::string& titolo) {
    const QString t = titolo.empty() ? QStringLiteral("Vexa Meter") : QString::fromStdString(titolo);
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icona) {
    case Icona::Informazione: i = QMessageBox::Information; break;
    case Icona::Esclamazione: i = QMessageBox::Warning; break;
    case Icona::Critico: i = QMessageBox::Critical; break;
    case Icona::Nessuna: break;
    }
    QMessageBox box(i, t, QString::fromStdString(testo), QMessageBox::Ok, genitore);
    box.exec();
}

char separatore_di_sistema() {
    const QString p = QLocale::system().decimalPoint();
    return p.size() == 1 && p[0].unicode() < 128 ? static_cast<char>(p[0].unicode()) : '.';
}

void ServiziWidget::messaggio(const std::string& testo, Icona icona, const std::string& titolo) {
    mostra_messaggio_box(finestra_, testo, icona, titolo);
}

void ServiziWidget::beep() {
    QApplication::beep();
}

void ServiziWidget::imposta_titolo_principale(const std::string& testo) {
    if (su_titolo)
        su_titolo(testo);
    else if (finestra_)
        finestra_->setWindowTitle(QString::fromStdString(testo));
}

void ServiziWidget::spegni_pulsante_start() {
    if (su_spegni_start) su_spegni_start();
}

void ServiziWidget::imposta_spostamento(const std::string& testo) {
    if (su_spostamento) su_spostamento(testo);
}

} // namespace vexa
