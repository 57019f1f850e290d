#include "bench_scene.h"

#include <cmath>
#include <cstring>

#include "brush/tables.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "core/module1.h"
#include "engine_setup.h"

const std::vector<StrokePoint>& SpiralStroke() {
    static const std::vector<StrokePoint> points = [] {
        std::vector<StrokePoint> p;
        p.reserve(kStrokePointCount);
        const double centre = kCanvasSize / 2;
        for (int i = 0; i < kStrokePointCount; ++i) {
            const double theta = 0.02 * i, r = 200 + 0.5 * i;
            const double pressure = 0.2 + 0.8 * (0.5 + 0.5 * std::sin(0.01 * i));
            p.push_back({centre + r * std::cos(theta), centre + r * std::sin(theta),
                         static_cast<float>(pressure)});
        }
        return p;
    }();
    return points;
}

const char* BrushName(BrushKind kind) { return kind == BrushKind::Pen ? "Pen" : "Gel brush"; }

namespace {

// A smooth picture: gradients of different periods in the three channels.
void FillPattern() {
    Module1State& m = Module1;
    for (int y = 0; y < m.BufferHeight; ++y) {
        uint8_t* r = m.RPlane.row(y);
        uint8_t* g = m.GPlane.row(y);
        uint8_t* b = m.BPlane.row(y);
        for (int x = 0; x < m.BufferWidth; ++x) {
            r[x] = static_cast<uint8_t>(((x + y) >> 5) & 0xFF);
            g[x] = static_cast<uint8_t>(128 + ((x >> 4) & 0x7F));
            b[x] = static_cast<uint8_t>(255 - ((y >> 4) & 0xFF));
        }
    }
}

}  // namespace

void SetUpEngine(float zoom, CanvasSurface* view) {
    SetUpEngineState(kCanvasSize, kCanvasSize, view, "Marlo bench");
    Module1State& m = Module1;
    FillPattern();
    DisplayCopyFollowsImage();
    m.Zoom = zoom;
    m.ScrollX = static_cast<int32_t>(std::lround(kWindowWidth / 2.0 - kCanvasSize / 2.0 * zoom));
    m.ScrollY = static_cast<int32_t>(std::lround(kWindowHeight / 2.0 - kCanvasSize / 2.0 * zoom));
    CreateDisplayBitmap();
    displaybuffers();
}

void ChooseBrush(BrushKind kind, float radius) {
    Module1State& m = Module1;
    m.BrushSize = radius;
    const bool gel = kind == BrushKind::Gel;
    m.BrushCurve = gel ? 1 : 0;
    m.BrushRelief = gel ? 1 : 0;
    m.BlendMode = 0;
}

uint64_t Digest(const void* data, size_t bytes, uint64_t seed) {
    const auto* p = static_cast<const uint8_t*>(data);
    uint64_t h = seed ^ 0x9E3779B97F4A7C15ull ^ bytes;
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t v;
        std::memcpy(&v, p + i, 8);
        h = (h ^ v) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    for (; i < bytes; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h ^ (h >> 32);
}
