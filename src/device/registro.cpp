#include "registro.h"

namespace vexa {

Q_LOGGING_CATEGORY(lcSeriale, "vexa.seriale", QtInfoMsg)
Q_LOGGING_CATEGORY(lcProtocollo, "vexa.protocollo", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAnalisi, "vexa.analisi", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "vexa.ui", QtInfoMsg)
Q_LOGGING_CATEGORY(lcImpostazioni, "vexa.impostazioni", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFile, "vexa.file", QtInfoMsg)

} // namespace vexa
