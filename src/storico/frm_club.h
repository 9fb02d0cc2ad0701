// "Server del club...": where the club's shared history is. No password is
// asked for or kept: the PostgreSQL client takes it from its own password
// file or environment, and the dialog says so.
#pragma once

#include "connessione_storico.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace vexa {

class Frm_club : public QDialog {
    Q_OBJECT
public:
    explicit Frm_club(const ConnessioneStorico& attuale, QWidget* parent = nullptr);
    // What the fields say; no host: no server.
    ConnessioneStorico connessione() const;

    QLineEdit* txt_host = nullptr;
    QSpinBox* txt_porta = nullptr;
    QLineEdit* txt_database = nullptr;
    QLineEdit* txt_utente = nullptr;
    QComboBox* cbo_tls = nullptr;
};

} // namespace vexa
