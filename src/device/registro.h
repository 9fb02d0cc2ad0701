// One logging category per subsystem. Warnings and errors are always on;
// QT_LOGGING_RULES="vexa.*.info=true;vexa.*.debug=true" (or one category)
// shows what happens along the way too.
// Errors the user is never shown (a board that cannot tell its sampling time,
// a receive event on a port that went away) are logged here all the same, with
// the port or device they concern. The USB link has its own, "vexa.hid".
#pragma once

#include <QLoggingCategory>

namespace vexa {

Q_DECLARE_LOGGING_CATEGORY(lcSeriale)      // vexa.seriale: the serial port
Q_DECLARE_LOGGING_CATEGORY(lcProtocollo)   // vexa.protocollo: commands, replies, acquisition
Q_DECLARE_LOGGING_CATEGORY(lcAnalisi)      // vexa.analisi: blocks, repetitions, live plot
Q_DECLARE_LOGGING_CATEGORY(lcUi)           // vexa.ui: windows and what the user was told
Q_DECLARE_LOGGING_CATEGORY(lcImpostazioni) // vexa.impostazioni: athletes, exercises, stored settings
Q_DECLARE_LOGGING_CATEGORY(lcFile)         // vexa.file: trial files

} // namespace vexa
