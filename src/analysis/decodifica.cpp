#include "decodifica.h"

namespace vexa {

void decodifica_seriale(const uint8_t* byte, int n_record, float scala_posizione,
                        float scala_tempo, double* posizione, float* dt) {
    for (int k = 0; k < n_record; ++k) {
        const uint8_t* r = byte + BYTE_RECORD_SERIALE * k;
        posizione[k] = posizione_mm(leggi_i16(r), scala_posizione);
        dt[k] = intervallo_ms(leggi_i32(r + 2), scala_tempo);
    }
}

void decodifica_hid(const uint8_t* buffer65, float scala_posizione, float scala_tempo,
                    double* posizione, float* dt) {
    for (int k = 0; k < RECORD_PER_REPORT_HID; ++k) {
        const uint8_t* r = buffer65 + 8 * k;
        posizione[k] = posizione_mm(leggi_i16(r + 2), scala_posizione);
        dt[k] = intervallo_ms(leggi_i32(r + 4), scala_tempo);
    }
}

} // namespace vexa
