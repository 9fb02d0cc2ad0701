#include "log_hid.h"

namespace vexa {

Q_LOGGING_CATEGORY(lcHid, "vexa.hid", QtWarningMsg)

} // namespace vexa
