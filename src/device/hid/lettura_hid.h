// The read path of the USB link past the read itself: a 64-byte input report
// (behind its report ID) turned into eight positions and step intervals, the
// live position label, and the block handed to the block decoder.
#pragma once

#include "analysis/decodifica.h"
#include "analysis/stato.h"
#include "analysis/servizi.h"

#include <array>
#include <cstdint>
#include <functional>

namespace vexa {

class LetturaHid {
public:
    // Elabora_blocco of the data-handling window: the index of the last record,
    // then positions (mm) and step intervals (ms).
    using ElaboraBlocco = std::function<void(int n_punti, const double* posizione, const float* dt)>;

    LetturaHid(Stato& stato, IServizi& servizi, ElaboraBlocco elabora_blocco);

    // Outside an acquisition the report is left alone: the board's answer to
    // "$D" arrives this way and is no position data.
    void elabora_report(const std::array<uint8_t, BYTE_BUFFER_HID>& buffer_ricezione_hid);

    // Decimal separator of the live label.
    char separatore = '.';

private:
    Stato& stato_;
    IServizi& servizi_;
    ElaboraBlocco elabora_blocco_;
};

} // namespace vexa
