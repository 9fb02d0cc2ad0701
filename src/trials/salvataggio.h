// The trial files on disk: what the user's regional settings give the layouts,
// the time of writing, atomic writes with a reason the user can act on, and
// the names of automatic saves, which never replace an earlier recording.
#pragma once

#include "file_prova.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>
#include <string>
#include <variant>

namespace vexa {

// Decimal separator, time separator (from the locale's short time format) and
// abbreviated month names in the locale's language. A separator the
// single-byte files cannot hold falls back to '.' and ':'.
FormatoLocale formato_locale(const QLocale& locale = QLocale::system());

DataOra data_ora(const QDateTime& quando);
DataOra adesso(); // the current local date and time

// Writes `byte` to `percorso` through a temporary file in the same folder that
// replaces the old file only once it is complete: a failure leaves the old
// file as it was. Empty on success, otherwise an Italian message naming the
// file and the reason (missing folder, permission, disk full...).
QString scrivi_file(const QString& percorso, const QByteArray& byte);
QString scrivi_file(const QString& percorso, const std::string& byte);

// Reads a whole trial file for "Apri...": the bytes, or an Italian message.
// Files over `massimo` bytes are refused rather than loaded.
std::variant<QByteArray, QString> leggi_file(const QString& percorso, qint64 massimo = 512LL * 1024 * 1024);

// `nome` made a valid file name on this platform: the characters a name
// cannot hold become '-', and an empty or dot-only name gets a word.
QString nome_file_valido(const QString& nome);

// The two files of an automatic save, side by side in `cartella` and named by
// the time of the stop: "<name>.csv" for the whole trial and "<name> dati.csv"
// for the results, with "<name> dati vbt.csv" beside it. When any exists (two
// stops in the same second), " (2)", " (3)"... is added to all, so an earlier
// recording is never replaced.
// Nothing when no free name is left.
struct PercorsiAutomatici {
    QString intero, dati;
};
std::optional<PercorsiAutomatici> percorsi_automatici(const QString& cartella, const DataOra& quando,
                                                      const FormatoLocale& f);

} // namespace vexa
