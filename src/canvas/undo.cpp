#include "canvas/undo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <variant>
#include <vector>

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

// The byte arrays of the last steps undone or dropped, kept for the next saves. Memory the
// process already uses costs nothing to write into, while new pages cost the operating system's
// first touch, which on a virtual machine takes longer than the copy itself. Three arrays, one
// step's worth, are kept at most.
constexpr size_t kSpareArrays = 3;
std::vector<std::vector<uint8_t>> spares;

void Keep(Plane&& plane) {
    std::vector<uint8_t> bytes = std::move(plane.bytes);
    if (spares.size() < kSpareArrays) {
        spares.push_back(std::move(bytes));
        return;
    }
    // Full: the new array replaces the smallest one kept, if it is larger.
    auto smallest = std::min_element(spares.begin(), spares.end(), [](const auto& a, const auto& b) {
        return a.capacity() < b.capacity();
    });
    if (smallest->capacity() < bytes.capacity()) *smallest = std::move(bytes);
}

// An array with room for n bytes: the smallest kept one that is large enough (with the bytes it
// held), or a new empty one.
std::vector<uint8_t> Room(size_t n) {
    auto best = spares.end();
    for (auto it = spares.begin(); it != spares.end(); ++it)
        if (it->capacity() >= n && (best == spares.end() || it->capacity() < best->capacity())) best = it;
    std::vector<uint8_t> bytes;
    if (best != spares.end()) {
        bytes = std::move(*best);
        spares.erase(best);
    } else {
        bytes.reserve(n);
    }
    return bytes;
}

// Puts the saved rectangle back into the image plane and makes the display copy equal to the
// image, row by row, so that each pasted row is copied on while it is still in the cache.
void Restore(Plane& image, Plane& display, const Plane& saved, int32_t x0, int32_t y0) {
    // A saved rectangle keeps its position; clip it in case it no longer fits.
    const int32_t w = std::min(saved.width, image.width - x0);
    const int32_t h = std::min(saved.height, image.height - y0);
    const bool paste = x0 >= 0 && y0 >= 0 && w > 0 && h > 0;
    if (!display.sizeIs(image.width, image.height) || !image.sizeIs(image.width, image.height)) {
        if (paste)
            for (int32_t j = 0; j < h; ++j) std::memcpy(image.row(y0 + j) + x0, saved.row(j), w);
        display = image;
        return;
    }
    for (int32_t y = 0; y < image.height; ++y) {
        if (paste && y >= y0 && y < y0 + h) std::memcpy(image.row(y) + x0, saved.row(y - y0), w);
        std::memcpy(display.row(y), image.row(y), static_cast<size_t>(image.width));
    }
}

}  // namespace

UndoSave BeginUndo(float x1f, float y1f, float x2f, float y2f) {
    Module1State& m = Module1;
    UndoSave save;
    // Far corner exclusive, corners ordered, then clamped. Doubles hold any float exactly.
    double x1 = std::floor(x1f), y1 = std::floor(y1f);
    double x2 = std::floor(static_cast<double>(x2f) + 1), y2 = std::floor(static_cast<double>(y2f) + 1);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const int32_t l = FloorInto(x1, 0, m.BufferWidth - 1), t = FloorInto(y1, 0, m.BufferHeight - 1);
    const int32_t r = FloorInto(x2, 0, m.BufferWidth), b = FloorInto(y2, 0, m.BufferHeight);
    if (l >= r || t >= b) return save;
    for (const Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane})
        if (!p->sizeIs(m.BufferWidth, m.BufferHeight)) return save;
    if (static_cast<int32_t>(m.UndoList.size() / 5) > m.UndoLimit)
        for (int i = 0; i < 5; ++i) {
            if (Plane* plane = std::get_if<Plane>(&m.UndoList.front())) Keep(std::move(*plane));
            m.UndoList.pop_front();
        }
    // The step is filed now, its arrays empty with room reserved, so that running out of memory
    // changes nothing else; the rows are appended as they are saved.
    const size_t n = static_cast<size_t>(r - l) * static_cast<size_t>(b - t);
    Plane planes[3];
    for (Plane& p : planes) {
        p.width = r - l;
        p.height = b - t;
        p.bytes = Room(n);
        p.bytes.clear();
    }
    const size_t filed = m.UndoList.size();
    try {
        for (Plane& p : planes) m.UndoList.emplace_back(std::move(p));  // blue, green, red
        m.UndoList.emplace_back(t);
        m.UndoList.emplace_back(l);
    } catch (...) {
        m.UndoList.resize(filed);
        throw;
    }
    save.blue = &std::get<Plane>(m.UndoList[filed]);
    save.green = &std::get<Plane>(m.UndoList[filed + 1]);
    save.red = &std::get<Plane>(m.UndoList[filed + 2]);
    save.left = l;
    save.top = t;
    save.right = r;
    save.bottom = b;
    save.next = t;
    return save;
}

void SaveUndoRows(UndoSave& save, int32_t y0, int32_t y1) {
    y0 = std::max(y0, save.next);
    y1 = std::min(y1, save.bottom);
    if (save.empty() || y0 >= y1) return;
    const Module1State& m = Module1;
    const Plane* sources[3] = {&m.RPlane, &m.GPlane, &m.BPlane};
    Plane* copies[3] = {save.red, save.green, save.blue};
    const size_t w = static_cast<size_t>(save.right - save.left);
    // A plane at a time: two streams of memory, which the processor fetches ahead best.
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t>& bytes = copies[i]->bytes;
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* row = sources[i]->row(y) + save.left;
            bytes.insert(bytes.end(), row, row + w);  // within the reserved room: no reallocation
        }
    }
    save.next = y1;
}

void PushUndo(float x1, float y1, float x2, float y2) {
    UndoSave save = BeginUndo(x1, y1, x2, y2);
    SaveUndoRows(save, save.top, save.bottom);
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
    Plane red = std::get<Plane>(take());
    Plane green = std::get<Plane>(take());
    Plane blue = std::get<Plane>(take());
    Restore(m.RPlane, m.RBase, red, x0, y0);
    Restore(m.GPlane, m.GBase, green, x0, y0);
    Restore(m.BPlane, m.BBase, blue, x0, y0);
    Keep(std::move(red));
    Keep(std::move(green));
    Keep(std::move(blue));
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}

void ClearImage() {
    Module1State& m = Module1;
    PushUndo(0, 0, static_cast<float>(m.BufferWidth - 1), static_cast<float>(m.BufferHeight - 1));
    clearbuffer();
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}
