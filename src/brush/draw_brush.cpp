// One spline segment of a stroke, drawn as short straight pieces, each composited and shown
// so that the stroke follows the pointer.
//
// The pieces of one call overlap heavily (each is a few pixels long and widened by the brush
// radius on every side), so their work is planned together: all pieces are known before the
// first is drawn, since the samples do not depend on the stamps. The canvas plans the display
// (canvas/stroke_display.h) from the area each piece shows; here, where the result cannot
// differ, each pixel is composited once, by the last piece that composites it. The display copy
// and the display bitmap end exactly as if every piece had been composited and blitted in full,
// one after the other.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "brush/brush.h"
#include "brush/composite.h"
#include "brush/piece.h"
#include "canvas/stroke_display.h"
#include "canvas/zoom.h"
#include "core/module1.h"
#include "core/scratch.h"
#include "core/wiring.h"

namespace {

struct Sample {
    float x, y, pressure;
};

// At most eleven samples a segment (the step is at least 0.1); room for a few more.
constexpr int kMaxSamples = StrokeDisplay::kMaxPieces;

// The pieces of one call: from the previous sample (LastX, LastY for the first) to each sample.
struct Pieces {
    int count = 0;
    std::array<Sample, kMaxSamples> to{};
    std::array<Rect, kMaxSamples> composite{};
    std::array<Rect, kMaxSamples> shows{};  // the image area each piece shows (empty: none)
    // Pixels a piece composites although a later piece composites them again, because a
    // display pixel rendered in between blends them in.
    StrokeDisplay::PerPiece extra;
};

// The start of a piece: the touched rectangle grows by the sample, and the stamps are laid.
void Stamp(const Sample& s) {
    Module1State& m = Module1;
    GrowDirtyRect(s.x, s.y);
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
void OwnRects(const Pieces& p, int k, bool lastOnly, std::vector<Rect>& rects) {
    rects.assign(1, p.composite[k]);
    if (rects[0].empty()) {
        rects.clear();
        return;
    }
    if (!lastOnly) return;
    std::vector<Rect>& spare = Scratch.rectSpare;
    for (int j = k + 1; j < p.count && !rects.empty(); ++j)
        SubtractAll(rects, p.composite[j], spare);
    std::vector<Rect>& add = Scratch.pieceExtra;
    for (const Rect& e : p.extra[k]) {
        add.assign(1, e);
        for (size_t i = 0; i < rects.size() && !add.empty(); ++i) SubtractAll(add, rects[i], spare);
        rects.insert(rects.end(), add.begin(), add.end());
    }
}

// Asks the processor to fetch the bytes the pieces will stamp and composite: the region a
// pointer move works on is usually new to the cache at its leading edge, one page per row
// and plane, and the first piece's stamps give the fetches time to arrive.
void Prefetch(const Pieces& p) {
    const Module1State& m = Module1;
    Rect box;
    for (int k = 0; k < p.count; ++k) box = box.United(p.composite[k]);
    if (box.empty()) return;
    for (const Plane* plane :
         {&m.FXBuffer, &m.RPlane, &m.GPlane, &m.BPlane, &m.RBase, &m.GBase, &m.BBase})
        for (int y = box.y0; y < box.y1; ++y) {
            const uint8_t* row = plane->row(y);
            for (int x = box.x0; x < box.x1; x += 64) __builtin_prefetch(row + x);
            __builtin_prefetch(row + box.x1 - 1);
        }
}

// Every piece in turn: its stamps, its composite, its share of the display. lastOnly: each pixel
// composited only by the last piece that composites it.
void DrawPieces(const Pieces& p, const StrokeDisplay& display, bool lastOnly) {
    Prefetch(p);
    std::vector<Rect>& rects = Scratch.pieceRects;
    Composite c;
    c.flags = kPreview;
    PrepareComposite(c);
    for (int k = 0; k < p.count; ++k) {
        Stamp(p.to[k]);
        OwnRects(p, k, lastOnly, rects);
        for (const Rect& r : rects) CompositeRect(c, r.x0, r.y0, r.x1, r.y1);
        display.Show(k);
        Advance(p.to[k]);
    }
    display.Finish();
}

}  // namespace

void GrowDirtyRect(float x, float y) {
    Module1State& m = Module1;
    if (x + m.BrushSize > m.DirtyRight) m.DirtyRight = x + m.BrushSize;
    if (x - m.BrushSize < m.DirtyLeft) m.DirtyLeft = x - m.BrushSize;
    if (y + m.BrushSize > m.DirtyBottom) m.DirtyBottom = y + m.BrushSize;
    if (y - m.BrushSize < m.DirtyTop) m.DirtyTop = y - m.BrushSize;
}

void DrawBrush(float X, float Y) {
    Module1State& m = Module1;
    const int n = m.PointCount;
    if (n < 3) return;
    // The four points n-3 .. n must be rows of the point array.
    if (n >= kStrokeRows) return;

    // The event position in image pixels, as the pointer code stored the newest point.
    const float ex = ClientToImageX(X);
    const float ey = ClientToImageY(Y);
    if (Wiring.Journal) Wiring.Journal->DrawStarting(ex, ey);
    // About one sample per image pixel of travel, at most ten a segment (plus its start).
    const float dist = PointDistance(ex, ey, m.LastX, m.LastY);
    float step = dist > 0 ? 1 / dist : 1.0f;
    if (dist > 10) step = 0.1f;

    // Segment from point n-2 (t = 0) to n-1 (t = 1); n-3 and n only shape it. step >= 0.1, so
    // the float sum passes 1 after at most eleven samples.
    Pieces p;
    for (float t = 0; t <= 1 && p.count < kMaxSamples; t = t + step) {
        p.to[p.count++] = {p_Catmull(t, m.Stroke(n - 3, 0), m.Stroke(n - 2, 0), m.Stroke(n - 1, 0),
                                     m.Stroke(n, 0)),
                           p_Catmull(t, m.Stroke(n - 3, 1), m.Stroke(n - 2, 1), m.Stroke(n - 1, 1),
                                     m.Stroke(n, 1)),
                           p_Catmull(t, m.Stroke(n - 3, 2), m.Stroke(n - 2, 2), m.Stroke(n - 1, 2),
                                     m.Stroke(n, 2))};
    }

    if (!PlanesReady()) {
        // Nothing is composited or shown; the stamps and the bookkeeping still happen.
        for (int k = 0; k < p.count; ++k) {
            Stamp(p.to[k]);
            Advance(p.to[k]);
        }
        if (Wiring.Journal) Wiring.Journal->DrawEnded();
        return;
    }

    for (int k = 0; k < p.count; ++k) {
        const float fromX = k == 0 ? m.LastX : p.to[k - 1].x;
        const float fromY = k == 0 ? m.LastY : p.to[k - 1].y;
        p.composite[k] = CompositeArea(fromX, fromY, p.to[k].x, p.to[k].y);
        if (!PreviewArea(fromX, fromY, p.to[k].x, p.to[k].y, &p.shows[k])) p.shows[k] = {};
    }
    StrokeDisplay display(p.shows.data(), p.count);
    Composite c;
    PrepareComposite(c);
    const bool lastOnly = AlphaStaysOnceOn(c);
    display.Plan(p.composite.data(), lastOnly, p.extra);
    DrawPieces(p, display, lastOnly);
    if (Wiring.Journal) Wiring.Journal->DrawEnded();
}
