// The round stamp laid into the coverage plane at every stamp position of a stroke.
//
// Profile: with d the distance of a pixel centre (i, j) from the stamp centre, the stamp's
// coverage is 1 up to d = r - 1 and falls to 0 at d = r + 1. The fall-off is linear in d²
// (((r + 1)² - d²) / 4r), which is within a fraction of a grey level of linear in d over that
// band and needs no square root per pixel. Below a radius of 1 the whole stamp is scaled by r²
// (its area), so a vanishing radius fades to nothing instead of staying a full pixel.
//
// Coverage only grows: a stamp of level s (0..255) lifts a byte from old to
// old + round(s × (255 - old) / 255), which is at most 255 and reaches 255 exactly at s = 255.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "brush/brush.h"
#include "brush/stamp.h"

void AAcpen(uint8_t* buffer, float x, float y, float radius, float value, float strength,
            int32_t width, int32_t height) {
    if (buffer == nullptr || width <= 0 || height <= 0) return;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(radius) ||
        !std::isfinite(value) || !std::isfinite(strength))
        return;
    if (!(radius > 0)) return;

    double level = static_cast<double>(value) * strength;
    if (radius < 1) level *= static_cast<double>(radius) * radius;
    if (!(level > 0)) return;
    const int full = static_cast<int>(std::lrint(std::min(level, 255.0)));
    if (full <= 0) return;

    // Pixels with d < r + 1 can receive coverage; the box of them, clipped to the plane.
    const double outer = static_cast<double>(radius) + kStampFringe;
    const double left = std::max(0.0, std::ceil(x - outer));
    const double right = std::min(static_cast<double>(width - 1), std::floor(x + outer));
    const double top = std::max(0.0, std::ceil(y - outer));
    const double bottom = std::min(static_cast<double>(height - 1), std::floor(y + outer));
    if (left > right || top > bottom) return;
    const int j0 = static_cast<int>(top), j1 = static_cast<int>(bottom);

    const float outer2 = static_cast<float>(outer * outer);
    const float fullLevel = static_cast<float>(full);
    // Level per unit of d² in the fall-off: (r + 1)² - (r - 1)² = 4r.
    const float slope = fullLevel / (4.0f * static_cast<float>(kStampFringe) * radius);

    for (int j = j0; j <= j1; ++j) {
        const float dy = static_cast<float>(j) - y;
        const float room = outer2 - dy * dy;  // (r + 1)² - dy²: what dx² may use up
        if (room <= 0) continue;
        const double half = std::sqrt(static_cast<double>(room));
        const double da = std::clamp(std::ceil(x - half), left, right + 1.0);
        const double db = std::clamp(std::floor(x + half), left - 1.0, right);
        const int a = static_cast<int>(da), b = static_cast<int>(db);
        uint8_t* row = buffer + static_cast<size_t>(j) * static_cast<size_t>(width);
        for (int i = a; i <= b; ++i) {
            const float dx = static_cast<float>(i) - x;
            const float c = (room - dx * dx) * slope;
            if (c < 0.5f) continue;
            const int s = c >= fullLevel ? full : static_cast<int>(c + 0.5f);
            const int old = row[i];
            row[i] = static_cast<uint8_t>(old + (s * (255 - old) + 127) / 255);
        }
    }
}
