#include "storico.h"

#include "storico_interno.h"

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

using namespace interno;

namespace {

QAtomicInteger<quint64> connessioni{0};

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

Storico::Storico(const QString& cartella_dati, Opzioni o) : Storico(cartella_dati, ConnessioneStorico{}, o) {}

Storico::Storico(const QString& cartella_dati, const ConnessioneStorico& connessione, Opzioni o)
    : cartella_(QDir::cleanPath(cartella_dati)), c_(connessione), o_(o) {
    if (!c_.server() && c_.file.isEmpty()) c_.file = QDir(cartella_).filePath(QLatin1String(NOME_FILE_STORICO));
    const QString canonica = QFileInfo(cartella_).canonicalFilePath();
    cartella_canonica_ = canonica.isEmpty() ? QDir(cartella_).absolutePath() : canonica;
    nome_connessione_ = QStringLiteral("vexa_storico_%1").arg(++connessioni);
}

Storico::~Storico() { chiudi(); }

QString Storico::percorso() const { return c_.server() ? c_.descrizione() : c_.file; }

EsitoStorico Storico::errore(const QSqlError& e, const char* cosa) {
    ++fallimenti_;
    const StatoStorico s = motore::classifica(c_.motore, e);
    const QString file = nativo(percorso());
    const QString motivo = e.databaseText().isEmpty() ? e.text() : e.databaseText().trimmed();
    QString testo;
    if (c_.server()) {
        if (motore::accesso_rifiutato(e))
            testo = QStringLiteral("Il server del club \"%1\" ha rifiutato l'accesso (%2). La password va nel file "
                                   "delle password di PostgreSQL (~/.pgpass) o in PGPASSWORD.").arg(file, motivo);
        else if (s == StatoStorico::Occupato)
            testo = QStringLiteral("Il server del club \"%1\" \u00e8 occupato da un'altra stazione e non si \u00e8 "
                                   "liberato in tempo.").arg(file);
        else
            testo = QStringLiteral("Impossibile usare il server del club \"%1\": %2.").arg(file, motivo);
        qCWarning(lcStorico).noquote() << cosa << "non riuscito:" << e.text() << "codice" << e.nativeErrorCode();
        return errore_ = EsitoStorico{s, testo};
    }
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
bool Storico::inizia_scrittura() { return esegui(motore::inizio_scrittura(c_.motore), "inizio della scrittura"); }
bool Storico::conferma() {
    if (esegui(QStringLiteral("COMMIT"), "conferma della scrittura")) return true;
    annulla();
    return false;
}
void Storico::annulla() {
    QSqlQuery q(db_);
    q.exec(QStringLiteral("ROLLBACK"));
}

int Storico::esiste_tabella(const QString& nome) {
    QSqlQuery q(db_);
    q.prepare(c_.server() ? QStringLiteral("SELECT 1 FROM information_schema.tables "
                                           "WHERE table_schema = current_schema() AND table_name = ?")
                          : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(nome);
    if (!esegui(q, "lettura della versione")) return -1;
    return q.next() ? 1 : 0;
}

// The version table came with the third version. SQLite's own counter is
// still kept, and the higher of the two counts, so an older program finds a
// newer database and leaves it alone.
int Storico::versione() {
    int v = 0;
    if (!c_.server()) {
        QSqlQuery q(db_);
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            errore(q.lastError(), "lettura della versione");
            return -1;
        }
        v = q.value(0).toInt();
    }
    const int tabella = esiste_tabella(QStringLiteral("versione_schema"));
    if (tabella < 0) return -1;
    if (tabella) {
        QSqlQuery q(db_);
        if (!q.exec(QStringLiteral("SELECT versione FROM versione_schema WHERE chiave = 1"))) {
            errore(q.lastError(), "lettura della versione");
            return -1;
        }
        if (q.next()) v = std::max(v, q.value(0).toInt());
    }
    return v;
}

EsitoStorico Storico::apri(bool verifica) { return apri_fino_a(VERSIONE_STORICO, verifica); }
EsitoStorico Storico::apri_alla_versione(int versione) { return apri_fino_a(versione, false); }

EsitoStorico Storico::apri_fino_a(int versione_voluta, bool verifica) {
    chiudi();
    const QString file = nativo(percorso());
    const QString driver = motore::nome_driver(c_.motore);
    if (!QSqlDatabase::isDriverAvailable(driver))
        return errore_ = {StatoStorico::Inaccessibile,
                          c_.server() ? QStringLiteral("Impossibile usare il server del club: manca il driver PostgreSQL "
                                                       "di Qt (pacchetto libqt6sql6-psql).")
                                      : QStringLiteral("Impossibile usare lo storico: manca il driver SQLite di Qt "
                                                       "(pacchetto libqt6sql6-sqlite).")};
    if (!QFileInfo(c_.server() ? cartella_ : QFileInfo(c_.file).absolutePath()).isDir())
        return errore_ = {StatoStorico::Inaccessibile,
                          QStringLiteral("Impossibile usare lo storico \"%1\": la cartella dei dati non esiste.").arg(file)};
    appena_creato_ = !c_.server() && !QFileInfo::exists(c_.file);
    db_ = QSqlDatabase::addDatabase(driver, nome_connessione_);
    if (!motore::apri(db_, c_, o_.attesa_occupato_ms)) {
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
    errore_ = {StatoStorico::Pronto, {}};
    // Per connection, not stored in the file.
    if (!c_.server() && !esegui(QStringLiteral("PRAGMA foreign_keys = ON"), "attivazione delle chiavi esterne"))
        return fallito();
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
    if (!c_.server()) {
        // Readers go on while a set is written, and a second copy of the
        // program waits for the lock instead of failing.
        if (!esegui(QStringLiteral("PRAGMA journal_mode = WAL"), "passaggio al registro WAL")) return fallito();
        // With the log, a power cut may lose the last sets written but never
        // damages the file; the results files have them anyway.
        if (!esegui(QStringLiteral("PRAGMA synchronous = NORMAL"), "scelta della sincronizzazione")) return fallito();
    }
    if (verifica && !c_.server()) {
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
    prepara(versione_voluta);
    qCInfo(lcStorico).noquote() << "storico aperto:" << file << (appena_creato_ ? "(nuovo)" : "");
    return errore_ = {StatoStorico::Pronto, {}};
}

void Storico::prepara(int versione_voluta) {
    p_ = std::make_unique<Preparate>(db_);
    p_->squadra.prepare(QStringLiteral("INSERT INTO squadre (nome) VALUES (?) ON CONFLICT (nome) DO NOTHING"));
    p_->id_squadra.prepare(QStringLiteral("SELECT id FROM squadre WHERE nome = ?"));
    p_->atleta.prepare(QStringLiteral(
        "INSERT INTO atleti (squadra_id, nome) VALUES (?, ?) ON CONFLICT (squadra_id, nome) DO NOTHING"));
    p_->id_atleta.prepare(QStringLiteral("SELECT id FROM atleti WHERE squadra_id = ? AND nome = ?"));
    p_->esercizio.prepare(QStringLiteral("INSERT INTO esercizi (nome) VALUES (?) ON CONFLICT (nome) DO NOTHING"));
    p_->id_esercizio.prepare(QStringLiteral("SELECT id FROM esercizi WHERE nome = ?"));
    // Older schemas are only made for the tests, which write them by hand.
    if (versione_voluta < VERSIONE_STORICO) return;
    p_->cerca.prepare(QStringLiteral("SELECT id, impronta, tipo_scheda FROM sessioni WHERE stazione = ? AND file = ?"));
    // A set written again waits to go to the club's server again.
    p_->sessione.prepare(QStringLiteral(
        "INSERT INTO sessioni (stazione, file, impronta, atleta_id, esercizio_id, carico_kg, data_ora, tipo_scheda, "
        "file_intero, file_vbt, n_ripetizioni, vmedia_migliore, vmp_migliore, perdita_finale) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (stazione, file) DO UPDATE SET impronta = excluded.impronta, atleta_id = excluded.atleta_id, "
        "esercizio_id = excluded.esercizio_id, carico_kg = excluded.carico_kg, data_ora = excluded.data_ora, "
        "tipo_scheda = COALESCE(excluded.tipo_scheda, sessioni.tipo_scheda), file_intero = excluded.file_intero, "
        "file_vbt = excluded.file_vbt, n_ripetizioni = excluded.n_ripetizioni, "
        "vmedia_migliore = excluded.vmedia_migliore, vmp_migliore = excluded.vmp_migliore, "
        "perdita_finale = excluded.perdita_finale, inviata = NULL"));
    QString colonne = QStringLiteral("sessione_id, numero, nota"), posti = QStringLiteral("?, ?, ?");
    for (const char* c : COLONNE) colonne += QStringLiteral(", ") + QLatin1String(c), posti += QStringLiteral(", ?");
    for (const char* c : COLONNE_VBT) colonne += QStringLiteral(", ") + QLatin1String(c), posti += QStringLiteral(", ?");
    p_->ripetizione.prepare(QStringLiteral("INSERT INTO ripetizioni (%1) VALUES (%2)").arg(colonne, posti));
    p_->togli_ripetizioni.prepare(QStringLiteral("DELETE FROM ripetizioni WHERE sessione_id = ?"));
}

EsitoStorico Storico::aggiorna_schema(int voluta) {
    const auto& passi = passi_schema(c_.motore);
    voluta = std::min(voluta, static_cast<int>(passi.size()));
    for (;;) {
        // Each step whole or not at all; a second copy upgrading at the same
        // moment waits for the lock and then finds the work done.
        if (!inizia_scrittura()) return errore_;
        // The server has no file lock: the stations upgrading at the same
        // moment take turns on a lock of the transaction.
        if (c_.server() && !esegui(QStringLiteral("SELECT pg_advisory_xact_lock(7301)"), "attesa dell'aggiornamento")) {
            annulla();
            return errore_;
        }
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
        bool scritta = true;
        if (c_.server() && v == 0)
            scritta = esegui(QStringLiteral("CREATE TABLE IF NOT EXISTS versione_schema "
                                            "(chiave INTEGER PRIMARY KEY, versione INTEGER NOT NULL)"),
                             "aggiornamento dello schema");
        if (scritta && (c_.server() || v + 1 >= 3)) {
            QSqlQuery q(db_);
            q.prepare(QStringLiteral("INSERT INTO versione_schema (chiave, versione) VALUES (1, ?) "
                                     "ON CONFLICT (chiave) DO UPDATE SET versione = excluded.versione"));
            q.addBindValue(v + 1);
            scritta = esegui(q, "aggiornamento dello schema");
        }
        if (scritta && !c_.server())
            scritta = esegui(QStringLiteral("PRAGMA user_version = %1").arg(v + 1), "aggiornamento dello schema");
        if (!scritta || !conferma()) {
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
    if (c_.server()) return {};
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
    cerca.bindValue(0, testo(c_.stazione));
    cerca.bindValue(1, file);
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
    const QVariantList valori = {testo(c_.stazione),
                                 file,
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
    cerca.bindValue(0, testo(c_.stazione));
    cerca.bindValue(1, file);
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
        // On the server every set is its own transaction: the other stations
        // pushing the same names wait for one set, never for a batch.
        if (lotto.elapsed() > (c_.server() ? -1 : 200)) {
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
        EsitoImportazione e = scrivi(file[i], byte, std::nullopt, QString());
        // Another station writing the same names at the same moment may make
        // the server give up on one of the two: the set is written again.
        if (c_.server() && e.tipo == Importazione::Fallita && e.stato == StatoStorico::Occupato) {
            annulla();
            if (!inizia_scrittura()) {
                r.esito = errore_;
                return r;
            }
            e = scrivi(file[i], byte, std::nullopt, QString());
        }
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
    if (!r.interrotta && !c_.server()) {
        // Sets whose files are gone from the data folder go too; those saved
        // elsewhere stay while their file is there. The club's server keeps
        // every set pushed to it: a station cleaning its disk takes nothing
        // out of the club's history.
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        std::vector<qint64> via;
        q.prepare(QStringLiteral("SELECT id, file FROM sessioni WHERE stazione = ?"));
        q.addBindValue(testo(c_.stazione));
        if (!q.exec()) {
            errore(q.lastError(), "elenco delle serie");
            annulla();
            r.esito = errore_;
            return r;
        }
        while (q.next()) {
            const QString f = q.value(1).toString();
            // A file there but unreadable (damaged, or not ours to read)
            // keeps what was read of it before.
            const bool andato = QDir::isAbsolutePath(f) ? !QFileInfo::exists(f)
                                                        : !visti.contains(f) && !QFileInfo::exists(assoluto(f));
            if (andato) via.push_back(q.value(0).toLongLong());
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

} // namespace vexa
