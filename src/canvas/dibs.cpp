#include "canvas/dibs.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "app/errors.h"
#include "app/module1.h"
#include "canvas/smoothblit.h"

DibsState Dibs;

namespace {

// Round to nearest, halves to even (the default rounding mode), clamped into 32 bits.
int32_t RoundClamp(double v) {
    if (std::isnan(v)) return 0;
    v = std::nearbyint(v);
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

void DeleteDisplayBitmap() {
    Dibs.Storage.clear();
    Dibs.Storage.shrink_to_fit();
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
    // A bitmap must have pixels and stay addressable (and drawable) in 32-bit sizes.
    if (!(wd >= 1 && hd >= 1 && wd < INT32_MAX - 4 && hd < INT32_MAX))
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
    try {
        Dibs.Storage.assign(static_cast<size_t>(w) * h, 0u);
    } catch (const std::bad_alloc&) {
        DeleteDisplayBitmap();
        throw MarloError(kErrOutOfMemory, "Out of memory: the display bitmap cannot be created");
    }
    Dibs.DisplayInfo = info;
    Dibs.DisplayBits = Dibs.Storage.data();
    Dibs.DisplayWidth = static_cast<int32_t>(wd);
    Dibs.DisplayHeight = h;
    Dibs.DisplayDC = 1;
    Dibs.DisplayBitmap = 1;
}

void BlitDisplay(const Plane& r, const Plane& g, const Plane& b, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2) {
    const Module1State& m = Module1;
    if (m.Zoom == 0) return;
    const double zoom = m.Zoom;
    // Ends exclusive, clipped to the image (64-bit so that x2 + 1 cannot overflow).
    int64_t l = std::clamp<int64_t>(x1, 0, m.BufferWidth);
    int64_t t = std::clamp<int64_t>(y1, 0, m.BufferHeight);
    int64_t rr = std::clamp<int64_t>(static_cast<int64_t>(x2) + 1, 0, m.BufferWidth);
    int64_t bb = std::clamp<int64_t>(static_cast<int64_t>(y2) + 1, 0, m.BufferHeight);
    if (Dibs.View) {
        const int cw = Dibs.View->ClientWidth(), ch = Dibs.View->ClientHeight();
        l = std::max<int64_t>(l, RoundClamp((-1.0 - m.ScrollX) / zoom));
        t = std::max<int64_t>(t, RoundClamp((-1.0 - m.ScrollY) / zoom));
        rr = std::min<int64_t>(rr, RoundClamp((cw + 1.0 - m.ScrollX) / zoom));
        bb = std::min<int64_t>(bb, RoundClamp((ch + 1.0 - m.ScrollY) / zoom));
    }
    if (rr <= l || bb <= t) return;
    if (!Dibs.DisplayBits || !r.sizeIs(m.BufferWidth, m.BufferHeight) ||
        !g.sizeIs(m.BufferWidth, m.BufferHeight) || !b.sizeIs(m.BufferWidth, m.BufferHeight))
        return;
    p_smoothblit(r.bytes.data(), g.bytes.data(), b.bytes.data(), Dibs.DisplayBits,
                 static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(rr),
                 static_cast<int32_t>(bb), m.BufferWidth + 1, m.BufferHeight + 1, Dibs.DisplayWidth,
                 Dibs.DisplayHeight, Dibs.DisplayInfo.biWidth, m.Zoom);
    if (Dibs.View) {
        const int32_t sx = FloorClamp(l * zoom), sy = FloorClamp(t * zoom);
        Dibs.View->BitBlt(sx + m.ScrollX, sy + m.ScrollY, FloorClamp((rr - l) * zoom),
                          FloorClamp((bb - t) * zoom), sx, sy);
    }
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
