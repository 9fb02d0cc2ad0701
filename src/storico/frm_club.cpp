#include "frm_club.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vexa {

Frm_club::Frm_club(const ConnessioneStorico& c, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Frm_club"));
    setWindowTitle(QStringLiteral("Server del club"));
    txt_host = new QLineEdit(c.server() ? c.host : QString(), this);
    txt_host->setPlaceholderText(QStringLiteral("vuoto: nessun server"));
    txt_porta = new QSpinBox(this);
    txt_porta->setRange(1, 65535);
    txt_porta->setValue(c.porta);
    txt_database = new QLineEdit(c.database, this);
    txt_utente = new QLineEdit(c.utente, this);
    cbo_tls = new QComboBox(this);
    // libpq's sslmode values; "" leaves the client's default.
    const std::pair<const char*, const char*> modi[] = {
        {"", "Predefinita del client"}, {"disable", "Nessuna"}, {"prefer", "Se il server la offre"},
        {"require", "Obbligatoria"}, {"verify-ca", "Obbligatoria, certificato verificato"},
        {"verify-full", "Obbligatoria, certificato e nome verificati"}};
    for (const auto& [valore, testo] : modi) cbo_tls->addItem(QString::fromUtf8(testo), QString::fromLatin1(valore));
    cbo_tls->setCurrentIndex(std::max(0, cbo_tls->findData(c.tls)));

    auto* campi = new QFormLayout;
    campi->addRow(QStringLiteral("Host:"), txt_host);
    campi->addRow(QStringLiteral("Porta:"), txt_porta);
    campi->addRow(QStringLiteral("Database:"), txt_database);
    campi->addRow(QStringLiteral("Utente:"), txt_utente);
    campi->addRow(QStringLiteral("Cifratura (TLS):"), cbo_tls);
    auto* nota = new QLabel(
        QStringLiteral("La password non viene chiesta n\u00e9 salvata dal programma: il client di PostgreSQL la "
                       "prende dal suo file delle password (~/.pgpass, riga host:porta:database:utente:password) "
                       "o dalla variabile PGPASSWORD. Le serie restano sempre anche nello storico di questa "
                       "stazione e vanno al server appena risponde."),
        this);
    nota->setWordWrap(true);
    auto* bottoni = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(bottoni, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(bottoni, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(campi);
    lay->addWidget(nota);
    lay->addWidget(bottoni);
}

ConnessioneStorico Frm_club::connessione() const {
    ConnessioneStorico c;
    c.host = txt_host->text().trimmed();
    if (c.host.isEmpty()) return c;
    c.motore = Motore::PostgreSQL;
    c.porta = txt_porta->value();
    c.database = txt_database->text().trimmed();
    c.utente = txt_utente->text().trimmed();
    c.tls = cbo_tls->currentData().toString();
    return c;
}

} // namespace vexa
