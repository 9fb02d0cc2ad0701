#include "connessione_storico.h"

#include "storico.h"

#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

namespace vexa {

namespace {

// A libpq parameter goes into a "key=value" list separated by spaces: a value
// with a space, a quote or a backslash could add parameters of its own.
bool parametro_sicuro(const QString& k, const QString& v) {
    static const QRegularExpression chiave(QStringLiteral("^[a-z_]{1,40}$"));
    static const QRegularExpression valore(QStringLiteral("^[A-Za-z0-9_.:/@+-]{1,200}$"));
    return chiave.match(k).hasMatch() && valore.match(v).hasMatch();
}

// Bounded waits: a server gone silent (a pulled cable) ends a call within
// a few seconds instead of the minutes of the system's TCP defaults. The
// window reads on the screen's thread, so this is also the longest it can
// stall when the server goes away between the push's answer and its reading.
constexpr const char* ATTESE = "connect_timeout=3 keepalives=1 keepalives_idle=2 keepalives_interval=1 "
                               "keepalives_count=2 tcp_user_timeout=3000";

} // namespace

QString ConnessioneStorico::descrizione() const {
    if (!server()) return file;
    return QStringLiteral("%1@%2:%3/%4").arg(utente, host).arg(porta).arg(database);
}

QString ConnessioneStorico::url() const {
    if (!server()) return QStringLiteral("sqlite:") + file;
    QUrl u;
    u.setScheme(QStringLiteral("postgresql"));
    u.setUserName(utente);
    u.setHost(host);
    u.setPort(porta);
    u.setPath(QLatin1Char('/') + database);
    QUrlQuery q;
    if (!tls.isEmpty()) q.addQueryItem(QStringLiteral("sslmode"), tls);
    for (const QString& p : opzioni.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype i = p.indexOf(QLatin1Char('='));
        q.addQueryItem(p.left(i), p.mid(i + 1));
    }
    if (!q.isEmpty()) u.setQuery(q);
    return u.toString();
}

std::variant<ConnessioneStorico, QString> ConnessioneStorico::da_url(const QString& testo) {
    ConnessioneStorico c;
    if (testo.startsWith(QLatin1String("sqlite:"))) {
        c.file = testo.mid(7);
        if (c.file.isEmpty()) return QStringLiteral("\"sqlite:\" vuole il percorso del file");
        return c;
    }
    const QUrl u(testo, QUrl::StrictMode);
    if (!u.isValid() || (u.scheme() != QLatin1String("postgresql") && u.scheme() != QLatin1String("postgres")))
        return QStringLiteral("\"%1\" non \u00e8 sqlite:PERCORSO n\u00e9 postgresql://UTENTE@HOST:PORTA/DATABASE").arg(testo);
    if (!u.password().isEmpty())
        return QStringLiteral("la password non va scritta nell'indirizzo: il client di PostgreSQL la prende dal suo "
                              "file delle password (~/.pgpass) o da PGPASSWORD");
    c.motore = Motore::PostgreSQL;
    c.utente = u.userName();
    c.host = u.host();
    c.porta = u.port(5432);
    c.database = u.path().mid(1);
    if (c.utente.isEmpty() || c.host.isEmpty() || c.database.isEmpty() || c.database.contains(QLatin1Char('/')))
        return QStringLiteral("l'indirizzo del server vuole utente, host e database: postgresql://UTENTE@HOST:PORTA/DATABASE");
    const QUrlQuery q(u);
    QStringList altri;
    for (const auto& [k, v] : q.queryItems(QUrl::FullyDecoded)) {
        if (!parametro_sicuro(k, v) || k == QLatin1String("password") || k == QLatin1String("passfile"))
            return QStringLiteral("parametro del server non accettato: \"%1\"").arg(k);
        if (k == QLatin1String("sslmode"))
            c.tls = v;
        else
            altri << k + QLatin1Char('=') + v;
    }
    c.opzioni = altri.join(QLatin1Char(' '));
    return c;
}

QString stazione_locale() {
    QSettings st(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
    QString s = st.value(QStringLiteral("club/stazione")).toString();
    if (s.isEmpty()) {
        s = QUuid::createUuid().toString(QUuid::WithoutBraces);
        st.setValue(QStringLiteral("club/stazione"), s);
        st.sync();
    }
    return s;
}

ConnessioneStorico leggi_club() {
    QSettings st(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
    st.beginGroup(QStringLiteral("club"));
    ConnessioneStorico c;
    c.host = st.value(QStringLiteral("host")).toString().trimmed();
    if (c.host.isEmpty()) return c;
    c.motore = Motore::PostgreSQL;
    c.porta = st.value(QStringLiteral("porta"), 5432).toInt();
    c.database = st.value(QStringLiteral("database")).toString().trimmed();
    c.utente = st.value(QStringLiteral("utente")).toString().trimmed();
    c.tls = st.value(QStringLiteral("tls")).toString().trimmed();
    st.endGroup();
    if (!parametro_sicuro(QStringLiteral("sslmode"), c.tls)) c.tls.clear();
    c.stazione = stazione_locale();
    return c;
}

void salva_club(const ConnessioneStorico& c) {
    QSettings st(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
    st.beginGroup(QStringLiteral("club"));
    st.setValue(QStringLiteral("host"), c.server() ? c.host : QString());
    st.setValue(QStringLiteral("porta"), c.porta);
    st.setValue(QStringLiteral("database"), c.database);
    st.setValue(QStringLiteral("utente"), c.utente);
    st.setValue(QStringLiteral("tls"), c.tls);
    st.endGroup();
    st.sync();
}

namespace motore {

const char* colonna_id(Motore m) {
    // SQLite's alias of the row id; the server's identity column.
    return m == Motore::SQLite ? "INTEGER PRIMARY KEY" : "INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
}

QString inizio_scrittura(Motore m) {
    return m == Motore::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
}

QString nome_driver(Motore m) { return m == Motore::SQLite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"); }

bool apri(QSqlDatabase& db, const ConnessioneStorico& c, int attesa_ms) {
    if (c.motore == Motore::SQLite) {
        db.setDatabaseName(c.file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(attesa_ms));
        return db.open();
    }
    db.setHostName(c.host);
    db.setPort(c.porta);
    db.setDatabaseName(c.database);
    db.setUserName(c.utente);
    // Qt passes these on to libpq as they are; each was checked by da_url or
    // comes from the settings dialog's fixed choices.
    QString o = QString::fromLatin1(ATTESE);
    if (!c.tls.isEmpty() && parametro_sicuro(QStringLiteral("sslmode"), c.tls)) o += QStringLiteral(" sslmode=") + c.tls;
    if (!c.opzioni.isEmpty()) o += QLatin1Char(' ') + c.opzioni;
    // A statement that waits for another station's lock, or a server too
    // slow to answer, gives up rather than hold the caller (the window reads
    // on the screen's thread).
    o += QStringLiteral(" options='-c lock_timeout=%1 -c statement_timeout=%2'")
             .arg(std::max(attesa_ms, 1000))
             .arg(2 * std::max(attesa_ms, 1000));
    db.setConnectOptions(o);
    return db.open();
}

StatoStorico classifica(Motore m, const QSqlError& e) {
    if (m == Motore::PostgreSQL) {
        const QString c = e.nativeErrorCode();
        // Serialisation failure, deadlock, lock not available in time.
        if (c == QLatin1String("40001") || c == QLatin1String("40P01") || c == QLatin1String("55P03"))
            return StatoStorico::Occupato;
        if (c == QLatin1String("XX001") || c == QLatin1String("XX002")) return StatoStorico::Danneggiato;
        return StatoStorico::Inaccessibile;
    }
    // SQLite's primary result code: Qt passes the engine's code through.
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

bool accesso_rifiutato(const QSqlError& e) {
    const QString c = e.nativeErrorCode();
    if (c.startsWith(QLatin1String("28")) || c == QLatin1String("3D000") || c == QLatin1String("42501")) return true;
    // A failed connection carries libpq's text only.
    const QString t = e.databaseText();
    for (const char* s : {"authentication failed", "no password supplied", "pg_hba.conf", "does not exist",
                          "permission denied"})
        if (t.contains(QLatin1String(s), Qt::CaseInsensitive)) return true;
    return false;
}

bool connessione_persa(const QSqlError& e) {
    return e.type() == QSqlError::ConnectionError || e.nativeErrorCode().startsWith(QLatin1String("08")) ||
           e.nativeErrorCode().startsWith(QLatin1String("57P"));
}

} // namespace motore

} // namespace vexa
