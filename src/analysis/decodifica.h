// Turning the board's step records into millimetres and milliseconds. The byte
// layouts are the board's own: serial records are 6 bytes back to back, HID
// reports carry eight 8-byte slots after the report ID.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexa {

enum class Collegamento { Seriale, Hid };

inline constexpr int BYTE_RECORD_SERIALE = 6;
inline constexpr int BYTE_BLOCCO_SERIALE = 12; // the receive threshold: two records
inline constexpr int BYTE_BUFFER_HID = 65;     // report ID + 64-byte input report
inline constexpr int RECORD_PER_REPORT_HID = 8;

inline int16_t leggi_i16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

inline int32_t leggi_i32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) |
                                (static_cast<uint32_t>(p[3]) << 24));
}

// Count to mm: the count as a float times the scale, in float, kept as a double.
inline double posizione_mm(int16_t conteggio, float scala_posizione) {
    return static_cast<double>(static_cast<float>(conteggio) * scala_posizione);
}

// Ticks to ms: the product is taken in double and rounded to float.
inline float intervallo_ms(int32_t tick, float scala_tempo) {
    return static_cast<float>(static_cast<double>(tick) * static_cast<double>(scala_tempo));
}

// Decodes `n_record` serial records from `byte` into the two arrays.
void decodifica_seriale(const uint8_t* byte, int n_record, float scala_posizione,
                        float scala_tempo, double* posizione, float* dt);

// Decodes the eight slots of a 65-byte HID read buffer (report ID at index 0).
void decodifica_hid(const uint8_t* buffer65, float scala_posizione, float scala_tempo,
                    double* posizione, float* dt);

} // namespace vexa

namespace vexa {

// Scale factors of a board type. Types other than 1, 2 and 3 get type 3's scales
// and `riconosciuto` false, so the caller can warn the user.
struct ScalaScheda {
    float posizione; // mm per count
    float tempo;     // ms per tick
    bool riconosciuto;
};

inline ScalaScheda scala_per_tipo(int tipo) {
    // Type 3's tick is the float nearest 0.0000833333, not 1/12000: the board's
    // firmware and every stored trial were made with that value.
    switch (tipo) {
    case 1: return {1.288f, 0.0002f, true};
    case 2: return {1.0f, 0.0002f, true};
    case 3: return {1.0f, 0.0000833333f, true};
    default: return {1.0f, 0.0000833333f, false};
    }
}

} // namespace vexa
