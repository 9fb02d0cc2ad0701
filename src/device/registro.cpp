#include "registro.h"

namespace vexa {

Q_LOGGING_CATEGORY(lcSeriale, "vexa.seriale", QtWarningMsg)
Q_LOGGING_CATEGORY(lcProtocollo, "vexa.protocollo", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAnalisi, "vexa.analisi", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "vexa.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcImpostazioni, "vexa.impostazioni", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFile, "vexa.file", QtWarningMsg)

} // namespace vexa
