#include "servizi_widget.h"

#include <QMessageBox>
#include <QLocale>

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

} // namespace vexa
