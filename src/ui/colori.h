// Colours travel through the program as 0xBBGGRR integers (red 255, green
// 65280, yellow 65535), the way the limit verdict and the stored styles carry
// them; the widgets paint with QColor.
#pragma once

#include <QColor>

#include <cstdint>

namespace vexa {

inline QColor colore_da_bgr(int32_t bgr) {
    const auto v = static_cast<uint32_t>(bgr);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

inline int32_t bgr_da_colore(const QColor& c) {
    return static_cast<int32_t>(static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
                                (static_cast<uint32_t>(c.blue()) << 16));
}

} // namespace vexa
