#include "servizi_widget.h"

#include <QApplication>
#include <QMessageBox>

namespace vexa {

void ServiziWidget::messaggio(const std::string& testo, Icona icona, const std::string& titolo) {
    const QString t = titolo.empty() ? QCoreApplication::applicationName() : QString::fromStdString(titolo);
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icona) {
    case Icona::Informazione: i = QMessageBox::Information; break;
    case Icona::Esclamazione: i = QMessageBox::Warning; break;
    case Icona::Critico: i = QMessageBox::Critical; break;
    case Icona::Nessuna: break;
    }
    QMessageBox box(i, t, QString::fromStdString(testo), QMessageBox::Ok, finestra_);
    box.exec();
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
