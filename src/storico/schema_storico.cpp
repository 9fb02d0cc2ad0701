#include "storico_interno.h"

namespace vexa::interno {

// One list of statements per schema version: step k takes a database of
// version k - 1 to version k. A step is never changed once released; a new
// version gets a new step. The engines differ only in the id column and in
// what their tables let a later step change.
const std::vector<QStringList>& passi_schema(Motore m) {
    static const auto fai = [](Motore m) {
        const QString id = QLatin1String(motore::colonna_id(m));
        QString ripetizioni = QStringLiteral(
            "CREATE TABLE ripetizioni (sessione_id INTEGER NOT NULL REFERENCES sessioni (id) ON DELETE CASCADE, "
            "numero INTEGER NOT NULL, ");
        for (const char* c : COLONNE) ripetizioni += QLatin1String(c) + QStringLiteral(" DOUBLE PRECISION, ");
        ripetizioni += QStringLiteral("nota TEXT NOT NULL, PRIMARY KEY (sessione_id, numero))");
        QStringList secondo = {
            QStringLiteral("ALTER TABLE sessioni ADD COLUMN file_vbt TEXT"),
            QStringLiteral("ALTER TABLE sessioni ADD COLUMN vmp_migliore DOUBLE PRECISION"),
            QStringLiteral("ALTER TABLE sessioni ADD COLUMN perdita_finale DOUBLE PRECISION"),
            QStringLiteral("ALTER TABLE esercizi ADD COLUMN velocita_1rm DOUBLE PRECISION"),
        };
        for (const char* c : COLONNE_VBT)
            secondo << QStringLiteral("ALTER TABLE ripetizioni ADD COLUMN %1 DOUBLE PRECISION").arg(QLatin1String(c));
        // The sets already there were read without their velocity-training
        // files: the next rebuild reads them again.
        secondo << QStringLiteral("UPDATE sessioni SET impronta = ''");
        // A set is known by its station and its file: two stations may
        // both have "Squadra/Atleta/... dati.csv". The station's own history
        // holds its sets only (station ""), so SQLite, which cannot drop a
        // constraint, keeps the first version's uniqueness of the file.
        QStringList terzo = {
            // The server has kept it from the first version (it has no counter of its own).
            QStringLiteral("CREATE TABLE IF NOT EXISTS versione_schema (chiave INTEGER PRIMARY KEY, versione INTEGER NOT NULL)"),
            QStringLiteral("ALTER TABLE sessioni ADD COLUMN stazione TEXT NOT NULL DEFAULT ''"),
            QStringLiteral("ALTER TABLE sessioni ADD COLUMN inviata TEXT"),
            QStringLiteral("CREATE UNIQUE INDEX sessioni_stazione_file ON sessioni (stazione, file)"),
        };
        if (m == Motore::PostgreSQL) terzo << QStringLiteral("ALTER TABLE sessioni DROP CONSTRAINT sessioni_file_key");
        return std::vector<QStringList>{
            {
                QStringLiteral("CREATE TABLE squadre (id %1, nome TEXT NOT NULL UNIQUE)").arg(id),
                QStringLiteral("CREATE TABLE atleti (id %1, squadra_id INTEGER NOT NULL REFERENCES squadre (id), "
                               "nome TEXT NOT NULL, UNIQUE (squadra_id, nome))").arg(id),
                QStringLiteral("CREATE TABLE esercizi (id %1, nome TEXT NOT NULL UNIQUE)").arg(id),
                QStringLiteral("CREATE TABLE sessioni (id %1, file TEXT NOT NULL UNIQUE, impronta TEXT NOT NULL, "
                               "atleta_id INTEGER NOT NULL REFERENCES atleti (id), "
                               "esercizio_id INTEGER NOT NULL REFERENCES esercizi (id), "
                               "carico_kg DOUBLE PRECISION NOT NULL, data_ora TEXT NOT NULL, tipo_scheda INTEGER, "
                               "file_intero TEXT, n_ripetizioni INTEGER NOT NULL, vmedia_migliore DOUBLE PRECISION)").arg(id),
                // The window asks for one athlete's exercise over a range of dates.
                QStringLiteral("CREATE INDEX sessioni_atleta_esercizio_data ON sessioni (atleta_id, esercizio_id, data_ora)"),
                ripetizioni,
            },
            secondo,
            terzo,
        };
    };
    static const std::vector<QStringList> sqlite = fai(Motore::SQLite), server = fai(Motore::PostgreSQL);
    return m == Motore::SQLite ? sqlite : server;
}

} // namespace vexa::interno
