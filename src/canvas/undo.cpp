#include "canvas/undo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/module1.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"

namespace {

// floor(v), clamped into lo..hi (NaN counts as lo): a coordinate however far outside the image.
int32_t FloorInto(double v, int32_t lo, int32_t hi) {
    if (!(v >= lo)) return lo;
    if (v >= hi) return hi;
    return static_cast<int32_t>(std::floor(v));
}

Plane CopyRect(const Plane& src, int32_t x0, int32_t y0, int32_t w, int32_t h) {
    Plane out(w, h);
    for (int32_t j = 0; j < h; ++j) std::memcpy(out.row(j), src.row(y0 + j) + x0, w);
    return out;
}

void PasteRect(Plane& dst, const Plane& src, int32_t x0, int32_t y0) {
    // A saved rectangle keeps its position; clip it in case it no longer fits.
    const int32_t w = std::min(src.width, dst.width - x0);
    const int32_t h = std::min(src.height, dst.height - y0);
    if (x0 < 0 || y0 < 0 || w <= 0 || h <= 0) return;
    for (int32_t j = 0; j < h; ++j) std::memcpy(dst.row(y0 + j) + x0, src.row(j), w);
}

}  // namespace

void PushUndo(float x1f, float y1f, float x2f, float y2f) {
    Module1State& m = Module1;
    // Far corner exclusive, corners ordered, then clamped. Doubles hold any float exactly.
    double x1 = std::floor(x1f), y1 = std::floor(y1f);
    double x2 = std::floor(static_cast<double>(x2f) + 1), y2 = std::floor(static_cast<double>(y2f) + 1);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const int32_t l = FloorInto(x1, 0, m.BufferWidth - 1), t = FloorInto(y1, 0, m.BufferHeight - 1);
    const int32_t r = FloorInto(x2, 0, m.BufferWidth), b = FloorInto(y2, 0, m.BufferHeight);
    if (l >= r || t >= b) return;
    if (static_cast<int32_t>(m.UndoList.size() / 5) > m.UndoLimit)
        for (int i = 0; i < 5; ++i) m.UndoList.pop_front();
    const int32_t w = r - l, h = b - t;
    Plane red = CopyRect(m.RPlane, l, t, w, h);
    Plane green = CopyRect(m.GPlane, l, t, w, h);
    Plane blue = CopyRect(m.BPlane, l, t, w, h);
    m.UndoList.emplace_back(std::move(blue));
    m.UndoList.emplace_back(std::move(green));
    m.UndoList.emplace_back(std::move(red));
    m.UndoList.emplace_back(t);
    m.UndoList.emplace_back(l);
}

void PopUndo() {
    Module1State& m = Module1;
    if (m.UndoList.size() < 5) return;
    auto take = [&m]() {
        UndoItem item = std::move(m.UndoList.back());
        m.UndoList.pop_back();
        return item;
    };
    const int32_t x0 = std::get<int32_t>(take());
    const int32_t y0 = std::get<int32_t>(take());
    const Plane red = std::get<Plane>(take());
    const Plane green = std::get<Plane>(take());
    const Plane blue = std::get<Plane>(take());
    PasteRect(m.RPlane, red, x0, y0);
    PasteRect(m.GPlane, green, x0, y0);
    PasteRect(m.BPlane, blue, x0, y0);
    m.RBase = m.RPlane;
    m.GBase = m.GPlane;
    m.BBase = m.BPlane;
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}

void kt_button1_Click() { PopUndo(); }

void kt_button2_Click() {
    Module1State& m = Module1;
    PushUndo(0, 0, static_cast<float>(m.BufferWidth - 1), static_cast<float>(m.BufferHeight - 1));
    clearbuffer();
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}
