// Where a history lives: the embedded SQLite file of the data folder (nothing
// to set up) or the club's PostgreSQL server shared by several stations. What
// differs between the two engines is kept here, in a few named functions;
// the schema and the queries of storico.cpp are the same for both.
//
// No password is ever part of a connection: the PostgreSQL client finds it in
// its own password file (~/.pgpass, or PGPASSFILE) or in PGPASSWORD, so
// nothing the program writes or logs can hold one.
#pragma once

#include <QString>

#include <variant>

class QSqlDatabase;
class QSqlError;

namespace vexa {

enum class StatoStorico;

enum class Motore { SQLite, PostgreSQL };

struct ConnessioneStorico {
    Motore motore = Motore::SQLite;
    QString file; // SQLite: the database file; empty is the data folder's "storico.sqlite"
    QString host, database, utente;
    int porta = 5432;
    QString tls;     // libpq's sslmode; empty leaves libpq's default
    QString opzioni; // further libpq parameters after "?" of a URL, "k=v" separated by ' '
    // Whose sets this connection writes: the station's identifier on the
    // server, "" in the station's own history.
    QString stazione;

    bool server() const { return motore == Motore::PostgreSQL; }
    // "utente@host:porta/database", for messages; never a password.
    QString descrizione() const;
    QString url() const;

    // "sqlite:PATH" or "postgresql://USER@HOST:PORT/DATABASE?param=value&...";
    // the connection, or why the text is not one (Italian).
    static std::variant<ConnessioneStorico, QString> da_url(const QString& url);
};

// The club's server of the settings store ("club" group: host, port,
// database, user, TLS mode; never a password), with this station's
// identifier; a connection with no host when none is set.
ConnessioneStorico leggi_club();
void salva_club(const ConnessioneStorico& c);
// This installation's identifier, made once and kept in the settings store.
QString stazione_locale();

// What the engines spell differently.
namespace motore {
// The id column of the schema's tables.
const char* colonna_id(Motore m);
// Starts a write. SQLite takes its write lock at once, so a second writer
// waits here and not halfway through a set; the server locks row by row.
QString inizio_scrittura(Motore m);
// Opens `db` (added with the driver of `motore_di`) for `c`.
bool apri(QSqlDatabase& db, const ConnessioneStorico& c, int attesa_ms);
QString nome_driver(Motore m);
StatoStorico classifica(Motore m, const QSqlError& e);
// The server refused the login (wrong user, password, or not allowed from here).
bool accesso_rifiutato(const QSqlError& e);
// The connection to the server is gone: it must be made again.
bool connessione_persa(const QSqlError& e);
} // namespace motore

} // namespace vexa
