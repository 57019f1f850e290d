#include "canvas/dibs.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "app/errors.h"
#include "app/module1.h"
#include "app/rounding.h"
#include "app/scratch.h"
#include "canvas/display_rects.h"
#include "canvas/smoothblit.h"

DibsState Dibs;

bool DisplayPixels::Make(size_t n) {
    Clear();
    if (n == 0) return true;
    pixels_.reset(static_cast<uint32_t*>(std::calloc(n, sizeof(uint32_t))));
    if (!pixels_) return false;
    n_ = n;
    return true;
}

void DeleteDisplayBitmap() {
    Dibs.Storage.Clear();
    Dibs.DisplayBits = nullptr;
    Dibs.DisplayDC = 0;
    Dibs.DisplayBitmap = 0;
    Dibs.DisplayWidth = Dibs.DisplayHeight = 0;
}

void CreateDisplayBitmap() {
    const Module1State& m = Module1;
    if (Dibs.DisplayDC != 0) {
        if (Dibs.View && Dibs.View->IsVisible()) {
            const float percent = m.Zoom * 100.0f;  // single precision, as the zoom is held
            Dibs.View->SetCaption(m.CaptionText + " zoom = " +
                                  std::to_string(static_cast<long long>(std::fabs(std::floor(percent)))));
        }
        DeleteDisplayBitmap();
    }
    const double wd = std::floor(static_cast<double>(m.BufferWidth) * m.Zoom);
    const double hd = std::floor(static_cast<double>(m.BufferHeight) * m.Zoom);
    // A bitmap stays addressable (and drawable) in 32-bit sizes. An image too small to cover a
    // display pixel at this zoom gets an empty bitmap, which draws nothing.
    if (!(wd >= 0 && hd >= 0 && wd < INT32_MAX - 4 && hd < INT32_MAX))
        throw MarloError(kErrOutOfMemory, "Out of memory: the display bitmap cannot be created");
    int32_t w = static_cast<int32_t>(wd);
    const int32_t h = static_cast<int32_t>(hd);
    if (w % 4 != 0) w = w + 4 - (w % 4);
    if (static_cast<double>(w) * h * 4 > Dibs.MaxBitmapBytes)
        throw MarloError(kErrOutOfMemory, "Out of memory: the display bitmap cannot be created");
    BitmapInfoHeader info;
    info.biBitCount = 32;
    info.biCompression = 0;
    info.biPlanes = 1;
    info.biSize = 40;
    info.biWidth = w;
    info.biHeight = -h;
    if (!Dibs.Storage.Make(static_cast<size_t>(w) * h)) {
        DeleteDisplayBitmap();
        throw MarloError(kErrOutOfMemory, "Out of memory: the display bitmap cannot be created");
    }
    Dibs.DisplayInfo = info;
    Dibs.DisplayBits = Dibs.Storage.empty() ? nullptr : Dibs.Storage.data();
    Dibs.DisplayWidth = static_cast<int32_t>(wd);
    Dibs.DisplayHeight = h;
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
        i = i.Intersected({FloorToInt32((-1.0 - m.ScrollX) / zoom), FloorToInt32((-1.0 - m.ScrollY) / zoom),
                           CeilToInt32((cw + 1.0 - m.ScrollX) / zoom), CeilToInt32((ch + 1.0 - m.ScrollY) / zoom)});
    }
    p.goes = !i.empty() && Dibs.DisplayBits && r.sizeIs(m.BufferWidth, m.BufferHeight) &&
             g.sizeIs(m.BufferWidth, m.BufferHeight) && b.sizeIs(m.BufferWidth, m.BufferHeight);
    return p;
}

Rect TargetOf(const BlitPlan& p) {
    const Module1State& m = Module1;
    if (!p.goes) return {};
    return SmoothBlitTarget(p.image.x0, p.image.y0, p.image.x1, p.image.y1, m.BufferWidth + 1,
                            m.BufferHeight + 1, Dibs.DisplayWidth, Dibs.DisplayHeight,
                            Dibs.DisplayInfo.biWidth, m.Zoom);
}

void Render(const Plane& r, const Plane& g, const Plane& b, const Rect& d) {
    const Module1State& m = Module1;
    SmoothBlitPixels(r.bytes.data(), g.bytes.data(), b.bytes.data(), Dibs.DisplayBits,
                     m.BufferWidth + 1, m.BufferHeight + 1, Dibs.DisplayInfo.biWidth, m.Zoom, d);
}

void ShowOnWindow(const BlitPlan& p) {
    const Module1State& m = Module1;
    if (!Dibs.View) return;
    const double zoom = m.Zoom;
    const Rect& i = p.image;
    const int32_t sx = FloorToInt32(i.x0 * zoom), sy = FloorToInt32(i.y0 * zoom);
    Dibs.View->BitBlt(sx + m.ScrollX, sy + m.ScrollY, FloorToInt32((i.x1 - i.x0) * zoom),
                      FloorToInt32((i.y1 - i.y0) * zoom), sx, sy);
}

// An update as BlitDisplay names it (first and last column and row) as a half-open area; the
// far ends in 64 bits first, so that x2 + 1 cannot overflow.
Rect AreaOf(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const auto end = [](int32_t v) { return static_cast<int32_t>(std::min<int64_t>(int64_t(v) + 1, INT32_MAX)); };
    return {x1, y1, end(x2), end(y2)};
}

}  // namespace

void BlitDisplay(const Plane& r, const Plane& g, const Plane& b, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2) {
    const BlitPlan p = PlanBlit(r, g, b, AreaOf(x1, y1, x2, y2));
    if (!p.goes) return;
    Render(r, g, b, TargetOf(p));
    ShowOnWindow(p);
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

void BlitDisplayBefore(const Plane& r, const Plane& g, const Plane& b, const Rect& area,
                       const Rect* laterTargets, int laterCount) {
    const BlitPlan p = PlanBlit(r, g, b, area);
    if (!p.goes) return;
    std::vector<Rect>& parts = Scratch.displayParts;
    const Rect whole = TargetOf(p);
    parts.assign(1, whole);
    for (int i = 0; i < laterCount && !parts.empty(); ++i)
        if (!laterTargets[i].empty()) SubtractAll(parts, laterTargets[i]);
    // Any pixel of this update may be rendered now (a later update renders it again if it is
    // not this one's to keep), so each part is widened to whole groups of four columns within
    // the update: the scaling's vector steps then need no odd pixels at the ends.
    for (Rect part : parts) {
        if (part.empty()) continue;
        part.x0 = std::max(whole.x0, part.x0 / 4 * 4);
        part.x1 = std::min(whole.x1, (part.x1 + 3) / 4 * 4);
        Render(r, g, b, part);
    }
    ShowOnWindow(p);
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
