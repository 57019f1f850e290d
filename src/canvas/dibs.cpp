#include "canvas/dibs.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "canvas/display_rects.h"
#include "canvas/smoothblit.h"
#include "core/errors.h"
#include "core/module1.h"
#include "core/rounding.h"
#include "core/scratch.h"

DibsState Dibs;

bool DisplayPixels::Make(size_t n) {
    Clear();
    if (n == 0) return true;
    pixels_.reset(static_cast<uint32_t*>(std::calloc(n, sizeof(uint32_t))));
    if (!pixels_) return false;
    n_ = n;
    return true;
}

namespace {

// Bitmaps within this many pixels of twice the size they must hold are kept when the window
// moves or shrinks: a drag does not reallocate at every step.
constexpr size_t kSlackPixels = 1 << 16;

// The display pixels the window shows (every one without a window), within the zoomed image;
// the left edge on a multiple of 4, where the scaling's vector steps start.
Rect WantedHeld() {
    const Module1State& m = Module1;
    const Rect all{0, 0, Dibs.DisplayWidth, Dibs.DisplayHeight};
    if (!Dibs.View || all.empty()) return all;
    const auto within = [](int64_t v, int32_t hi) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, 0, hi));
    };
    const int64_t cw = Dibs.View->ClientWidth(), ch = Dibs.View->ClientHeight();
    Rect r{within(-int64_t{m.ScrollX}, all.x1), within(-int64_t{m.ScrollY}, all.y1),
           within(cw - m.ScrollX, all.x1), within(ch - m.ScrollY, all.y1)};
    r.x0 = r.x0 / 4 * 4;
    return r.empty() ? Rect{} : r;
}

// Pixels a row of the bitmap holding h: its width rounded up to a multiple of 4.
int32_t RowPixelsOf(const Rect& h) {
    const int32_t w = std::max(h.x1 - h.x0, 0);
    return w % 4 == 0 ? w : w + 4 - w % 4;
}

double BytesOf(const Rect& h) {
    return h.empty() ? 0.0 : static_cast<double>(RowPixelsOf(h)) * (h.y1 - h.y0) * 4;
}

// Makes the bitmap hold the display pixels of h (their values undefined until rendered);
// false, holding nothing, when the memory cannot be had.
bool Hold(const Rect& h) {
    const int32_t row = RowPixelsOf(h);
    const size_t n = h.empty() ? 0 : static_cast<size_t>(row) * static_cast<size_t>(h.y1 - h.y0);
    bool ok = BytesOf(h) <= Dibs.MaxBitmapBytes;
    if (ok && (Dibs.Storage.size() < n || Dibs.Storage.size() > 2 * n + kSlackPixels))
        ok = Dibs.Storage.Make(n);
    if (!ok) Dibs.Storage.Clear();
    Dibs.Held = ok ? h : Rect{};
    Dibs.DisplayInfo.biWidth = ok ? row : 0;  // a row even when no rows are held
    Dibs.DisplayInfo.biHeight = ok && !h.empty() ? -(h.y1 - h.y0) : 0;
    Dibs.DisplayBits = ok && n > 0 ? Dibs.Storage.data() : nullptr;
    return ok;
}

// Moves the bitmap to the part of the image the window now shows, after a scroll or a
// resize; true when it moved (what it holds must then be rendered again).
bool FitDisplay() {
    if (Dibs.DisplayDC == 0) return false;
    const Rect want = WantedHeld();
    if (want == Dibs.Held && (want.empty() || Dibs.DisplayBits)) return false;
    Hold(want);
    return true;
}

}  // namespace

uint32_t* DisplayPixelAt(int32_t X, int32_t Y) {
    const Rect& h = Dibs.Held;
    if (!Dibs.DisplayBits || X < h.x0 || X >= h.x1 || Y < h.y0 || Y >= h.y1) return nullptr;
    return Dibs.DisplayBits + static_cast<size_t>(Y - h.y0) * Dibs.DisplayInfo.biWidth + (X - h.x0);
}

void DeleteDisplayBitmap() {
    Dibs.Storage.Clear();
    Dibs.DisplayBits = nullptr;
    Dibs.DisplayDC = 0;
    Dibs.DisplayBitmap = 0;
    Dibs.DisplayWidth = Dibs.DisplayHeight = 0;
    Dibs.Held = {};
}

void ShowZoomCaption() {
    const Module1State& m = Module1;
    if (!Dibs.View || !Dibs.View->IsVisible()) return;
    const float percent = m.Zoom * 100.0f;  // single precision, as the zoom is held
    Dibs.View->SetCaption(m.CaptionText + " zoom = " +
                          std::to_string(static_cast<long long>(std::fabs(std::floor(percent)))));
}

void CreateDisplayBitmap() {
    const Module1State& m = Module1;
    if (Dibs.DisplayDC != 0) {
        ShowZoomCaption();
        DeleteDisplayBitmap();
    }
    const double wd = std::floor(static_cast<double>(m.BufferWidth) * m.Zoom);
    const double hd = std::floor(static_cast<double>(m.BufferHeight) * m.Zoom);
    // Display coordinates stay in 32 bits. An image too small to cover a display pixel at this
    // zoom gets an empty bitmap, which draws nothing.
    if (!(wd >= 0 && hd >= 0 && wd < INT32_MAX - 4 && hd < INT32_MAX))
        throw MarloError(kErrOutOfMemory, "Out of memory: the display bitmap cannot be created");
    BitmapInfoHeader info;
    info.biBitCount = 32;
    info.biCompression = 0;
    info.biPlanes = 1;
    info.biSize = 40;
    Dibs.DisplayInfo = info;
    Dibs.DisplayWidth = static_cast<int32_t>(wd);
    Dibs.DisplayHeight = static_cast<int32_t>(hd);
    // Only the window's share of the zoomed image is held, whatever the zoom.
    if (!Hold(WantedHeld())) {
        DeleteDisplayBitmap();
        throw MarloError(kErrOutOfMemory, "Out of memory: the display bitmap cannot be created");
    }
    Dibs.DisplayDC = 1;
    Dibs.DisplayBitmap = 1;
}

namespace {

// What BlitDisplay does for an update: the image rectangle after the clipping, and whether
// the update goes ahead at all.
struct BlitPlan {
    bool goes = false;
    Rect image;
};

// area: half-open, its edges well inside 32 bits (the callers keep them within 2^30).
BlitPlan PlanBlit(const Plane& r, const Plane& g, const Plane& b, const Rect& area) {
    const Module1State& m = Module1;
    BlitPlan p;
    if (m.Zoom == 0) return p;
    const double zoom = m.Zoom;
    Rect& i = p.image;
    i = area.Intersected({0, 0, m.BufferWidth, m.BufferHeight});
    if (Dibs.View) {
        const int cw = Dibs.View->ClientWidth(), ch = Dibs.View->ClientHeight();
        // The image pixels any part of the window shows, and a window pixel more on each side:
        // outwards to whole pixels, so that at zooms above 2 the part-shown pixels at the
        // window's edges are drawn too instead of being left black.
        i = i.Intersected({FloorToInt32((-1.0 - m.ScrollX) / zoom),
                           FloorToInt32((-1.0 - m.ScrollY) / zoom),
                           CeilToInt32((cw + 1.0 - m.ScrollX) / zoom),
                           CeilToInt32((ch + 1.0 - m.ScrollY) / zoom)});
    }
    p.goes = !i.empty() && Dibs.DisplayDC != 0 && Dibs.DisplayWidth > 0 && Dibs.DisplayHeight > 0 &&
             r.sizeIs(m.BufferWidth, m.BufferHeight) && g.sizeIs(m.BufferWidth, m.BufferHeight) &&
             b.sizeIs(m.BufferWidth, m.BufferHeight);
    return p;
}

// The display pixels an update renders: those whose image point lies in its area and, when
// magnified, those beside them that blend the area's edge pixels (left out, they would keep
// the old colour of a changed rim).
Rect TargetOf(const BlitPlan& p) {
    const Module1State& m = Module1;
    if (!p.goes) return {};
    const Rect d = SmoothBlitTarget(p.image.x0, p.image.y0, p.image.x1, p.image.y1,
                                    m.BufferWidth + 1, m.BufferHeight + 1, Dibs.DisplayWidth,
                                    Dibs.DisplayHeight, Dibs.DisplayWidth, m.Zoom);
    return SmoothBlitReach(d, p.image, m.BufferWidth, m.BufferHeight, Dibs.DisplayWidth,
                           Dibs.DisplayHeight, m.Zoom);
}

// Renders the display pixels of d that the bitmap holds.
void Render(const Plane& r, const Plane& g, const Plane& b, const Rect& d) {
    const Module1State& m = Module1;
    const Rect held = d.Intersected(Dibs.Held);
    if (held.empty() || !Dibs.DisplayBits) return;
    SmoothBlitPixels(r.bytes.data(), g.bytes.data(), b.bytes.data(), Dibs.DisplayBits,
                     m.BufferWidth + 1, m.BufferHeight + 1, Dibs.DisplayInfo.biWidth, m.Zoom, held,
                     Dibs.Held.x0, Dibs.Held.y0);
}

// Before an update: the bitmap follows the window, and when it moved, all it now holds is
// rendered from the planes being shown (a whole-image update does that itself).
void FollowWindow(const Plane& r, const Plane& g, const Plane& b, bool wholeImage) {
    const Module1State& m = Module1;
    if (!FitDisplay() || wholeImage) return;
    if (r.sizeIs(m.BufferWidth, m.BufferHeight) && g.sizeIs(m.BufferWidth, m.BufferHeight) &&
        b.sizeIs(m.BufferWidth, m.BufferHeight) && m.Zoom != 0)
        Render(r, g, b, Dibs.Held);
}

void ShowOnWindow(const BlitPlan& p) {
    const Module1State& m = Module1;
    if (!Dibs.View) return;
    const double zoom = m.Zoom;
    const Rect& i = p.image;
    // Both ends floored alike, so that the last display pixel of the update is shown even when
    // the start was floored outwards; and every pixel rendered is shown.
    const Rect shown = Rect{FloorToInt32(i.x0 * zoom), FloorToInt32(i.y0 * zoom),
                            FloorToInt32(i.x1 * zoom), FloorToInt32(i.y1 * zoom)}
                           .United(TargetOf(p));
    Dibs.View->BitBlt(shown.x0 + m.ScrollX, shown.y0 + m.ScrollY, shown.x1 - shown.x0,
                      shown.y1 - shown.y0, shown.x0, shown.y0);
}

// An update as BlitDisplay names it (first and last column and row) as a half-open area; the
// far ends in 64 bits first, so that x2 + 1 cannot overflow.
Rect AreaOf(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const auto end = [](int32_t v) {
        return static_cast<int32_t>(std::min<int64_t>(int64_t(v) + 1, INT32_MAX));
    };
    return {x1, y1, end(x2), end(y2)};
}

}  // namespace

namespace {

void Blit(const Plane& r, const Plane& g, const Plane& b, const Rect& area, bool wholeImage) {
    FollowWindow(r, g, b, wholeImage);
    const BlitPlan p = PlanBlit(r, g, b, area);
    if (!p.goes) return;
    Render(r, g, b, TargetOf(p));
    ShowOnWindow(p);
}

}  // namespace

void BlitDisplay(const Plane& r, const Plane& g, const Plane& b, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2) {
    const Module1State& m = Module1;
    const Rect area = AreaOf(x1, y1, x2, y2);
    Blit(r, g, b, area,
         area.Intersected({0, 0, m.BufferWidth, m.BufferHeight}) ==
             Rect{0, 0, m.BufferWidth, m.BufferHeight});
}

bool ShownArea(const Plane& r, const Plane& g, const Plane& b, const Rect& area, Rect* shown) {
    const BlitPlan p = PlanBlit(r, g, b, area);
    if (TargetOf(p).empty()) return false;
    *shown = p.image;
    return true;
}

Rect BlitTarget(const Plane& r, const Plane& g, const Plane& b, const Rect& area) {
    return TargetOf(PlanBlit(r, g, b, area));
}

void FollowWindow(const Plane& r, const Plane& g, const Plane& b) { FollowWindow(r, g, b, false); }

void RenderDisplay(const Plane& r, const Plane& g, const Plane& b, const Rect& d) {
    if (!d.empty()) Render(r, g, b, d);
}

void TellWindow(const Plane& r, const Plane& g, const Plane& b, const Rect& area) {
    const BlitPlan p = PlanBlit(r, g, b, area);
    if (p.goes) ShowOnWindow(p);
}

void displaybuffers() {
    const Module1State& m = Module1;
    if (Dibs.View) {
        const int cw = Dibs.View->ClientWidth(), ch = Dibs.View->ClientHeight();
        const int iw = FloorToInt32(static_cast<double>(m.BufferWidth) * m.Zoom);
        const int ih = FloorToInt32(static_cast<double>(m.BufferHeight) * m.Zoom);
        Dibs.View->FillBackground(-1, -1, m.ScrollX - 1, ch);
        Dibs.View->FillBackground(-1, -1, cw, m.ScrollY - 1);
        Dibs.View->FillBackground(cw + 1, -1, iw + m.ScrollX, ch + 1);
        Dibs.View->FillBackground(-1, ch + 1, cw + 1, ih + m.ScrollY);
    }
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}

void Form_Paint() {
    const Module1State& m = Module1;
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}
