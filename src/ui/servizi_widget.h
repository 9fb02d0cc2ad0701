// Desktop pieces the device link's services are built from: the message box
// the user answers, and the decimal separator the texts are written with.
#pragma once

#include "analysis/servizi.h"

#include <QWidget>

#include <string>

namespace vexa {

// A modal message box with an OK button; an empty title is the program's.
void mostra_messaggio_box(QWidget* genitore, const std::string& testo, Icona icona, const std::string& titolo);

// The user's decimal separator, for the texts built by the formatting helpers
// (a point where the system's is not a single ASCII character).
char separatore_di_sistema();

} // namespace vexa
