// One rectangle for image pixels and display pixels alike: half-open, columns x0 .. x1 - 1 and
// rows y0 .. y1 - 1. An update that names its first and last pixel (BlitDisplay's x1 .. x2)
// becomes {x1, y1, x2 + 1, y2 + 1}.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

struct Rect {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    bool empty() const { return x1 <= x0 || y1 <= y0; }
    bool operator==(const Rect&) const = default;
    Rect Intersected(const Rect& o) const {
        return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
    }
    // The smallest rectangle holding both; an empty one adds nothing.
    Rect United(const Rect& o) const {
        if (empty()) return o;
        if (o.empty()) return *this;
        return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
    }
    Rect Grown(int32_t by) const { return {x0 - by, y0 - by, x1 + by, y1 + by}; }
};

// The parts of a outside b (at most four rectangles, disjoint) appended to out.
inline void Subtract(const Rect& a, const Rect& b, std::vector<Rect>& out) {
    if (b.empty() || b.x1 <= a.x0 || b.x0 >= a.x1 || b.y1 <= a.y0 || b.y0 >= a.y1) {
        out.push_back(a);
        return;
    }
    const int32_t y0 = std::max(a.y0, b.y0), y1 = std::min(a.y1, b.y1);
    if (a.y0 < y0) out.push_back({a.x0, a.y0, a.x1, y0});
    if (y1 < a.y1) out.push_back({a.x0, y1, a.x1, a.y1});
    if (a.x0 < b.x0) out.push_back({a.x0, y0, b.x0, y1});
    if (b.x1 < a.x1) out.push_back({b.x1, y0, a.x1, y1});
}

// rects less cut, in place; spare holds the result meanwhile (both keep their memory, so that
// a caller reusing them does not allocate).
inline void SubtractAll(std::vector<Rect>& rects, const Rect& cut, std::vector<Rect>& spare) {
    spare.clear();
    for (const Rect& r : rects) Subtract(r, cut, spare);
    rects.swap(spare);
}
