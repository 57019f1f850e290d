// RenderSegment: the composite of the stroke coverage over the rectangle of a piece (widened by
// the brush radius) into the display copy or the image, and the blit of the preview. The pixel
// rule is written out in brush/composite.h.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "brush/brush.h"
#include "brush/composite.h"
#include "brush/piece.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "core/module1.h"

namespace {

Span ClipWalk(float from, float to, int step, int32_t size) {
    const double a = std::floor(static_cast<double>(from));
    const double b = std::floor(static_cast<double>(to));
    const double lo = std::max(step > 0 ? a : b, 0.0);
    const double hi = std::min(step > 0 ? b : a, static_cast<double>(size) - 1);
    if (!(lo <= hi)) return {};
    return {static_cast<int>(step > 0 ? lo : hi), static_cast<int>(hi - lo) + 1};
}

// A blit edge: rounded half to even and held well inside int32, so that the display code can
// add 1 without overflow. A NaN edge means there is nothing sensible to show.
bool BlitEdge(float v, int32_t& out) {
    if (std::isnan(v)) return false;
    const double limit = 1 << 30;
    out = static_cast<int32_t>(std::clamp(std::nearbyint(static_cast<double>(v)), -limit, limit));
    return true;
}

// The walk of RenderSegment over the corners: its direction and its clipped columns and rows
// (a count of 0 when nothing lies inside the image). False when a walk end is not finite:
// RenderSegment then does nothing at all, not even the blit.
bool WalkOf(float x1, float y1, float x2, float y2, Composite& c) {
    const Module1State& m = Module1;
    const float r = m.BrushSize;
    c.stepX = x1 > x2 ? -1 : 1;
    c.stepY = y1 > y2 ? -1 : 1;
    // The walk runs from the (x1, y1) side, widened by the radius, to the (x2, y2) side.
    const float xFrom = x1 - static_cast<float>(c.stepX) * r;
    const float xTo = x2 + static_cast<float>(c.stepX) * r;
    const float yFrom = y1 - static_cast<float>(c.stepY) * r;
    const float yTo = y2 + static_cast<float>(c.stepY) * r;
    if (!std::isfinite(xFrom) || !std::isfinite(xTo) || !std::isfinite(yFrom) ||
        !std::isfinite(yTo))
        return false;
    c.cols = ClipWalk(xFrom, xTo, c.stepX, m.BufferWidth);
    c.rows = ClipWalk(yFrom, yTo, c.stepY, m.BufferHeight);
    return true;
}

}  // namespace

bool PlanesReady() {
    const Module1State& m = Module1;
    const int32_t W = m.BufferWidth, H = m.BufferHeight;
    if (W <= 0 || H <= 0) return false;
    for (const Plane* p :
         {&m.FXBuffer, &m.RPlane, &m.GPlane, &m.BPlane, &m.RBase, &m.GBase, &m.BBase})
        if (!p->sizeIs(W, H)) return false;
    return true;
}

Rect CompositeArea(float x1, float y1, float x2, float y2) {
    Composite c;
    if (!WalkOf(x1, y1, x2, y2, c) || c.cols.count <= 0 || c.rows.count <= 0) return {};
    const int x0 = c.stepX > 0 ? c.cols.first : c.cols.first - c.cols.count + 1;
    const int y0 = c.stepY > 0 ? c.rows.first : c.rows.first - c.rows.count + 1;
    return {x0, y0, x0 + c.cols.count, y0 + c.rows.count};
}

bool PreviewArea(float x1, float y1, float x2, float y2, Rect* area) {
    const Module1State& m = Module1;
    Composite walk;
    if (!WalkOf(x1, y1, x2, y2, walk)) return false;
    const float r = m.BrushSize;
    float left = x1, right = x2, top = y1, bottom = y2;
    SortPair(left, right);
    SortPair(top, bottom);
    const float margin = 1 / m.Zoom;
    int32_t lastX = 0, lastY = 0;
    if (!BlitEdge(std::floor(left - r) - margin, area->x0) ||
        !BlitEdge(std::floor(top - r) - margin, area->y0) ||
        !BlitEdge(std::floor(right + r) + margin, lastX) ||
        !BlitEdge(std::floor(bottom + r) + margin, lastY))
        return false;
    area->x1 = lastX + 1;  // BlitEdge keeps edges within 2^30
    area->y1 = lastY + 1;
    return true;
}

void RenderSegment(int16_t flags, float x1, float y1, float x2, float y2) {
    Module1State& m = Module1;
    if (!PlanesReady()) return;
    Composite c;
    c.flags = flags;
    if (!WalkOf(x1, y1, x2, y2, c)) return;
    if (c.cols.count > 0 && c.rows.count > 0 &&
        (flags & (kPreview | kCommit | kClearCoverage)) != 0) {
        PrepareComposite(c);
        if (flags & kClearCoverage) {
            CompositeInWalkOrder(c);
        } else {
            const Rect area = CompositeArea(x1, y1, x2, y2);
            constexpr int kAhead = 2;  // rows fetched ahead of the one being mixed
            for (int y = area.y0; y < area.y1; ++y) {
                if (y + kAhead < area.y1) PrefetchRun(c, y + kAhead, area.x0, area.x1);
                CompositeRun(c, y, area.x0, area.x1);
            }
        }
    }
    Rect area;
    if ((flags & kPreview) && PreviewArea(x1, y1, x2, y2, &area))
        BlitDisplay(m.RBase, m.GBase, m.BBase, area.x0, area.y0, area.x1 - 1, area.y1 - 1);
}
