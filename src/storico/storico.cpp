#include "storico.h"

#include "trials/salvataggio.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace vexa {

Q_LOGGING_CATEGORY(lcStorico, "vexa.storico", QtWarningMsg)

namespace {

// SQLite's alias of the row id; a server engine spells the same column as an
// identity column, and nothing else in the schema differs.
#define VEXA_ID "INTEGER PRIMARY KEY"

// The value columns of a repetition, in the order of the results file.
constexpr const char* COLONNE[N_COLONNE_RISULTATI] = {
    "tempo",       "durata_conc", "spost_conc",  "vmedia_conc", "vmax_conc", "t_vmax_conc", "s_vmax_conc",
    "durata_ecc",  "spost_ecc",   "vmedia_ecc",  "vmax_ecc",    "t_vmax_ecc", "s_vmax_ecc"};
constexpr const char* COLONNE_VBT[6] = {"vbt_vmedia", "vmp", "vbt_vmax", "pmedia", "pmax", "perdita"};

// One list of statements per schema version: step k takes a database of
// version k - 1 to version k. A step is never changed once released; a new
// version gets a new step.
const std::vector<QStringList>& passi_schema() {
    static const std::vector<QStringList> passi = [] {
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
        return std::vector<QStringList>{
            {
                QStringLiteral("CREATE TABLE squadre (id " VEXA_ID ", nome TEXT NOT NULL UNIQUE)"),
                QStringLiteral("CREATE TABLE atleti (id " VEXA_ID ", squadra_id INTEGER NOT NULL REFERENCES squadre (id), "
                               "nome TEXT NOT NULL, UNIQUE (squadra_id, nome))"),
                QStringLiteral("CREATE TABLE esercizi (id " VEXA_ID ", nome TEXT NOT NULL UNIQUE)"),
                QStringLiteral("CREATE TABLE sessioni (id " VEXA_ID ", file TEXT NOT NULL UNIQUE, impronta TEXT NOT NULL, "
                               "atleta_id INTEGER NOT NULL REFERENCES atleti (id), "
                               "esercizio_id INTEGER NOT NULL REFERENCES esercizi (id), "
                               "carico_kg DOUBLE PRECISION NOT NULL, data_ora TEXT NOT NULL, tipo_scheda INTEGER, "
                               "file_intero TEXT, n_ripetizioni INTEGER NOT NULL, vmedia_migliore DOUBLE PRECISION)"),
                // The window asks for one athlete's exercise over a range of dates.
                QStringLiteral("CREATE INDEX sessioni_atleta_esercizio_data ON sessioni (atleta_id, esercizio_id, data_ora)"),
                ripetizioni,
            },
            secondo,
        };
    }();
    return passi;
}

QAtomicInteger<quint64> connessioni{0};

QVariant nullo_double() { return QVariant(QMetaType::fromType<double>()); }
QVariant valore(const std::optional<double>& v) { return v ? QVariant(*v) : nullo_double(); }
QVariant valore(const std::optional<int>& v) { return v ? QVariant(*v) : QVariant(QMetaType::fromType<int>()); }
// Qt binds a null QString as NULL: names are never NULL, "" is no squad.
QVariant testo(const QString& t) { return t.isNull() ? QVariant(QStringLiteral("")) : QVariant(t); }
QVariant testo_o_nullo(const QString& t) { return t.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(t); }
std::optional<double> opzionale(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toDouble();
}

QString testo_data(const DataOra& d) {
    return QDateTime(QDate(d.anno, d.mese, d.giorno), QTime(d.ora, d.minuto, d.secondo)).toString(Qt::ISODate);
}

QString nativo(const QString& p) { return QDir::toNativeSeparators(p); }

// SQLite's primary result code: Qt passes the engine's code through.
StatoStorico classifica(const QSqlError& e) {
    bool ok = false;
    const int codice = e.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok) return StatoStorico::Inaccessibile;
    switch (codice) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return StatoStorico::Occupato;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return StatoStorico::Danneggiato;
    default:
        return StatoStorico::Inaccessibile;
    }
}

// The results file "X dati.csv" of an automatic save has its whole trial in
// "X.csv"; every results file has its velocity-training figures in "X vbt.csv"
// when "X.csv" is the results file.
QString file_intero_di(const QString& file_dati) {
    const QString coda = QStringLiteral(" dati.csv");
    if (!file_dati.endsWith(coda)) return {};
    const QString intero = file_dati.left(file_dati.size() - coda.size()) + QStringLiteral(".csv");
    return QFileInfo::exists(intero) ? intero : QString();
}

QString file_vbt_di(const QString& file_dati) {
    QString base = file_dati;
    if (base.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) base.chop(4);
    const QString vbt = base + QStringLiteral(" vbt.csv");
    return QFileInfo::exists(vbt) ? vbt : QString();
}

constexpr qint64 MASSIMO_FILE_DATI = 64LL * 1024 * 1024;

} // namespace

struct Storico::Preparate {
    explicit Preparate(const QSqlDatabase& db)
        : squadra(db), id_squadra(db), atleta(db), id_atleta(db), esercizio(db), id_esercizio(db), cerca(db),
          sessione(db), togli_ripetizioni(db), ripetizione(db) {}
    QSqlQuery squadra, id_squadra, atleta, id_atleta, esercizio, id_esercizio, cerca, sessione, togli_ripetizioni,
        ripetizione;
};

std::vector<PuntoDatato> punti_profilo(const std::vector<SessioneStorico>& sessioni, bool vmp) {
    std::vector<PuntoDatato> p;
    for (const SessioneStorico& s : sessioni)
        if (const auto v = vmp ? s.vmp_migliore : s.vmedia_migliore)
            p.push_back({data_ora(s.quando), s.file.toStdString(), {s.carico_kg, *v}});
    return p;
}

Profilo profilo_delle_sessioni(const std::vector<SessioneStorico>& sessioni, bool vmp, double velocita_1rm) {
    std::vector<PuntoProfilo> p;
    for (const PuntoDatato& x : punti_profilo(sessioni, vmp)) p.push_back(x.punto);
    Profilo profilo = calcola_profilo(p, velocita_1rm);
    if (vmp && p.empty() && !sessioni.empty())
        profilo.motivo = "Nessuna serie del periodo ha la VMP (le serie salvate senza il file delle velocit\xC3\xA0 "
                         "non la hanno): il massimale non si pu\xC3\xB2 stimare con la VMP.";
    return profilo;
}

QString Ricostruzione::riepilogo() const {
    QString t = interrotta ? QStringLiteral("Ricostruzione dello storico interrotta: ")
                           : QStringLiteral("Storico ricostruito: ");
    t += QStringLiteral("%1 file dei risultati (%2 serie nuove, %3 aggiornate, %4 invariate")
             .arg(file_dati)
             .arg(aggiunte)
             .arg(aggiornate)
             .arg(invariate);
    if (senza_ripetizioni) t += QStringLiteral(", %1 senza ripetizioni").arg(senza_ripetizioni);
    if (illeggibili) t += QStringLiteral(", %1 illeggibili").arg(illeggibili);
    t += QStringLiteral(")");
    if (rimosse) t += QStringLiteral("; %1 serie tolte perch\u00e9 i loro file non ci sono pi\u00f9").arg(rimosse);
    t += QStringLiteral(".");
    if (!esito.ok() && !esito.messaggio.isEmpty()) t += QStringLiteral(" ") + esito.messaggio;
    return t;
}

Storico::Storico(const QString& cartella_dati) : Storico(cartella_dati, Opzioni{}) {}

Storico::Storico(const QString& cartella_dati, Opzioni o) : cartella_(QDir::cleanPath(cartella_dati)), o_(o) {
    const QString canonica = QFileInfo(cartella_).canonicalFilePath();
    cartella_canonica_ = canonica.isEmpty() ? QDir(cartella_).absolutePath() : canonica;
    nome_connessione_ = QStringLiteral("vexa_storico_%1").arg(++connessioni);
}

Storico::~Storico() { chiudi(); }

QString Storico::percorso() const { return QDir(cartella_).filePath(QLatin1String(NOME_FILE_STORICO)); }

EsitoStorico Storico::errore(const QSqlError& e, const char* cosa) {
    const StatoStorico s = classifica(e);
    const QString file = nativo(percorso());
    QString testo;
    switch (s) {
    case StatoStorico::Occupato:
        testo = QStringLiteral("Lo storico \"%1\" \u00e8 in uso da un'altra copia del programma e non si \u00e8 "
                               "liberato in tempo.").arg(file);
        break;
    case StatoStorico::Danneggiato:
        testo = QStringLiteral("Lo storico \"%1\" \u00e8 danneggiato (%2).").arg(file, e.databaseText());
        break;
    default:
        testo = QStringLiteral("Impossibile usare lo storico \"%1\": %2.").arg(file, e.databaseText().isEmpty() ? e.text() : e.databaseText());
        break;
    }
    qCWarning(lcStorico).noquote() << cosa << "non riuscito:" << e.text() << "codice" << e.nativeErrorCode();
    return errore_ = EsitoStorico{s, testo};
}

bool Storico::esegui(QSqlQuery& q, const char* cosa) {
    if (q.exec()) return true;
    errore(q.lastError(), cosa);
    return false;
}

bool Storico::esegui(const QString& sql, const char* cosa) {
    QSqlQuery q(db_);
    if (q.exec(sql)) return true;
    errore(q.lastError(), cosa);
    return false;
}

// The write lock is taken before anything is read, so a second writer waits
// here for the busy time, never halfway through a set.
bool Storico::inizia_scrittura() { return esegui(QStringLiteral("BEGIN IMMEDIATE"), "inizio della scrittura"); }
bool Storico::conferma() {
    if (esegui(QStringLiteral("COMMIT"), "conferma della scrittura")) return true;
    annulla();
    return false;
}
void Storico::annulla() {
    QSqlQuery q(db_);
    q.exec(QStringLiteral("ROLLBACK"));
}

int Storico::versione() {
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        errore(q.lastError(), "lettura della versione");
        return -1;
    }
    return q.value(0).toInt();
}

EsitoStorico Storico::apri(bool verifica) { return apri_fino_a(VERSIONE_STORICO, verifica); }
EsitoStorico Storico::apri_alla_versione(int versione) { return apri_fino_a(versione, false); }

EsitoStorico Storico::apri_fino_a(int versione_voluta, bool verifica) {
    chiudi();
    const QString file = nativo(percorso());
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return errore_ = {StatoStorico::Inaccessibile,
                          QStringLiteral("Impossibile usare lo storico: manca il driver SQLite di Qt "
                                         "(pacchetto libqt6sql6-sqlite).")};
    if (!QFileInfo(cartella_).isDir())
        return errore_ = {StatoStorico::Inaccessibile,
                          QStringLiteral("Impossibile usare lo storico \"%1\": la cartella dei dati non esiste.").arg(file)};
    appena_creato_ = !QFileInfo::exists(percorso());
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nome_connessione_);
    db_.setDatabaseName(percorso());
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(o_.attesa_occupato_ms));
    if (!db_.open()) {
        const EsitoStorico e = errore(db_.lastError(), "apertura");
        chiudi();
        return errore_ = e;
    }
    aperto_ = true;
    auto fallito = [this] {
        const EsitoStorico e = errore_;
        chiudi();
        return errore_ = e;
    };
    // Per connection, not stored in the file.
    if (!esegui(QStringLiteral("PRAGMA foreign_keys = ON"), "attivazione delle chiavi esterne")) return fallito();
    const int v = versione();
    if (v < 0) return fallito();
    if (v > VERSIONE_STORICO) {
        errore_ = {StatoStorico::PiuRecente,
                   QStringLiteral("Lo storico \"%1\" \u00e8 di una versione pi\u00f9 recente del programma (schema %2, "
                                  "questo programma arriva al %3): non viene usato n\u00e9 modificato.")
                       .arg(file)
                       .arg(v)
                       .arg(VERSIONE_STORICO)};
        qCWarning(lcStorico).noquote() << errore_.messaggio;
        const EsitoStorico e = errore_;
        chiudi();
        return errore_ = e;
    }
    // Readers go on while a set is written, and a second copy of the
    // program waits for the lock instead of failing.
    if (!esegui(QStringLiteral("PRAGMA journal_mode = WAL"), "passaggio al registro WAL")) return fallito();
    // With the log, a power cut may lose the last sets written but never
    // damages the file; the results files have them anyway.
    if (!esegui(QStringLiteral("PRAGMA synchronous = NORMAL"), "scelta della sincronizzazione")) return fallito();
    if (verifica) {
        QSqlQuery q(db_);
        if (!q.exec(QStringLiteral("PRAGMA quick_check"))) {
            errore(q.lastError(), "verifica");
            return fallito();
        }
        const QString esito = q.next() ? q.value(0).toString() : QStringLiteral("nessuna risposta");
        if (esito != QLatin1String("ok")) {
            qCWarning(lcStorico).noquote() << "verifica dello storico:" << esito;
            errore_ = {StatoStorico::Danneggiato,
                       QStringLiteral("Lo storico \"%1\" \u00e8 danneggiato (%2).").arg(file, esito.left(200))};
            return fallito();
        }
    }
    if (!aggiorna_schema(versione_voluta).ok()) return fallito();
    p_ = std::make_unique<Preparate>(db_);
    p_->squadra.prepare(QStringLiteral("INSERT INTO squadre (nome) VALUES (?) ON CONFLICT (nome) DO NOTHING"));
    p_->id_squadra.prepare(QStringLiteral("SELECT id FROM squadre WHERE nome = ?"));
    p_->atleta.prepare(QStringLiteral(
        "INSERT INTO atleti (squadra_id, nome) VALUES (?, ?) ON CONFLICT (squadra_id, nome) DO NOTHING"));
    p_->id_atleta.prepare(QStringLiteral("SELECT id FROM atleti WHERE squadra_id = ? AND nome = ?"));
    p_->esercizio.prepare(QStringLiteral("INSERT INTO esercizi (nome) VALUES (?) ON CONFLICT (nome) DO NOTHING"));
    p_->id_esercizio.prepare(QStringLiteral("SELECT id FROM esercizi WHERE nome = ?"));
    p_->cerca.prepare(QStringLiteral("SELECT id, impronta, tipo_scheda FROM sessioni WHERE file = ?"));
    if (versione_voluta >= 2) {
        p_->sessione.prepare(QStringLiteral(
            "INSERT INTO sessioni (file, impronta, atleta_id, esercizio_id, carico_kg, data_ora, tipo_scheda, "
            "file_intero, file_vbt, n_ripetizioni, vmedia_migliore, vmp_migliore, perdita_finale) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
            "ON CONFLICT (file) DO UPDATE SET impronta = excluded.impronta, atleta_id = excluded.atleta_id, "
            "esercizio_id = excluded.esercizio_id, carico_kg = excluded.carico_kg, data_ora = excluded.data_ora, "
            "tipo_scheda = COALESCE(excluded.tipo_scheda, sessioni.tipo_scheda), file_intero = excluded.file_intero, "
            "file_vbt = excluded.file_vbt, n_ripetizioni = excluded.n_ripetizioni, "
            "vmedia_migliore = excluded.vmedia_migliore, vmp_migliore = excluded.vmp_migliore, "
            "perdita_finale = excluded.perdita_finale"));
        QString colonne = QStringLiteral("sessione_id, numero, nota"), posti = QStringLiteral("?, ?, ?");
        for (const char* c : COLONNE) colonne += QStringLiteral(", ") + QLatin1String(c), posti += QStringLiteral(", ?");
        for (const char* c : COLONNE_VBT) colonne += QStringLiteral(", ") + QLatin1String(c), posti += QStringLiteral(", ?");
        p_->ripetizione.prepare(QStringLiteral("INSERT INTO ripetizioni (%1) VALUES (%2)").arg(colonne, posti));
    }
    p_->togli_ripetizioni.prepare(QStringLiteral("DELETE FROM ripetizioni WHERE sessione_id = ?"));
    qCInfo(lcStorico).noquote() << "storico aperto:" << file << (appena_creato_ ? "(nuovo)" : "");
    return errore_ = {StatoStorico::Pronto, {}};
}

EsitoStorico Storico::aggiorna_schema(int voluta) {
    const auto& passi = passi_schema();
    voluta = std::min(voluta, static_cast<int>(passi.size()));
    for (;;) {
        // Each step whole or not at all; a second copy upgrading at the same
        // moment waits for the lock and then finds the work done.
        if (!inizia_scrittura()) return errore_;
        const int v = versione();
        if (v < 0) {
            annulla();
            return errore_;
        }
        if (v >= voluta) {
            annulla();
            return errore_ = {StatoStorico::Pronto, {}};
        }
        for (const QString& sql : passi[static_cast<std::size_t>(v)])
            if (!esegui(sql, "aggiornamento dello schema")) {
                annulla();
                return errore_;
            }
        if (!esegui(QStringLiteral("PRAGMA user_version = %1").arg(v + 1), "aggiornamento dello schema") || !conferma()) {
            annulla();
            return errore_;
        }
        qCInfo(lcStorico) << "schema dello storico portato alla versione" << v + 1;
    }
}

void Storico::chiudi() {
    p_.reset();
    db_ = QSqlDatabase();
    if (QSqlDatabase::contains(nome_connessione_)) QSqlDatabase::removeDatabase(nome_connessione_);
    aperto_ = false;
}

QString Storico::metti_da_parte() {
    chiudi();
    const QString nuovo =
        percorso() + QStringLiteral(".danneggiato-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFileInfo::exists(nuovo) || !QFile::rename(percorso(), nuovo)) {
        qCWarning(lcStorico).noquote() << "impossibile mettere da parte lo storico" << nativo(percorso());
        return {};
    }
    // The log files belong to the damaged database, not to the new one.
    for (const char* coda : {"-wal", "-shm"}) {
        const QString f = percorso() + QLatin1String(coda);
        if (QFileInfo::exists(f) && !QFile::rename(f, nuovo + QLatin1String(coda))) QFile::remove(f);
    }
    qCWarning(lcStorico).noquote() << "storico danneggiato messo da parte come" << nativo(nuovo);
    return nuovo;
}

QString Storico::relativo(const QString& percorso) const {
    const QFileInfo info(percorso);
    const QString canonico = info.canonicalFilePath();
    const QString p = canonico.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonico;
    if (p.startsWith(cartella_canonica_ + QLatin1Char('/'))) return p.mid(cartella_canonica_.size() + 1);
    return p;
}

QString Storico::assoluto(const QString& memorizzato) const {
    if (memorizzato.isEmpty()) return {};
    return QDir::isAbsolutePath(memorizzato) ? memorizzato : QDir(cartella_).filePath(memorizzato);
}

EsitoImportazione Storico::importa(const QString& file_dati, std::optional<int> tipo_scheda,
                                   const QString& squadra_fuori) {
    if (!aperto_) return {Importazione::Fallita, errore_.messaggio, errore_.ok() ? StatoStorico::Chiuso : errore_.stato};
    auto letto = leggi_file(file_dati, MASSIMO_FILE_DATI);
    if (auto* e = std::get_if<QString>(&letto)) return {Importazione::Illeggibile, *e};
    if (!inizia_scrittura()) return {Importazione::Fallita, errore_.messaggio, errore_.stato};
    EsitoImportazione e = scrivi(file_dati, std::get<QByteArray>(letto), tipo_scheda, squadra_fuori);
    if (e.tipo == Importazione::Aggiunta || e.tipo == Importazione::Aggiornata) {
        if (!conferma()) return {Importazione::Fallita, errore_.messaggio, errore_.stato};
    } else {
        annulla();
    }
    return e;
}

EsitoImportazione Storico::scrivi(const QString& file_dati, const QByteArray& byte, std::optional<int> tipo_scheda,
                                  const QString& squadra_fuori) {

    const QString vbt = file_vbt_di(file_dati);
    std::optional<QByteArray> byte_vbt;
    if (!vbt.isEmpty()) {
        auto l = leggi_file(vbt, MASSIMO_FILE_DATI);
        if (auto* b = std::get_if<QByteArray>(&l)) byte_vbt = *b;
    }
    const QString intero = file_intero_di(file_dati);
    // What the set is made of: a file that changed, or gained its figures or
    // lost its whole trial, is read again.
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(byte);
    h.addData(byte_vbt ? QByteArray("\0v", 2) + *byte_vbt : QByteArray("\0-", 2));
    h.addData(intero.isEmpty() ? QByteArray("\0-", 2) : QByteArray("\0i", 2));
    const QString impronta = QString::fromLatin1(h.result().toHex());
    const QString file = relativo(file_dati);

    QSqlQuery& cerca = p_->cerca;
    cerca.bindValue(0, file);
    if (!esegui(cerca, "ricerca della serie")) return {Importazione::Fallita, errore_.messaggio, errore_.stato};
    const bool esiste = cerca.next();
    // A board type learnt at the save is taken even when the files are as they were.
    const bool invariata = esiste && cerca.value(1).toString() == impronta &&
                           (!tipo_scheda || (!cerca.value(2).isNull() && cerca.value(2).toInt() == *tipo_scheda));
    cerca.finish();
    if (invariata) return {Importazione::Invariata, {}};

    std::optional<std::string_view> testo_vbt;
    if (byte_vbt) testo_vbt = std::string_view(byte_vbt->constData(), static_cast<std::size_t>(byte_vbt->size()));
    auto serie = leggi_serie(std::string_view(byte.constData(), static_cast<std::size_t>(byte.size())), testo_vbt);
    if (auto* e = std::get_if<std::string>(&serie))
        return {Importazione::Illeggibile, QStringLiteral("%1: %2").arg(nativo(file_dati), QString::fromStdString(*e))};
    const SerieLetta& s = std::get<SerieLetta>(serie);
    if (s.ripetizioni.empty()) return {Importazione::SenzaRipetizioni, {}};
    if (!s.avviso.empty())
        qCWarning(lcStorico).noquote() << nativo(vbt) << "non usato:" << QString::fromStdString(s.avviso);

    const QString atleta = QString::fromStdString(s.atleta);
    // The squad is the folder the athlete's folder is in, as the settings
    // window makes them; a file elsewhere in the data folder has none.
    QString squadra;
    const QStringList parti = file.split(QLatin1Char('/'));
    if (QDir::isAbsolutePath(file))
        squadra = squadra_fuori;
    else if (parti.size() == 3 && parti[1] == atleta)
        squadra = parti[0];

    auto fallita = [this] { return EsitoImportazione{Importazione::Fallita, errore_.messaggio, errore_.stato}; };
    auto id = [&](QSqlQuery& inserisci, QSqlQuery& cerca_id, const QVariantList& valori) -> std::optional<qint64> {
        for (int i = 0; i < valori.size(); ++i) {
            inserisci.bindValue(i, valori[i]);
            cerca_id.bindValue(i, valori[i]);
        }
        if (!esegui(inserisci, "scrittura di un nome") || !esegui(cerca_id, "ricerca di un nome") || !cerca_id.next())
            return std::nullopt;
        const qint64 n = cerca_id.value(0).toLongLong();
        cerca_id.finish();
        return n;
    };
    const auto id_squadra = id(p_->squadra, p_->id_squadra, {testo(squadra)});
    if (!id_squadra) return fallita();
    const auto id_atleta = id(p_->atleta, p_->id_atleta, {*id_squadra, testo(atleta)});
    if (!id_atleta) return fallita();
    const auto id_esercizio = id(p_->esercizio, p_->id_esercizio, {testo(QString::fromStdString(s.esercizio))});
    if (!id_esercizio) return fallita();

    QSqlQuery& q = p_->sessione;
    const QVariantList valori = {file,
                                 impronta,
                                 *id_atleta,
                                 *id_esercizio,
                                 s.carico_kg,
                                 testo_data(s.quando),
                                 valore(tipo_scheda),
                                 testo_o_nullo(intero.isEmpty() ? QString() : relativo(intero)),
                                 testo_o_nullo(s.con_vbt ? relativo(vbt) : QString()),
                                 static_cast<int>(s.ripetizioni.size()),
                                 valore(s.vmedia_migliore()),
                                 valore(s.vmp_migliore()),
                                 valore(s.perdita_finale())};
    for (int i = 0; i < valori.size(); ++i) q.bindValue(i, valori[i]);
    if (!esegui(q, "scrittura della serie")) return fallita();
    cerca.bindValue(0, file);
    if (!esegui(cerca, "ricerca della serie") || !cerca.next()) return fallita();
    const qint64 id_sessione = cerca.value(0).toLongLong();
    cerca.finish();

    p_->togli_ripetizioni.bindValue(0, id_sessione);
    if (!esegui(p_->togli_ripetizioni, "scrittura delle ripetizioni")) return fallita();
    QSqlQuery& r = p_->ripetizione;
    for (const RipetizioneSerie& x : s.ripetizioni) {
        int k = 0;
        r.bindValue(k++, id_sessione);
        r.bindValue(k++, x.numero);
        r.bindValue(k++, testo(QString::fromStdString(x.nota)));
        for (const auto& v : x.valori) r.bindValue(k++, valore(v));
        for (const auto* v : {&x.vbt.vmedia, &x.vbt.vmp, &x.vbt.vmax, &x.vbt.pmedia, &x.vbt.pmax, &x.vbt.perdita})
            r.bindValue(k++, valore(*v));
        if (!esegui(r, "scrittura delle ripetizioni")) return fallita();
    }
    return {esiste ? Importazione::Aggiornata : Importazione::Aggiunta, {}};
}

Ricostruzione Storico::ricostruisci(const std::function<bool(int, int)>& avanzamento) {
    Ricostruzione r;
    if (!aperto_) {
        r.esito = errore_.ok() ? EsitoStorico{StatoStorico::Chiuso, QStringLiteral("Lo storico non \u00e8 aperto.")} : errore_;
        return r;
    }
    QStringList file;
    QDirIterator it(cartella_, {QStringLiteral("*.csv")}, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) file << it.next();
    file.sort();
    const int n = static_cast<int>(file.size());

    // Written in batches, so a set saved by the program meanwhile waits a
    // moment, never the whole rebuild.
    QElapsedTimer lotto;
    if (!inizia_scrittura()) {
        r.esito = errore_;
        return r;
    }
    lotto.start();
    QSet<QString> visti;
    for (int i = 0; i < n; ++i) {
        if (avanzamento && !avanzamento(i, n)) {
            r.interrotta = true;
            break;
        }
        if (lotto.elapsed() > 200) {
            if (!conferma() || !inizia_scrittura()) {
                r.esito = errore_;
                return r;
            }
            lotto.restart();
        }
        // Results files are known by their header, not by their name: "Salva
        // dati con nome..." may have called them anything. Whole-trial files,
        // the big ones, are left after their first lines.
        QFile in(file[i]);
        if (!in.open(QIODevice::ReadOnly)) continue;
        QByteArray byte = in.read(4096);
        if (!sembra_file_dati(std::string_view(byte.constData(), static_cast<std::size_t>(byte.size())))) continue;
        ++r.file_dati;
        if (in.size() > MASSIMO_FILE_DATI) {
            ++r.illeggibili;
            r.problemi << QStringLiteral("%1: troppo grande per un file dei risultati.").arg(nativo(file[i]));
            continue;
        }
        byte += in.readAll();
        const EsitoImportazione e = scrivi(file[i], byte, std::nullopt, QString());
        switch (e.tipo) {
        case Importazione::Aggiunta: ++r.aggiunte; break;
        case Importazione::Aggiornata: ++r.aggiornate; break;
        case Importazione::Invariata: ++r.invariate; break;
        case Importazione::SenzaRipetizioni: ++r.senza_ripetizioni; break;
        case Importazione::Illeggibile:
            ++r.illeggibili;
            r.problemi << e.messaggio;
            qCWarning(lcStorico).noquote() << "non letto:" << e.messaggio;
            continue;
        case Importazione::Fallita:
            annulla();
            r.esito = {e.stato, e.messaggio};
            return r;
        }
        visti.insert(relativo(file[i]));
    }
    if (!r.interrotta) {
        // Sets whose files are gone from the data folder go too; those saved
        // elsewhere stay while their file is there.
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        std::vector<qint64> via;
        if (!q.exec(QStringLiteral("SELECT id, file FROM sessioni"))) {
            errore(q.lastError(), "elenco delle serie");
            annulla();
            r.esito = errore_;
            return r;
        }
        while (q.next()) {
            const QString f = q.value(1).toString();
            if (QDir::isAbsolutePath(f) ? !QFileInfo::exists(f) : !visti.contains(f)) via.push_back(q.value(0).toLongLong());
        }
        q.finish();
        QSqlQuery togli(db_);
        togli.prepare(QStringLiteral("DELETE FROM sessioni WHERE id = ?"));
        for (qint64 id : via) {
            togli.bindValue(0, id);
            if (!esegui(togli, "rimozione di una serie")) {
                annulla();
                r.esito = errore_;
                return r;
            }
            ++r.rimosse;
        }
    }
    if (!conferma()) {
        r.esito = errore_;
        return r;
    }
    if (avanzamento && !r.interrotta) avanzamento(n, n);
    r.esito = {StatoStorico::Pronto, {}};
    qCInfo(lcStorico).noquote() << r.riepilogo();
    return r;
}

std::vector<AtletaStorico> Storico::atleti() {
    std::vector<AtletaStorico> a;
    if (!aperto_) return a;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT q.nome, a.nome FROM atleti a JOIN squadre q ON q.id = a.squadra_id "
                               "WHERE EXISTS (SELECT 1 FROM sessioni s WHERE s.atleta_id = a.id) "
                               "ORDER BY a.nome, q.nome"))) {
        errore(q.lastError(), "elenco degli atleti");
        return a;
    }
    while (q.next()) a.push_back({q.value(0).toString(), q.value(1).toString()});
    return a;
}

QStringList Storico::esercizi(const AtletaStorico& atleta) {
    QStringList e;
    if (!aperto_) return e;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT DISTINCT e.nome FROM esercizi e JOIN sessioni s ON s.esercizio_id = e.id "
                             "JOIN atleti a ON a.id = s.atleta_id JOIN squadre q ON q.id = a.squadra_id "
                             "WHERE q.nome = ? AND a.nome = ? ORDER BY e.nome"));
    q.addBindValue(testo(atleta.squadra));
    q.addBindValue(testo(atleta.nome));
    if (!esegui(q, "elenco degli esercizi")) return e;
    while (q.next()) e << q.value(0).toString();
    return e;
}

std::vector<SessioneStorico> Storico::sessioni(const FiltroSessioni& f) {
    std::vector<SessioneStorico> s;
    if (!aperto_) return s;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    // ISO text sorts as the dates do; the end day is taken whole.
    q.prepare(QStringLiteral(
        "SELECT s.id, s.file, s.file_intero, s.file_vbt, s.data_ora, s.carico_kg, s.n_ripetizioni, "
        "s.vmedia_migliore, s.vmp_migliore, s.perdita_finale, s.tipo_scheda "
        "FROM sessioni s JOIN atleti a ON a.id = s.atleta_id JOIN squadre q ON q.id = a.squadra_id "
        "JOIN esercizi e ON e.id = s.esercizio_id "
        "WHERE q.nome = ? AND a.nome = ? AND e.nome = ? AND s.data_ora >= ? AND s.data_ora < ? "
        "ORDER BY s.data_ora, s.id"));
    q.addBindValue(testo(f.atleta.squadra));
    q.addBindValue(testo(f.atleta.nome));
    q.addBindValue(testo(f.esercizio));
    q.addBindValue(f.dal.isValid() ? f.dal.toString(Qt::ISODate) : QStringLiteral("0000"));
    q.addBindValue(f.al.isValid() ? f.al.addDays(1).toString(Qt::ISODate) : QStringLiteral("9999"));
    if (!esegui(q, "elenco delle serie")) return s;
    while (q.next()) {
        SessioneStorico x;
        x.id = q.value(0).toLongLong();
        x.file = q.value(1).toString();
        x.file_intero = q.value(2).toString();
        x.file_vbt = q.value(3).toString();
        x.quando = QDateTime::fromString(q.value(4).toString(), Qt::ISODate);
        x.carico_kg = q.value(5).toDouble();
        x.ripetizioni = q.value(6).toInt();
        x.vmedia_migliore = opzionale(q.value(7));
        x.vmp_migliore = opzionale(q.value(8));
        x.perdita_finale = opzionale(q.value(9));
        if (!q.value(10).isNull()) x.tipo_scheda = q.value(10).toInt();
        s.push_back(std::move(x));
    }
    return s;
}

double Storico::velocita_1rm(const QString& esercizio) {
    if (!aperto_) return VELOCITA_1RM_PREDEFINITA;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT velocita_1rm FROM esercizi WHERE nome = ?"));
    q.addBindValue(testo(esercizio));
    if (!esegui(q, "lettura della velocit\u00e0 a 1RM") || !q.next() || q.value(0).isNull())
        return VELOCITA_1RM_PREDEFINITA;
    return q.value(0).toDouble();
}

EsitoStorico Storico::imposta_velocita_1rm(const QString& esercizio, double mms) {
    if (!aperto_) return errore_;
    if (!inizia_scrittura()) return errore_;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("INSERT INTO esercizi (nome, velocita_1rm) VALUES (?, ?) "
                             "ON CONFLICT (nome) DO UPDATE SET velocita_1rm = excluded.velocita_1rm"));
    q.addBindValue(testo(esercizio));
    q.addBindValue(mms);
    if (!esegui(q, "scrittura della velocit\u00e0 a 1RM")) {
        annulla();
        return errore_;
    }
    if (!conferma()) return errore_;
    return {StatoStorico::Pronto, {}};
}

} // namespace vexa
