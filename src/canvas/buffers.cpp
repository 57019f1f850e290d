#include "canvas/buffers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/module1.h"

void SortPair(float& a, float& b) {
    if (a > b) std::swap(a, b);
}

void AllocateBuffers() {
    Module1State& m = Module1;
    const int32_t w = m.BufferWidth, h = m.BufferHeight;
    for (Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane, &m.FXBuffer, &m.RBase, &m.GBase, &m.BBase})
        *p = Plane(w, h, 0);
}

void clearbuffer() {
    Module1State& m = Module1;
    std::fill(m.RPlane.bytes.begin(), m.RPlane.bytes.end(), uint8_t{255});
    std::fill(m.GPlane.bytes.begin(), m.GPlane.bytes.end(), uint8_t{255});
    std::fill(m.BPlane.bytes.begin(), m.BPlane.bytes.end(), uint8_t{255});
    std::fill(m.FXBuffer.bytes.begin(), m.FXBuffer.bytes.end(), uint8_t{0});
    m.RBase = m.RPlane;
    m.GBase = m.GPlane;
    m.BBase = m.BPlane;
}

namespace {

// floor(v), then clamped to lo..hi; NaN counts as lo. Works for any float, however large.
int32_t FloorClamp(double v, int32_t lo, int32_t hi) {
    if (!(v >= lo)) return lo;
    if (v >= hi) return hi;
    return static_cast<int32_t>(std::floor(v));
}

}  // namespace

void ClearFXbuffer(float x1, float y1, float x2, float y2) {
    Module1State& m = Module1;
    SortPair(x1, x2);
    SortPair(y1, y2);
    // The far ends become exclusive: floor + 1, clipped to the image.
    const int32_t left = FloorClamp(x1, 0, m.BufferWidth);
    const int32_t top = FloorClamp(y1, 0, m.BufferHeight);
    const int32_t right = FloorClamp(std::floor(static_cast<double>(x2)) + 1, 0, m.BufferWidth);
    const int32_t bottom = FloorClamp(std::floor(static_cast<double>(y2)) + 1, 0, m.BufferHeight);
    if (right <= left || bottom <= top || m.FXBuffer.empty()) return;
    for (int32_t y = top; y < bottom; ++y) std::memset(m.FXBuffer.row(y) + left, 0, right - left);
}
