// The round stamp laid into the coverage plane at every stamp position of a stroke.
//
// Profile: with d the distance of a pixel centre (i, j) from the stamp centre, the stamp's
// coverage is 1 up to d = r - 1 and falls to 0 at d = r. The fall-off is linear in d²
// ((r² - d²) / (2r - 1)), within a fraction of a grey level of linear in d over that band, and
// needs no square root per pixel. Nothing reaches past the radius: the stroke's rectangle,
// which the undo saves and the release clears, is the samples grown by the brush size (the Size
// slider's least is 1). Below a radius of 1 the stamp is a one-pixel dot (1 - d²) scaled by r²
// (its area), so a thin stroke stays continuous and a vanishing radius fades to nothing.
//
// Coverage only grows: a stamp of level s (0..255) lifts a byte from old to
// old + round(s × (255 - old) / 255), which is at most 255 and reaches 255 exactly at s = 255.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "brush/brush.h"
#include "brush/stamp.h"

namespace {

using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = int32_t __attribute__((vector_size(16)));
using Bytes4 = uint8_t __attribute__((vector_size(4)));

// Four pixels from i on: level c = (room - dx²) × slope in floats; s = 0 below 0.5, full from
// fullLevel on, else c rounded half up; the byte rises by round(s × (255 - old) / 255). The
// same float and integer steps as one pixel at a time, lane by lane. Lanes past last are left
// as they are (their bytes are written back unchanged).
inline void Stamp4(uint8_t* row, int i, int last, float x, float room, float slope,
                   float fullLevel) {
    Bytes4 bytes;
    std::memcpy(&bytes, row + i, sizeof bytes);
    uint32_t word;
    std::memcpy(&word, &bytes, sizeof word);
    if (word == 0xFFFFFFFFu) return;  // full coverage stays full
    const Ints4 index = Ints4{0, 1, 2, 3} + i;
    const Floats4 dx = __builtin_convertvector(index, Floats4) - x;
    const Floats4 c = (room - dx * dx) * slope;
    Floats4 capped = c < fullLevel ? c : fullLevel;
    capped = capped > 0.0f ? capped : 0.0f;
    Ints4 s = __builtin_convertvector(capped + 0.5f, Ints4);
    s = c < 0.5f || index > last ? 0 : s;
    const Ints4 old = __builtin_convertvector(bytes, Ints4);
    const Ints4 v = s * (255 - old) + 127;
    const Ints4 lifted = old + ((v + 1 + (v >> 8)) >> 8);  // v / 255, v <= 65152
    bytes = __builtin_convertvector(lifted, Bytes4);
    std::memcpy(row + i, &bytes, sizeof bytes);
}

// Pixels a .. b of a row of width pixels. Full coverage (255) stays as it is whatever the
// stamp's level, so blocks of sixteen full bytes, the inside of a stroke, are passed over.
void StampRow(uint8_t* row, int a, int b, int width, float x, float room, float slope,
              float fullLevel, int full) {
    int i = a;
    for (; i + 15 <= b; i += 16) {
        uint64_t first, second;
        std::memcpy(&first, row + i, sizeof first);
        std::memcpy(&second, row + i + 8, sizeof second);
        if ((first & second) == ~uint64_t{0}) continue;
        for (int q = 0; q < 16; q += 4) Stamp4(row, i + q, b, x, room, slope, fullLevel);
    }
    // The rest four at a time, the last group reaching past b where the row has room.
    for (; i <= b && i + 3 < width; i += 4) Stamp4(row, i, b, x, room, slope, fullLevel);
    for (; i <= b; ++i) {
        const float dx = static_cast<float>(i) - x;
        const float c = (room - dx * dx) * slope;
        if (c < 0.5f) continue;
        const int s = c >= fullLevel ? full : static_cast<int>(c + 0.5f);
        const int old = row[i];
        row[i] = static_cast<uint8_t>(old + (s * (255 - old) + 127) / 255);
    }
}

}  // namespace

void AAcpen(uint8_t* buffer, float x, float y, float radius, float value, float strength,
            int32_t width, int32_t height) {
    if (buffer == nullptr || width <= 0 || height <= 0) return;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(radius) || !std::isfinite(value) ||
        !std::isfinite(strength))
        return;
    if (!(radius > 0)) return;

    double level = static_cast<double>(value) * strength;
    if (radius < 1) level *= static_cast<double>(radius) * radius;
    if (!(level > 0)) return;
    const int full = static_cast<int>(std::lrint(std::min(level, 255.0)));
    if (full <= 0) return;

    // Pixels with d < outer can receive coverage; the box of them, clipped to the plane.
    const double outer = StampReach(radius);
    const double left = std::max(0.0, std::ceil(x - outer));
    const double right = std::min(static_cast<double>(width - 1), std::floor(x + outer));
    const double top = std::max(0.0, std::ceil(y - outer));
    const double bottom = std::min(static_cast<double>(height - 1), std::floor(y + outer));
    if (left > right || top > bottom) return;
    const int j0 = static_cast<int>(top), j1 = static_cast<int>(bottom);

    const float outer2 = static_cast<float>(outer * outer);
    const float fullLevel = static_cast<float>(full);
    // Level per unit of d² in the fall-off: r² - (r - 1)² = 2r - 1, and 1 for the dot.
    const float slope = fullLevel / (radius > 1 ? 2.0f * radius - 1.0f : 1.0f);

    for (int j = j0; j <= j1; ++j) {
        const float dy = static_cast<float>(j) - y;
        const float room = outer2 - dy * dy;  // outer² - dy²: what dx² may use up
        if (room <= 0) continue;
        const double half = std::sqrt(static_cast<double>(room));
        const double da = std::clamp(std::ceil(x - half), left, right + 1.0);
        const double db = std::clamp(std::floor(x + half), left - 1.0, right);
        const int a = static_cast<int>(da), b = static_cast<int>(db);
        StampRow(buffer + static_cast<size_t>(j) * static_cast<size_t>(width), a, b, width, x, room,
                 slope, fullLevel, full);
    }
}
