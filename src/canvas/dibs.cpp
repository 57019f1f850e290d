#include "canvas/dibs.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "app/errors.h"
#include "app/module1.h"
#include "canvas/display_rects.h"
#include "canvas/smoothblit.h"

DibsState Dibs;

namespace {

// ceil(v), clamped into 32 bits; NaN counts as 0.
int32_t CeilClamp(double v) {
    if (std::isnan(v)) return 0;
    v = std::ceil(v);
    if (v >= INT32_MAX) return INT32_MAX;
    if (v <= INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int32_t FloorClamp(double v) {
    if (std::isnan(v)) return 0;
    v = std::floor(v);
    if (v >= INT32_MAX) return INT32_MAX;
    if (v <= INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

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

// What BlitDisplay does for an update: the image rectangle after the clipping (ends
// exclusive), and whether the update goes ahead at all.
struct BlitPlan {
    bool goes = false;
    int64_t l = 0, t = 0, rr = 0, bb = 0;
};

BlitPlan PlanBlit(const Plane& r, const Plane& g, const Plane& b, int32_t x1, int32_t y1,
                  int32_t x2, int32_t y2) {
    const Module1State& m = Module1;
    BlitPlan p;
    if (m.Zoom == 0) return p;
    const double zoom = m.Zoom;
    // Ends exclusive, clipped to the image (64-bit so that x2 + 1 cannot overflow).
    p.l = std::clamp<int64_t>(x1, 0, m.BufferWidth);
    p.t = std::clamp<int64_t>(y1, 0, m.BufferHeight);
    p.rr = std::clamp<int64_t>(static_cast<int64_t>(x2) + 1, 0, m.BufferWidth);
    p.bb = std::clamp<int64_t>(static_cast<int64_t>(y2) + 1, 0, m.BufferHeight);
    if (Dibs.View) {
        const int cw = Dibs.View->ClientWidth(), ch = Dibs.View->ClientHeight();
        // The image pixels any part of the window shows, and a window pixel more on each side:
        // outwards to whole pixels, so that at zooms above 2 the part-shown pixels at the
        // window's edges are drawn too instead of being left black.
        p.l = std::max<int64_t>(p.l, FloorClamp((-1.0 - m.ScrollX) / zoom));
        p.t = std::max<int64_t>(p.t, FloorClamp((-1.0 - m.ScrollY) / zoom));
        p.rr = std::min<int64_t>(p.rr, CeilClamp((cw + 1.0 - m.ScrollX) / zoom));
        p.bb = std::min<int64_t>(p.bb, CeilClamp((ch + 1.0 - m.ScrollY) / zoom));
    }
    p.goes = p.rr > p.l && p.bb > p.t && Dibs.DisplayBits && r.sizeIs(m.BufferWidth, m.BufferHeight) &&
             g.sizeIs(m.BufferWidth, m.BufferHeight) && b.sizeIs(m.BufferWidth, m.BufferHeight);
    return p;
}

DisplayRect TargetOf(const BlitPlan& p) {
    const Module1State& m = Module1;
    if (!p.goes) return {};
    return SmoothBlitTarget(static_cast<int32_t>(p.l), static_cast<int32_t>(p.t),
                            static_cast<int32_t>(p.rr), static_cast<int32_t>(p.bb),
                            m.BufferWidth + 1, m.BufferHeight + 1, Dibs.DisplayWidth,
                            Dibs.DisplayHeight, Dibs.DisplayInfo.biWidth, m.Zoom);
}

void Render(const Plane& r, const Plane& g, const Plane& b, const DisplayRect& d) {
    const Module1State& m = Module1;
    SmoothBlitPixels(r.bytes.data(), g.bytes.data(), b.bytes.data(), Dibs.DisplayBits,
                     m.BufferWidth + 1, m.BufferHeight + 1, Dibs.DisplayInfo.biWidth, m.Zoom, d);
}

void ShowOnWindow(const BlitPlan& p) {
    const Module1State& m = Module1;
    if (!Dibs.View) return;
    const double zoom = m.Zoom;
    const int32_t sx = FloorClamp(p.l * zoom), sy = FloorClamp(p.t * zoom);
    Dibs.View->BitBlt(sx + m.ScrollX, sy + m.ScrollY, FloorClamp((p.rr - p.l) * zoom),
                      FloorClamp((p.bb - p.t) * zoom), sx, sy);
}

// The parts of a that lie outside b (at most four rectangles) appended to out.
void Subtract(const DisplayRect& a, const DisplayRect& b, std::vector<DisplayRect>& out) {
    if (b.empty() || b.X1 <= a.X0 || b.X0 >= a.X1 || b.Y1 <= a.Y0 || b.Y0 >= a.Y1) {
        out.push_back(a);
        return;
    }
    const int32_t y0 = std::max(a.Y0, b.Y0), y1 = std::min(a.Y1, b.Y1);
    if (a.Y0 < y0) out.push_back({a.X0, a.Y0, a.X1, y0});
    if (y1 < a.Y1) out.push_back({a.X0, y1, a.X1, a.Y1});
    if (a.X0 < b.X0) out.push_back({a.X0, y0, b.X0, y1});
    if (b.X1 < a.X1) out.push_back({b.X1, y0, a.X1, y1});
}

}  // namespace

void BlitDisplay(const Plane& r, const Plane& g, const Plane& b, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2) {
    const BlitPlan p = PlanBlit(r, g, b, x1, y1, x2, y2);
    if (!p.goes) return;
    Render(r, g, b, TargetOf(p));
    ShowOnWindow(p);
}

bool ShownArea(const Plane& r, const Plane& g, const Plane& b, const BlitArea& area, BlitArea* shown) {
    const BlitPlan p = PlanBlit(r, g, b, area.x1, area.y1, area.x2, area.y2);
    if (TargetOf(p).empty()) return false;
    *shown = {static_cast<int32_t>(p.l), static_cast<int32_t>(p.t), static_cast<int32_t>(p.rr - 1),
              static_cast<int32_t>(p.bb - 1)};
    return true;
}

DisplayRect BlitTarget(const Plane& r, const Plane& g, const Plane& b, const BlitArea& area) {
    return TargetOf(PlanBlit(r, g, b, area.x1, area.y1, area.x2, area.y2));
}

void BlitDisplayBefore(const Plane& r, const Plane& g, const Plane& b, const BlitArea& area,
                       const DisplayRect* laterTargets, int laterCount) {
    const BlitPlan p = PlanBlit(r, g, b, area.x1, area.y1, area.x2, area.y2);
    if (!p.goes) return;
    static std::vector<DisplayRect> parts, rest;
    parts.assign(1, TargetOf(p));
    for (int i = 0; i < laterCount && !parts.empty(); ++i) {
        const DisplayRect& cut = laterTargets[i];
        if (cut.empty()) continue;
        rest.clear();
        for (const DisplayRect& part : parts) Subtract(part, cut, rest);
        parts.swap(rest);
    }
    // Any pixel of this update may be rendered now (a later update renders it again if it is
    // not this one's to keep), so each part is widened to whole groups of four columns within
    // the update: the scaling's vector steps then need no odd pixels at the ends.
    const DisplayRect whole = TargetOf(p);
    for (DisplayRect part : parts) {
        if (part.empty()) continue;
        part.X0 = std::max(whole.X0, part.X0 / 4 * 4);
        part.X1 = std::min(whole.X1, (part.X1 + 3) / 4 * 4);
        Render(r, g, b, part);
    }
    ShowOnWindow(p);
}

void displaybuffers() {
    const Module1State& m = Module1;
    if (Dibs.View) {
        const int cw = Dibs.View->ClientWidth(), ch = Dibs.View->ClientHeight();
        const int iw = FloorClamp(static_cast<double>(m.BufferWidth) * m.Zoom);
        const int ih = FloorClamp(static_cast<double>(m.BufferHeight) * m.Zoom);
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
