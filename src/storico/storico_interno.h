// What the history's sources share and no caller needs: the value helpers
// of the bound statements and the schema's steps.
#pragma once

#include "connessione_storico.h"
#include "serie_letta.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

namespace vexa::interno {

// The value columns of a repetition, in the order of the results file.
inline constexpr const char* COLONNE[N_COLONNE_RISULTATI] = {
    "tempo",       "durata_conc", "spost_conc",  "vmedia_conc", "vmax_conc", "t_vmax_conc", "s_vmax_conc",
    "durata_ecc",  "spost_ecc",   "vmedia_ecc",  "vmax_ecc",    "t_vmax_ecc", "s_vmax_ecc"};
inline constexpr const char* COLONNE_VBT[6] = {"vbt_vmedia", "vmp", "vbt_vmax", "pmedia", "pmax", "perdita"};

inline QVariant nullo_double() { return QVariant(QMetaType::fromType<double>()); }
inline QVariant valore(const std::optional<double>& v) { return v ? QVariant(*v) : nullo_double(); }
inline QVariant valore(const std::optional<int>& v) { return v ? QVariant(*v) : QVariant(QMetaType::fromType<int>()); }
// Qt binds a null QString as NULL: names are never NULL, "" is no squad.
inline QVariant testo(const QString& t) { return t.isNull() ? QVariant(QStringLiteral("")) : QVariant(t); }
inline QVariant testo_o_nullo(const QString& t) { return t.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(t); }
inline std::optional<double> opzionale(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toDouble();
}

inline QString testo_data(const DataOra& d) {
    return QDateTime(QDate(d.anno, d.mese, d.giorno), QTime(d.ora, d.minuto, d.secondo)).toString(Qt::ISODate);
}

inline QString nativo(const QString& p) { return QDir::toNativeSeparators(p); }

// The results file "X dati.csv" of an automatic save has its whole trial in
// "X.csv"; every results file has its velocity-training figures in "X vbt.csv"
// when "X.csv" is the results file.
inline QString file_intero_di(const QString& file_dati) {
    const QString coda = QStringLiteral(" dati.csv");
    if (!file_dati.endsWith(coda)) return {};
    const QString intero = file_dati.left(file_dati.size() - coda.size()) + QStringLiteral(".csv");
    return QFileInfo::exists(intero) ? intero : QString();
}

inline QString file_vbt_di(const QString& file_dati) {
    QString base = file_dati;
    if (base.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) base.chop(4);
    const QString vbt = base + QStringLiteral(" vbt.csv");
    return QFileInfo::exists(vbt) ? vbt : QString();
}

inline constexpr qint64 MASSIMO_FILE_DATI = 64LL * 1024 * 1024;

// One list of statements per schema version, for the engine.
const std::vector<QStringList>& passi_schema(Motore m);

} // namespace vexa::interno
