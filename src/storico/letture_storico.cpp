// The history's readings: the window's and the profile's queries, and the
// station's sets waiting for the club's server.
#include "storico.h"

#include "storico_interno.h"

#include <QSettings>
#include <QSqlError>
#include <QUrl>
#include <QSqlQuery>

namespace vexa {

using namespace interno;

std::vector<Storico::DaInviare> Storico::da_inviare(int massimo) {
    std::vector<DaInviare> d;
    if (!aperto_) return d;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT s.file, s.impronta, q.nome, s.tipo_scheda FROM sessioni s "
                             "JOIN atleti a ON a.id = s.atleta_id JOIN squadre q ON q.id = a.squadra_id "
                             "WHERE s.stazione = ? AND (s.inviata IS NULL OR s.inviata <> s.impronta) "
                             "ORDER BY s.data_ora, s.id LIMIT ?"));
    q.addBindValue(testo(c_.stazione));
    q.addBindValue(massimo);
    if (!esegui(q, "elenco delle serie da inviare")) return d;
    while (q.next()) {
        DaInviare x{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), std::nullopt};
        if (!q.value(3).isNull()) x.tipo_scheda = q.value(3).toInt();
        d.push_back(std::move(x));
    }
    return d;
}

int Storico::quante_da_inviare() {
    if (!aperto_) return -1;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM sessioni WHERE stazione = ? AND (inviata IS NULL OR inviata <> impronta)"));
    q.addBindValue(testo(c_.stazione));
    if (!esegui(q, "conteggio delle serie da inviare") || !q.next()) return -1;
    return q.value(0).toInt();
}

bool Storico::segna_inviata(const QString& file, const QString& impronta) {
    if (!aperto_ || !inizia_scrittura()) return false;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("UPDATE sessioni SET inviata = ? WHERE stazione = ? AND file = ?"));
    q.addBindValue(impronta);
    q.addBindValue(testo(c_.stazione));
    q.addBindValue(file);
    if (!esegui(q, "segno della serie inviata")) {
        annulla();
        return false;
    }
    return conferma();
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
        "s.vmedia_migliore, s.vmp_migliore, s.perdita_finale, s.tipo_scheda, s.stazione "
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
        x.stazione = q.value(11).toString();
        s.push_back(std::move(x));
    }
    return s;
}

namespace {

// The coach's velocity at 1RM is not in any file of the sets, so a history
// moved aside and rebuilt from them would forget it: the settings store
// keeps a copy, which answers where the history has none.
QString chiave_velocita_1rm(const QString& esercizio) {
    return QStringLiteral("velocita_1rm/") + QString::fromLatin1(QUrl::toPercentEncoding(esercizio));
}

double velocita_1rm_ricordata(const QString& esercizio) {
    const QVariant v = QSettings(QStringLiteral("vexameter"), QStringLiteral("vexameter")).value(chiave_velocita_1rm(esercizio));
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok && d > 0 ? d : VELOCITA_1RM_PREDEFINITA;
}

} // namespace

double Storico::velocita_1rm(const QString& esercizio) {
    if (!aperto_) return velocita_1rm_ricordata(esercizio);
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT velocita_1rm FROM esercizi WHERE nome = ?"));
    q.addBindValue(testo(esercizio));
    if (!esegui(q, "lettura della velocit\u00e0 a 1RM") || !q.next() || q.value(0).isNull())
        return velocita_1rm_ricordata(esercizio);
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
    QSettings(QStringLiteral("vexameter"), QStringLiteral("vexameter")).setValue(chiave_velocita_1rm(esercizio), mms);
    return {StatoStorico::Pronto, {}};
}

} // namespace vexa
