#include "archivio_porta.h"

#include <QSettings>

namespace vexa {

namespace {
constexpr auto APPLICAZIONE = "vexameter";
constexpr auto SEZIONE = "Properties";
} // namespace

QString leggi_proprieta(const QString& chiave, const QString& predefinito) {
    QSettings s(APPLICAZIONE, APPLICAZIONE);
    s.beginGroup(SEZIONE);
    return s.value(chiave, predefinito).toString();
}

void salva_proprieta(const QString& chiave, const QString& valore) {
    QSettings s(APPLICAZIONE, APPLICAZIONE);
    s.beginGroup(SEZIONE);
    s.setValue(chiave, valore);
}

} // namespace vexa
