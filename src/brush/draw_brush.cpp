// One spline segment of a stroke, drawn as short straight pieces, each composited and shown
// so that the stroke follows the pointer.
//
// The pieces of one call overlap heavily (each is a few pixels long and widened by the brush
// radius on every side), so their display work is planned together: all pieces are known before
// the first is drawn, since the samples do not depend on the stamps. Each display pixel is
// rendered once, by the last piece whose blit shows it, from the display copy as it stands at
// that piece; and where the result cannot differ, each pixel is composited once, by the last
// piece that composites it. The display copy and the display bitmap end exactly as if every
// piece had been composited and blitted in full, one after the other.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "app/module1.h"
#include "brush/brush.h"
#include "brush/composite.h"
#include "brush/piece.h"
#include "canvas/display_rects.h"

namespace {

struct Sample {
    float x, y, pressure;
};

// At most eleven samples a segment (the step is at least 0.1); room for a few more.
constexpr int kMaxSamples = 16;

// The pieces of one call: from the previous sample (LastX, LastY for the first) to each sample.
struct Pieces {
    int count = 0;
    std::array<Sample, kMaxSamples> to{};
    std::array<PixelRect, kMaxSamples> composite{};
    std::array<bool, kMaxSamples> blits{};
    std::array<BlitArea, kMaxSamples> blit{};
    std::array<DisplayRect, kMaxSamples> target{};  // the display pixels each blit renders
    // Pixels a piece composites although a later piece composites them again, because a
    // display pixel rendered in between blends them in (away from zoom 1 only).
    std::array<std::vector<PixelRect>, kMaxSamples> extra;
};

// The start of a piece: the touched rectangle grows by the sample, and the stamps are laid.
void Stamp(const Sample& s) {
    Module1State& m = Module1;
    if (s.x + m.BrushSize > m.DirtyRight) m.DirtyRight = s.x + m.BrushSize;
    if (s.x - m.BrushSize < m.DirtyLeft) m.DirtyLeft = s.x - m.BrushSize;
    if (s.y + m.BrushSize > m.DirtyBottom) m.DirtyBottom = s.y + m.BrushSize;
    if (s.y - m.BrushSize < m.DirtyTop) m.DirtyTop = s.y - m.BrushSize;
    AALine(m.LastX, m.LastY, s.x, s.y, m.BrushSize * m.LastPressure, s.pressure * m.BrushSize,
           static_cast<int16_t>(m.BufferWidth), static_cast<int16_t>(m.BufferHeight));
}

// The end of a piece: the next one starts at its sample.
void Advance(const Sample& s) {
    Module1State& m = Module1;
    m.LastX = s.x;
    m.LastY = s.y;
    m.LastPressure = s.pressure;
}

// The parts of a outside b, appended to out.
void Subtract(const PixelRect& a, const PixelRect& b, std::vector<PixelRect>& out) {
    if (b.empty() || b.x1 <= a.x0 || b.x0 >= a.x1 || b.y1 <= a.y0 || b.y0 >= a.y1) {
        out.push_back(a);
        return;
    }
    const int y0 = std::max(a.y0, b.y0), y1 = std::min(a.y1, b.y1);
    if (a.y0 < y0) out.push_back({a.x0, a.y0, a.x1, y0});
    if (y1 < a.y1) out.push_back({a.x0, y1, a.x1, a.y1});
    if (a.x0 < b.x0) out.push_back({a.x0, y0, b.x0, y1});
    if (b.x1 < a.x1) out.push_back({b.x1, y0, a.x1, y1});
}

void SubtractAll(std::vector<PixelRect>& rects, const PixelRect& cut) {
    std::vector<PixelRect> rest;
    for (const PixelRect& r : rects) Subtract(r, cut, rest);
    rects.swap(rest);
}

// For each piece k, the pixels of its composite that a display pixel rendered at some piece
// t >= k blends in before a later piece composites them again. A display pixel rendered at t
// blends image pixels within reach of the image pixels rendered at t (its own and, between
// them, its neighbours); those must hold at t what they would hold had every piece
// composited in full.
void PlanExtras(Pieces& p, const Plane& r, const Plane& g, const Plane& b, int reach) {
    std::array<std::vector<PixelRect>, kMaxSamples> rendered;  // rendered last at t, grown
    std::array<PixelRect, kMaxSamples> shown{};
    for (int t = 0; t < p.count; ++t) {
        BlitArea a;
        if (p.blits[t] && ShownArea(r, g, b, p.blit[t], &a)) shown[t] = {a.x1, a.y1, a.x2 + 1, a.y2 + 1};
    }
    for (int t = 0; t < p.count; ++t) {
        if (shown[t].empty()) continue;
        std::vector<PixelRect> last{shown[t]};
        for (int j = t + 1; j < p.count; ++j) SubtractAll(last, shown[j]);
        for (PixelRect& q : last)
            rendered[t].push_back({q.x0 - reach, q.y0 - reach, q.x1 + reach, q.y1 + reach});
    }
    for (int k = 0; k < p.count; ++k) {
        p.extra[k].clear();
        const PixelRect& own = p.composite[k];
        if (own.empty()) continue;
        for (int t = k; t < p.count; ++t) {
            std::vector<PixelRect> need = rendered[t];
            for (int j = k + 1; j <= t; ++j) SubtractAll(need, p.composite[j]);
            for (const PixelRect& q : need) {
                const PixelRect in{std::max(q.x0, own.x0), std::max(q.y0, own.y0),
                                   std::min(q.x1, own.x1), std::min(q.y1, own.y1)};
                if (!in.empty()) p.extra[k].push_back(in);
            }
        }
    }
}

// True when a pixel that got an alpha above 0 from some coverage keeps one at every higher
// coverage. Coverage only grows during a stroke, so then the last composite of a pixel within
// a call decides the display copy there, whether or not earlier ones wrote it.
bool AlphaStaysOnceOn(const Composite& c) {
    int a = 0;
    while (a < 256 && c.alphaOf[a] == 0) ++a;
    for (; a < 256; ++a)
        if (c.alphaOf[a] == 0) return false;
    return true;
}

// The pixels piece k composites, as disjoint rectangles: its own less those of later pieces
// (lastOnly), and its extra ones.
void OwnRects(const Pieces& p, int k, bool lastOnly, std::vector<PixelRect>& rects) {
    rects.assign(1, p.composite[k]);
    if (rects[0].empty()) {
        rects.clear();
        return;
    }
    if (!lastOnly) return;
    for (int j = k + 1; j < p.count && !rects.empty(); ++j) SubtractAll(rects, p.composite[j]);
    for (const PixelRect& e : p.extra[k]) {
        std::vector<PixelRect> add{e};
        for (const PixelRect& r : rects) SubtractAll(add, r);
        rects.insert(rects.end(), add.begin(), add.end());
    }
}

// Asks the processor to fetch the bytes the pieces will stamp and composite: the region a
// pointer move works on is usually new to the cache at its leading edge, one page per row
// and plane, and the first piece's stamps give the fetches time to arrive.
void Prefetch(const Pieces& p) {
    const Module1State& m = Module1;
    PixelRect box;
    for (int k = 0; k < p.count; ++k) {
        const PixelRect& r = p.composite[k];
        if (r.empty()) continue;
        box = box.empty() ? r
                          : PixelRect{std::min(box.x0, r.x0), std::min(box.y0, r.y0),
                                      std::max(box.x1, r.x1), std::max(box.y1, r.y1)};
    }
    if (box.empty()) return;
    for (const Plane* plane : {&m.FXBuffer, &m.RPlane, &m.GPlane, &m.BPlane, &m.RBase, &m.GBase,
                               &m.BBase})
        for (int y = box.y0; y < box.y1; ++y) {
            const uint8_t* row = plane->row(y);
            for (int x = box.x0; x < box.x1; x += 64) __builtin_prefetch(row + x);
            __builtin_prefetch(row + box.x1 - 1);
        }
}

// Every piece in turn: its stamps, its composite, its blit. lastOnly: each pixel composited only
// by the last piece that composites it.
void DrawPieces(const Pieces& p, bool lastOnly) {
    Module1State& m = Module1;
    Prefetch(p);
    static std::vector<PixelRect> rects;
    Composite c;
    c.flags = 1;
    PrepareComposite(c);
    for (int k = 0; k < p.count; ++k) {
        Stamp(p.to[k]);
        OwnRects(p, k, lastOnly, rects);
        for (const PixelRect& r : rects) CompositeRect(c, r.x0, r.y0, r.x1, r.y1);
        if (p.blits[k]) {
            // The display pixels the later blits of this call render again.
            BlitDisplayBefore(m.RBase, m.GBase, m.BBase, p.blit[k], p.target.data() + k + 1,
                              p.count - k - 1);
        }
        Advance(p.to[k]);
    }
}

}  // namespace

void DrawBrush(float X, float Y) {
    Module1State& m = Module1;
    const int n = m.PointCount;
    if (n < 3) return;
    // The four points n-3 .. n must be rows of the point array.
    if (n >= kStrokeRows || m.StrokePoints.size() < static_cast<size_t>(3 * kStrokeRows)) return;

    // The event position in image pixels, as the pointer code stored the newest point.
    const double zoom = m.Zoom;
    const float ex = static_cast<float>(X / zoom - m.ScrollX / zoom);
    const float ey = static_cast<float>(Y / zoom - m.ScrollY / zoom);
    // About one sample per image pixel of travel, at most ten a segment (plus its start).
    const float dist = PointDistance(ex, ey, m.LastX, m.LastY);
    float step = dist > 0 ? 1 / dist : 1.0f;
    if (dist > 10) step = 0.1f;

    // Segment from point n-2 (t = 0) to n-1 (t = 1); n-3 and n only shape it. step >= 0.1, so
    // the float sum passes 1 after at most eleven samples.
    Pieces p;
    for (float t = 0; t <= 1 && p.count < kMaxSamples; t = t + step) {
        p.to[p.count++] = {
            p_Catmull(t, m.Stroke(n - 3, 0), m.Stroke(n - 2, 0), m.Stroke(n - 1, 0), m.Stroke(n, 0)),
            p_Catmull(t, m.Stroke(n - 3, 1), m.Stroke(n - 2, 1), m.Stroke(n - 1, 1), m.Stroke(n, 1)),
            p_Catmull(t, m.Stroke(n - 3, 2), m.Stroke(n - 2, 2), m.Stroke(n - 1, 2), m.Stroke(n, 2))};
    }

    if (!PlanesReady()) {
        // Nothing is composited or shown; the stamps and the bookkeeping still happen.
        for (int k = 0; k < p.count; ++k) {
            Stamp(p.to[k]);
            RenderSegment(1, m.LastX, m.LastY, p.to[k].x, p.to[k].y);
            Advance(p.to[k]);
        }
        return;
    }

    bool shown = false;
    for (int k = 0; k < p.count; ++k) {
        const float fromX = k == 0 ? m.LastX : p.to[k - 1].x;
        const float fromY = k == 0 ? m.LastY : p.to[k - 1].y;
        p.composite[k] = CompositeArea(fromX, fromY, p.to[k].x, p.to[k].y);
        p.blits[k] = PreviewArea(fromX, fromY, p.to[k].x, p.to[k].y, &p.blit[k]);
        if (p.blits[k]) p.target[k] = BlitTarget(m.RBase, m.GBase, m.BBase, p.blit[k]);
        shown = shown || !p.target[k].empty();
    }
    Composite c;
    PrepareComposite(c);
    const bool lastOnly = AlphaStaysOnceOn(c);
    if (lastOnly && shown && m.Zoom != 1.0f) {
        // Away from zoom 1 a display pixel blends its image pixel's neighbours: one pixel
        // around it when magnified, the block it averages when reduced.
        // A reach as large as the image covers it all, whatever the zoom.
        const double all = std::max(m.BufferWidth, m.BufferHeight) + 1.0;
        const double blocks = 1.0 / m.Zoom;
        const double reach =
            m.Zoom > 1.0f ? 1.0 : (blocks >= 1 && blocks < all ? std::ceil(blocks) + 1 : all);
        PlanExtras(p, m.RBase, m.GBase, m.BBase, static_cast<int>(reach));
    }
    DrawPieces(p, lastOnly);
}
