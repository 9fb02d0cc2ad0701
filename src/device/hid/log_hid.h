// The USB link's logging category, "vexa.hid". Warnings are always on;
// QT_LOGGING_RULES="vexa.hid.debug=true" shows the rest.
#pragma once

#include <QLoggingCategory>

namespace vexa {

Q_DECLARE_LOGGING_CATEGORY(lcHid)

} // namespace vexa
