#include "canvas/buffers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/module1.h"
#include "core/rounding.h"

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
    DisplayCopyFollowsImage();
}

void DisplayCopyFollowsImage() {
    Module1State& m = Module1;
    m.RBase = m.RPlane;
    m.GBase = m.GPlane;
    m.BBase = m.BPlane;
}

bool CoverageClearArea(float x1, float y1, float x2, float y2, Rect* rows) {
    const Module1State& m = Module1;
    SortPair(x1, x2);
    SortPair(y1, y2);
    // The far ends become exclusive: floor + 1, clipped to the image.
    rows->x0 = FloorClamp(x1, 0, m.BufferWidth);
    rows->y0 = FloorClamp(y1, 0, m.BufferHeight);
    rows->x1 = FloorClamp(std::floor(static_cast<double>(x2)) + 1, 0, m.BufferWidth);
    rows->y1 = FloorClamp(std::floor(static_cast<double>(y2)) + 1, 0, m.BufferHeight);
    return !rows->empty() && m.FXBuffer.sizeIs(m.BufferWidth, m.BufferHeight);
}

void ClearCoverageRow(int32_t y, int32_t left, int32_t right) {
    // Blocks already clear are only read: a stroke covers little of its rectangle, and memory
    // that is not written need not be written back.
    constexpr int32_t kBlock = 64;
    uint8_t* row = Module1.FXBuffer.row(y);
    for (int32_t x = left; x < right; x += kBlock) {
        const int32_t n = std::min(kBlock, right - x);
        uint8_t any = 0;
        for (int32_t i = 0; i < n; ++i) any |= row[x + i];
        if (any) std::memset(row + x, 0, static_cast<size_t>(n));
    }
}

void ClearFXbuffer(float x1, float y1, float x2, float y2) {
    Rect rows;
    if (!CoverageClearArea(x1, y1, x2, y2, &rows)) return;
    for (int32_t y = rows.y0; y < rows.y1; ++y) ClearCoverageRow(y, rows.x0, rows.x1);
}
