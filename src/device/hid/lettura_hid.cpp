#include "lettura_hid.h"

#include "analysis/formato.h"

#include <string>
#include <utility>

namespace vexa {

LetturaHid::LetturaHid(Stato& stato, IServizi& servizi, ElaboraBlocco elabora_blocco)
    : stato_(stato), servizi_(servizi), elabora_blocco_(std::move(elabora_blocco)) {}

void LetturaHid::elabora_report(const std::array<uint8_t, BYTE_BUFFER_HID>& buffer_ricezione_hid) {
    if (!stato_.acquisizione_in_corso) return;

    double posizione[RECORD_PER_REPORT_HID];
    float dt[RECORD_PER_REPORT_HID];
    decodifica_hid(buffer_ricezione_hid.data(), stato_.scala_posizione, stato_.scala_tempo, posizione, dt);
    // Up to a thousand reports a second arrive; the label is drawn at most once
    // a frame, so only the newest position of each report is worth formatting.
    constexpr int ultimo = RECORD_PER_REPORT_HID - 1;
    servizi_.imposta_spostamento("Spost(cm)=  " + formatta(posizione[ultimo] / 10, 1, separatore));
    if (elabora_blocco_) elabora_blocco_(ultimo, posizione, dt);
}

} // namespace vexa
