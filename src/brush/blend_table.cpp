// BlendTable: T(s, d) for the ten table modes, s = paint value (fastest), d = old value.
// Integer conventions: quotients by 255 truncate; Divide and Screen round half to even
// (the processor's default rounding, std::nearbyint).
#include <cmath>

#include "brush/tables.h"
#include "core/module1.h"

namespace {

inline uint8_t& T(int s, int d, int m) {
    return Module1.BlendTable[(static_cast<size_t>(m) * 256 + d) * 256 + s];
}

}  // namespace

void BuildBlendTable() {
    Module1.BlendTable.assign(kBlendTableSize, 0);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 0) = static_cast<uint8_t>(s + d > 255 ? 255 : s + d);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 1) = static_cast<uint8_t>(d - s < 0 ? 0 : d - s);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 2) = static_cast<uint8_t>(s * d / 255);
    for (int s = 0; s < 256; ++s) T(s, 0, 3) = 255;
    for (int d = 1; d < 256; ++d)
        for (int s = 0; s < 256; ++s) {
            double v = static_cast<double>(s) / d * 255.0;
            if (v > 255.0) v = 255.0;
            T(s, d, 3) = static_cast<uint8_t>(std::nearbyint(v));
        }
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s)
            T(s, d, 4) = static_cast<uint8_t>(std::nearbyint((255.0 - s) / 255.0 * d + s));
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 5) = static_cast<uint8_t>(s > d ? s : d);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 6) = static_cast<uint8_t>(s < d ? s : d);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 7) = static_cast<uint8_t>(s & d);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 8) = static_cast<uint8_t>(s | d);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) T(s, d, 9) = static_cast<uint8_t>(s ^ d);
}
