// Feeding a recorded capture through the same decoding and analysis the live
// links use: a serial capture is the raw byte stream, a HID capture a sequence
// of 64-byte input reports without the report ID.
#pragma once

#include "analisi.h"
#include "decodifica.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

// Sets the link flags and scales in `s` for the board type, starts a trial as the
// board's start command does, and runs every record through `a`. Returns an
// error text (Italian, for the user) when the capture is malformed; the records
// before the fault have been analysed.
std::string riproduci_cattura(const std::vector<uint8_t>& cattura, Collegamento link,
                              int tipo_scheda, Stato& s, VistaProva& v, Analizzatore& a);

} // namespace vexa
