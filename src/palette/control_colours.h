// Window and control colours are 0x00BBGGRR values (red in the low byte), as the host stores
// them; these turn them into Qt colours and back. The high byte is ignored.
#pragma once
#include <QColor>
#include <cstdint>

inline QColor FromBGR(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

inline uint32_t ToBGR(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}
