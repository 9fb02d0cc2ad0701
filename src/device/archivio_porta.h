// The serial port's stored values: application "vexameter", section "Properties".
#pragma once

#include <QString>

namespace vexa {

QString leggi_proprieta(const QString& chiave, const QString& predefinito = {});
void salva_proprieta(const QString& chiave, const QString& valore);

} // namespace vexa
