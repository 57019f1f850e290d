#include "palette/triangle_fill.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/errors.h"
#include "palette/colour_model.h"

void PixelSurface::SetPixel(int32_t x, int32_t y, uint32_t bgr) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    const uint32_t r = bgr & 0xFF, g = (bgr >> 8) & 0xFF, b = (bgr >> 16) & 0xFF;
    bits[static_cast<size_t>(y) * stride + x] = 0xFF000000u | r << 16 | g << 8 | b;
}

uint16_t ToColor16(int32_t value) {
    if (value < 0 || value > 65535) throw MarloError(kErrOverflow, "Overflow");
    return static_cast<uint16_t>(value);
}

namespace {

constexpr int64_t kCornerLimit = int64_t{1} << 20;

// Twice the signed area of (a, b, p): positive on one side of a->b, zero on the line.
int64_t Edge(const TriVertex& a, const TriVertex& b, int64_t px, int64_t py) {
    return (int64_t{b.x} - a.x) * (py - a.y) - (int64_t{b.y} - a.y) * (px - a.x);
}

}  // namespace

void GradientFillTriangle(PixelSurface& surface, const std::array<TriVertex, 3>& v) {
    for (const TriVertex& c : v)
        if (std::llabs(c.x) > kCornerLimit || std::llabs(c.y) > kCornerLimit)
            throw MarloError(kErrOverflow, "Overflow");
    int64_t area = Edge(v[0], v[1], v[2].x, v[2].y);
    if (area == 0) return;
    const int64_t sign = area > 0 ? 1 : -1;
    area *= sign;

    const int32_t left = std::max(0, std::min({v[0].x, v[1].x, v[2].x}));
    const int32_t right = std::min(surface.width - 1, std::max({v[0].x, v[1].x, v[2].x}));
    const int32_t top = std::max(0, std::min({v[0].y, v[1].y, v[2].y}));
    const int32_t bottom = std::min(surface.height - 1, std::max({v[0].y, v[1].y, v[2].y}));
    for (int32_t y = top; y <= bottom; ++y) {
        uint32_t* row = surface.bits + static_cast<size_t>(y) * surface.stride;
        for (int32_t x = left; x <= right; ++x) {
            // Weight of each corner: the area of the sub-triangle opposite it. At a corner its
            // own weight equals the whole area and the others vanish, so the corner is exact.
            const int64_t w0 = Edge(v[1], v[2], x, y) * sign;
            const int64_t w1 = Edge(v[2], v[0], x, y) * sign;
            const int64_t w2 = Edge(v[0], v[1], x, y) * sign;
            if (w0 < 0 || w1 < 0 || w2 < 0) continue;
            auto mix = [&](uint16_t c0, uint16_t c1, uint16_t c2) {
                const int64_t c16 = (w0 * c0 + w1 * c1 + w2 * c2) / area;
                return static_cast<uint32_t>(c16 >> 8);
            };
            row[x] = 0xFF000000u | mix(v[0].Red, v[1].Red, v[2].Red) << 16 |
                     mix(v[0].Green, v[1].Green, v[2].Green) << 8 |
                     mix(v[0].Blue, v[1].Blue, v[2].Blue);
        }
    }
}

std::array<TriVertex, 3> TriangleCorners(int32_t hue, int32_t w, int32_t h) {
    float r, g, b;
    HSV_To_RGB(r, g, b, static_cast<float>(hue), 1.0f, 1.0f);
    const int32_t r8 = RoundHalfEven(r * 255.0f);
    const int32_t g8 = RoundHalfEven(g * 255.0f);
    const int32_t b8 = RoundHalfEven(b * 255.0f);
    std::array<TriVertex, 3> c{};
    c[0] = {0, 0, ToColor16(65025), ToColor16(65025), ToColor16(65025), 0};
    c[1] = {0, h, ToColor16(0), ToColor16(0), ToColor16(0), 0};
    c[2] = {
        w, RoundHalfEven(h / 2.0), ToColor16(r8 * 255), ToColor16(g8 * 255), ToColor16(b8 * 255),
        0};
    return c;
}

namespace {

// Rows 0..h of the triangle and the last column of each: the two slanted edges meet at the
// middle row, where the span is the whole width.
template <typename PixelFn>
void ForEachFallbackPixel(int32_t w, int32_t h, PixelFn pixel) {
    if (w <= 0 || h <= 0) return;  // no box, no triangle (and no division by zero below)
    for (int32_t row = 0; row <= h; ++row) {
        const int32_t span = RoundHalfEven(w - std::abs((row - h / 2.0) * 2.0));
        for (int32_t col = 0; col <= span; ++col) pixel(col, row);
    }
}

}  // namespace

void FallbackTriangle(PixelSurface& surface, int32_t w, int32_t h, int32_t hue) {
    ForEachFallbackPixel(w, h, [&](int32_t col, int32_t row) {
        float s = static_cast<float>(row) / h + static_cast<float>(col) / w;
        if (s < 0.0001f) s = 0.0001f;
        const float v = (h - row) * (static_cast<float>(col) / w + 1.0f) / h;
        float r, g, b;
        HSV_To_RGB(r, g, b, static_cast<float>(hue), s, v);
        surface.SetPixel(col, row, PackBGR(r * 255.0f, g * 255.0f, b * 255.0f));
    });
}

void FallbackMask(PixelSurface& surface, int32_t w, int32_t h) {
    ForEachFallbackPixel(w, h,
                         [&](int32_t col, int32_t row) { surface.SetPixel(col, row, 0xFFFFFF); });
}

void DrawTriangle(PixelSurface& picker, int32_t hue) {
    try {
        GradientFillTriangle(picker, TriangleCorners(hue, picker.width, picker.height));
    } catch (const MarloError&) {
        FallbackTriangle(picker, picker.width, picker.height, hue);
    }
}

void DrawTriangleMask(PixelSurface& mask, int32_t w, int32_t h) {
    try {
        const uint16_t white = ToColor16(65025);
        const std::array<TriVertex, 3> corners{
            TriVertex{0, 0, white, white, white, 0}, TriVertex{0, h, white, white, white, 0},
            TriVertex{w, RoundHalfEven(h / 2.0), white, white, white, 0}};
        GradientFillTriangle(mask, corners);
    } catch (const MarloError&) {
        FallbackMask(mask, w, h);
    }
}
