// The training history: every saved set of the data folder in one database
// ("storico.sqlite" in the data folder), so a coach can look back over weeks
// of sets without opening files one by one. The files stay the record: the
// database holds what they say and can always be rebuilt from them.
//
// One Storico is one connection, used from the thread that made it. The
// schema upgrades itself one numbered step at a time, each in a transaction;
// every write takes the write lock first and waits for it a bounded time, so
// a second copy of the program holding the database makes this one wait,
// then give up with Occupato, never fail halfway through a set.
//
// The same history runs on the club's PostgreSQL server (connessione_storico.h):
// the statements keep to SQL both engines run (upserts with INSERT ... ON
// CONFLICT, values always bound, dates as ISO text, the schema's version in a
// table of its own); what is particular to one engine (SQLite's pragmas and
// write lock, the id column) is kept in a few named places.
#pragma once

#include "connessione_storico.h"
#include "profilo.h"
#include "serie_letta.h"

#include <QDate>
#include <QDateTime>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSqlError;
class QSqlQuery;

namespace vexa {

Q_DECLARE_LOGGING_CATEGORY(lcStorico) // vexa.storico: the history database

inline constexpr const char* NOME_FILE_STORICO = "storico.sqlite";
// 1: squads, athletes, exercises, sets and their repetitions.
// 2: the velocity-training figures, and the velocity at 1RM of each exercise.
// 3: the station that lifted each set, what the club's server has of it, and
//    the version in a table both engines keep.
inline constexpr int VERSIONE_STORICO = 3;

enum class StatoStorico {
    Chiuso,
    Pronto,
    Occupato,      // another connection holds the write lock past the wait
    Danneggiato,   // not a database, or a damaged one
    PiuRecente,    // written by a newer program: left alone
    Inaccessibile, // cannot be opened or written (permissions, full disk, no driver)
};

struct EsitoStorico {
    StatoStorico stato = StatoStorico::Chiuso;
    QString messaggio; // Italian, for the user; empty when Pronto
    bool ok() const { return stato == StatoStorico::Pronto; }
};

enum class Importazione { Aggiunta, Aggiornata, Invariata, SenzaRipetizioni, Illeggibile, Fallita };

struct EsitoImportazione {
    Importazione tipo = Importazione::Fallita;
    QString messaggio;                           // why, when Illeggibile or Fallita
    StatoStorico stato = StatoStorico::Pronto;   // the database's trouble, when Fallita
};

struct Ricostruzione {
    int file_dati = 0; // results files found
    int aggiunte = 0, aggiornate = 0, invariate = 0, senza_ripetizioni = 0, illeggibili = 0, rimosse = 0;
    bool interrotta = false;
    EsitoStorico esito;     // how the database took it
    QStringList problemi;   // one line per unreadable file
    QString riepilogo() const;
};

struct AtletaStorico {
    QString squadra, nome;
    bool operator==(const AtletaStorico&) const = default;
};

struct SessioneStorico {
    qint64 id = 0;
    QString file, file_intero, file_vbt; // as stored: under the data folder, relative with "/"
    QDateTime quando;
    double carico_kg = 0;
    int ripetizioni = 0;
    std::optional<double> vmedia_migliore, vmp_migliore, perdita_finale;
    std::optional<int> tipo_scheda;
    QString stazione; // who lifted it, on the club's server; "" in the station's own history
};

struct FiltroSessioni {
    AtletaStorico atleta;
    QString esercizio;
    QDate dal, al; // both included; a null date leaves that end open
};

// One profile point per set that has the chosen velocity (the best mean
// concentric velocity, or the best VMP), in the sets' order.
std::vector<PuntoDatato> punti_profilo(const std::vector<SessioneStorico>& sessioni, bool vmp);
// The profile of those points; with VMP chosen and no set that has it, the
// reason says so rather than that there are no sets.
Profilo profilo_delle_sessioni(const std::vector<SessioneStorico>& sessioni, bool vmp, double velocita_1rm);

class Storico {
public:
    struct Opzioni {
        // How long a write waits for another connection's lock.
        int attesa_occupato_ms = 2000;
    };
    explicit Storico(const QString& cartella_dati);
    Storico(const QString& cartella_dati, Opzioni o);
    // The history of `connessione`: the club's server, or another SQLite file.
    // Paths of sets are still taken under `cartella_dati`.
    Storico(const QString& cartella_dati, const ConnessioneStorico& connessione, Opzioni o);
    ~Storico();
    Storico(const Storico&) = delete;
    Storico& operator=(const Storico&) = delete;

    const QString& cartella_dati() const { return cartella_; }
    const ConnessioneStorico& connessione() const { return c_; }
    // The SQLite file, or the server's description.
    QString percorso() const;

    // Opens the database, creating it or bringing its schema up to date.
    // `verifica` also reads every page for damage (a background check).
    EsitoStorico apri(bool verifica = false);
    // As apri(), stopping the schema at `versione`: older databases for the tests.
    EsitoStorico apri_alla_versione(int versione);
    void chiudi();
    bool aperto() const { return aperto_; }
    // The file did not exist before the last apri().
    bool appena_creato() const { return appena_creato_; }
    int versione();

    // Closes the database and renames it (and its log files) to
    // "storico.sqlite.danneggiato-<date and time>"; the new name, or empty
    // when it could not be moved.
    QString metti_da_parte();

    // One results file into the history (with its velocity-training file
    // when there is one), in one transaction. A set already there is
    // replaced when its files changed; `tipo_scheda`, when known, is kept
    // over later imports that do not know it. `squadra_fuori` names the squad
    // of a file saved outside the athlete's folder.
    EsitoImportazione importa(const QString& file_dati, std::optional<int> tipo_scheda = {},
                              const QString& squadra_fuori = {});
    // Every results file under the data folder into the history; sets whose
    // files are gone are taken out. Running it again changes nothing.
    // `avanzamento` is told the ".csv" files looked at and found, and stops
    // the rebuild by returning false.
    Ricostruzione ricostruisci(const std::function<bool(int fatti, int totali)>& avanzamento = {});

    // The station's sets the club's server does not have yet (as they are
    // now), oldest first, and their count; what the server took is marked
    // with the files' content it saw, so a set changed since goes again.
    struct DaInviare {
        QString file, impronta, squadra;
        std::optional<int> tipo_scheda;
    };
    std::vector<DaInviare> da_inviare(int massimo);
    int quante_da_inviare();
    bool segna_inviata(const QString& file, const QString& impronta);

    std::vector<AtletaStorico> atleti();
    QStringList esercizi(const AtletaStorico& atleta);
    std::vector<SessioneStorico> sessioni(const FiltroSessioni& filtro);
    // The exercise's velocity at 1RM, mm/s (the default when none was set).
    double velocita_1rm(const QString& esercizio);
    EsitoStorico imposta_velocita_1rm(const QString& esercizio, double mms);

    QString relativo(const QString& percorso) const;
    QString assoluto(const QString& memorizzato) const;

    // The connection, for the tests and the tools that look inside.
    QSqlDatabase database() const { return db_; }
    // The last failure, classified, with its message.
    const EsitoStorico& ultimo_errore() const { return errore_; }
    // Failures so far: a reader compares it before and after, since a list
    // that failed to read comes back empty like one with nothing in it.
    int fallimenti() const { return fallimenti_; }

private:
    struct Preparate;
    EsitoStorico apri_fino_a(int versione, bool verifica);
    EsitoStorico aggiorna_schema(int versione);
    EsitoStorico errore(const QSqlError& e, const char* cosa);
    bool esegui(QSqlQuery& q, const char* cosa);
    bool esegui(const QString& sql, const char* cosa);
    bool inizia_scrittura();
    bool conferma();
    void annulla();
    EsitoImportazione scrivi(const QString& file_dati, const QByteArray& byte, std::optional<int> tipo_scheda,
                             const QString& squadra_fuori);
    int esiste_tabella(const QString& nome); // 1, 0, or -1 on failure
    void prepara(int versione);

    QString cartella_, cartella_canonica_;
    ConnessioneStorico c_;
    Opzioni o_;
    QString nome_connessione_;
    QSqlDatabase db_;
    bool aperto_ = false;
    bool appena_creato_ = false;
    EsitoStorico errore_;
    int fallimenti_ = 0;
    std::unique_ptr<Preparate> p_;
};

} // namespace vexa
