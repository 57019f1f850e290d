// Fixed-point conventions: bilinear weights are 0..256, the product of two weights 0..65536,
// and results are rounded by adding half before the shift. Area averages round to nearest.
#include "canvas/smoothblit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

inline uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// Display columns [first, last) whose image point X / zoom lies in [lo, hi), within 0..limit.
void DisplaySpan(int32_t lo, int32_t hi, double zoom, int32_t limit, int32_t* first, int32_t* last) {
    double a = std::ceil(lo * zoom), b = std::ceil(hi * zoom);
    // Guard the rounding of lo * zoom: X belongs to the span exactly when lo <= X / zoom < hi.
    while (a > 0 && (a - 1) / zoom >= lo) a -= 1;
    while (a / zoom < lo) a += 1;
    while (b > 0 && (b - 1) / zoom >= hi) b -= 1;
    while (b / zoom < hi) b += 1;
    *first = static_cast<int32_t>(std::clamp(a, 0.0, static_cast<double>(limit)));
    *last = static_cast<int32_t>(std::clamp(b, 0.0, static_cast<double>(limit)));
}

void CopyExact(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits, int32_t w,
               int32_t x0, int32_t x1, int32_t y0, int32_t y1, int32_t rowPixels) {
    for (int32_t y = y0; y < y1; ++y) {
        const size_t o = static_cast<size_t>(y) * w;
        uint32_t* out = bits + static_cast<size_t>(y) * rowPixels;
        for (int32_t x = x0; x < x1; ++x) out[x] = Pack(r[o + x], g[o + x], b[o + x]);
    }
}

struct Tap {
    int32_t i0, i1;  // neighbouring source indices
    int32_t w1;      // weight of i1, 0..256
};

Tap BilinearTap(int32_t X, double zoom, int32_t n) {
    double u = (X + 0.5) / zoom - 0.5;
    u = std::clamp(u, 0.0, static_cast<double>(n - 1));
    const int32_t i0 = static_cast<int32_t>(u);
    const int32_t i1 = std::min(i0 + 1, n - 1);
    return {i0, i1, static_cast<int32_t>(std::lround((u - i0) * 256.0))};
}

void Bilinear(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits, int32_t w,
              int32_t h, int32_t X0, int32_t X1, int32_t Y0, int32_t Y1, int32_t rowPixels,
              double zoom) {
    std::vector<Tap> cols(X1 - X0);
    for (int32_t X = X0; X < X1; ++X) cols[X - X0] = BilinearTap(X, zoom, w);
    for (int32_t Y = Y0; Y < Y1; ++Y) {
        const Tap t = BilinearTap(Y, zoom, h);
        const int32_t wy1 = t.w1, wy0 = 256 - wy1;
        const size_t o0 = static_cast<size_t>(t.i0) * w, o1 = static_cast<size_t>(t.i1) * w;
        uint32_t* out = bits + static_cast<size_t>(Y) * rowPixels;
        for (int32_t X = X0; X < X1; ++X) {
            const Tap& c = cols[X - X0];
            const int32_t wx1 = c.w1, wx0 = 256 - wx1;
            auto mix = [&](const uint8_t* p) {
                const int32_t top = p[o0 + c.i0] * wx0 + p[o0 + c.i1] * wx1;
                const int32_t bot = p[o1 + c.i0] * wx0 + p[o1 + c.i1] * wx1;
                return static_cast<uint32_t>((top * wy0 + bot * wy1 + 32768) >> 16);
            };
            out[X] = Pack(mix(r), mix(g), mix(b));
        }
    }
}

// Source range [s0, s1) of image pixels covered by display pixel X at zoom < 1.
void AreaRange(int32_t X, double zoom, int32_t n, int32_t* s0, int32_t* s1) {
    *s0 = std::min(static_cast<int32_t>(std::floor(X / zoom)), n - 1);
    *s1 = std::clamp(static_cast<int32_t>(std::floor((X + 1) / zoom)), *s0 + 1, n);
}

void AreaAverage(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits, int32_t w,
                 int32_t h, int32_t X0, int32_t X1, int32_t Y0, int32_t Y1, int32_t rowPixels,
                 double zoom) {
    for (int32_t Y = Y0; Y < Y1; ++Y) {
        int32_t sy0, sy1;
        AreaRange(Y, zoom, h, &sy0, &sy1);
        uint32_t* out = bits + static_cast<size_t>(Y) * rowPixels;
        for (int32_t X = X0; X < X1; ++X) {
            int32_t sx0, sx1;
            AreaRange(X, zoom, w, &sx0, &sx1);
            uint32_t sr = 0, sg = 0, sb = 0;
            for (int32_t sy = sy0; sy < sy1; ++sy) {
                const size_t o = static_cast<size_t>(sy) * w;
                for (int32_t sx = sx0; sx < sx1; ++sx) {
                    sr += r[o + sx];
                    sg += g[o + sx];
                    sb += b[o + sx];
                }
            }
            const uint32_t n = static_cast<uint32_t>((sx1 - sx0) * (sy1 - sy0));
            out[X] = Pack((sr + n / 2) / n, (sg + n / 2) / n, (sb + n / 2) / n);
        }
    }
}

}  // namespace

void p_smoothblit(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits, int32_t x1,
                  int32_t y1, int32_t x2, int32_t y2, int32_t widthPlus1, int32_t heightPlus1,
                  int32_t displayWidth, int32_t displayHeight, int32_t rowPixels, float zoom) {
    const int32_t w = widthPlus1 - 1, h = heightPlus1 - 1;
    if (!r || !g || !b || !bits || w <= 0 || h <= 0 || !(zoom > 0) || !std::isfinite(zoom)) return;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, w);
    y2 = std::min(y2, h);
    if (x2 <= x1 || y2 <= y1) return;
    displayWidth = std::min(displayWidth, rowPixels);
    const double z = zoom;
    int32_t X0, X1, Y0, Y1;
    DisplaySpan(x1, x2, z, displayWidth, &X0, &X1);
    DisplaySpan(y1, y2, z, displayHeight, &Y0, &Y1);
    if (X1 <= X0 || Y1 <= Y0) return;
    if (zoom == 1.0f)
        CopyExact(r, g, b, bits, w, X0, X1, Y0, Y1, rowPixels);
    else if (zoom > 1.0f)
        Bilinear(r, g, b, bits, w, h, X0, X1, Y0, Y1, rowPixels, z);
    else
        AreaAverage(r, g, b, bits, w, h, X0, X1, Y0, Y1, rowPixels, z);
}
