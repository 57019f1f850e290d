// The display work of a pointer move, planned for all its pieces together, against the plain
// order (every piece stamped, composited in full and blitted in full, one after the other); and
// the scaling routine's fast paths against each display pixel computed on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "brush/brush.h"
#include "canvas/dibs.h"
#include "canvas/smoothblit.h"
#include "core/module1.h"
#include "cpu_levels.h"
#include "engine_setup.h"
#include "input/stroke_capture.h"
#include "test_support.h"

extern const uint32_t kRandSeed = 77031;

namespace {

// A 150 x 110 image of random bytes, its display copy alike, in a 170 x 120 window.
void RandomScene(RecordingSurface& view) {
    view.cw = 170;
    view.ch = 120;
    FreshEngine(150, 110, &view);
    for (Plane* p : {&Module1.RPlane, &Module1.GPlane, &Module1.BPlane})
        for (uint8_t& v : p->bytes) v = static_cast<uint8_t>(Rand(0, 255));
    DisplayCopyFollowsImage();
}

// DrawBrush the plain way: each sample's piece stamped, then RenderSegment(1), which composites
// the piece's whole rectangle and blits it.
void PieceByPiece(float X, float Y) {
    Module1State& m = Module1;
    const int n = m.PointCount;
    const float ex = static_cast<float>(X / static_cast<double>(m.Zoom) -
                                        m.ScrollX / static_cast<double>(m.Zoom));
    const float ey = static_cast<float>(Y / static_cast<double>(m.Zoom) -
                                        m.ScrollY / static_cast<double>(m.Zoom));
    const float dist = PointDistance(ex, ey, m.LastX, m.LastY);
    float step = dist > 0 ? 1 / dist : 1.0f;
    if (dist > 10) step = 0.1f;
    for (float t = 0; t <= 1; t = t + step) {
        float s[3];
        for (int c = 0; c < 3; ++c)
            s[c] = p_Catmull(t, m.Stroke(n - 3, c), m.Stroke(n - 2, c), m.Stroke(n - 1, c),
                             m.Stroke(n, c));
        m.DirtyRight = std::max(m.DirtyRight, s[0] + m.BrushSize);
        m.DirtyLeft = std::min(m.DirtyLeft, s[0] - m.BrushSize);
        m.DirtyBottom = std::max(m.DirtyBottom, s[1] + m.BrushSize);
        m.DirtyTop = std::min(m.DirtyTop, s[1] - m.BrushSize);
        AALine(m.LastX, m.LastY, s[0], s[1], m.BrushSize * m.LastPressure, s[2] * m.BrushSize,
               static_cast<int16_t>(m.BufferWidth), static_cast<int16_t>(m.BufferHeight));
        RenderSegment(1, m.LastX, m.LastY, s[0], s[1]);
        m.LastX = s[0];
        m.LastY = s[1];
        m.LastPressure = s[2];
    }
}

// What a move leaves behind: the engine state, the display bitmap, the window's blits.
struct Outcome {
    Module1State state;
    std::vector<uint32_t> bits;
    std::vector<RecordingSurface::Rect> blits;
};

void ExpectSameOutcome(const Outcome& want, const Outcome& got) {
    EXPECT_EQ(got.state.FXBuffer.bytes, want.state.FXBuffer.bytes);
    EXPECT_EQ(got.state.RBase.bytes, want.state.RBase.bytes);
    EXPECT_EQ(got.state.GBase.bytes, want.state.GBase.bytes);
    EXPECT_EQ(got.state.BBase.bytes, want.state.BBase.bytes);
    EXPECT_EQ(got.state.StampDistance, want.state.StampDistance);
    EXPECT_EQ(got.state.LastX, want.state.LastX);
    EXPECT_EQ(got.state.DirtyRight, want.state.DirtyRight);
    ASSERT_EQ(got.bits.size(), want.bits.size());
    size_t differ = 0;
    for (size_t i = 0; i < got.bits.size(); ++i) differ += got.bits[i] != want.bits[i];
    EXPECT_EQ(differ, 0u) << "display pixels differ";
    ASSERT_EQ(got.blits.size(), want.blits.size());
    for (size_t i = 0; i < got.blits.size(); ++i) {
        const auto &a = got.blits[i], &b = want.blits[i];
        EXPECT_TRUE(a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.e == b.e &&
                    a.f == b.f)
            << "blit " << i;
    }
}

struct BrushCase {
    const char* name;
    int curve, relief, mode, paper;
    float opacity;
};

struct UnionCase {
    float zoom;
    BrushCase brush;
    float radius;
};

void PrintTo(const UnionCase& c, std::ostream* os) {
    *os << "zoom " << c.zoom << ", " << c.brush.name << ", radius " << c.radius;
}

class DisplayUnion : public ::testing::TestWithParam<UnionCase> {};

// A curved stroke through the middle of a 150 x 110 image, some points far apart (ten pieces a
// move), some close; the window shows part of it. Drawn at every CPU level, against the plain
// order at the plain level.
TEST_P(DisplayUnion, MoveEndsAsIfEveryPieceWereDrawnInFull) {
    const UnionCase& c = GetParam();
    AtEveryCpuLevel([&] {
        RecordingSurface view;
        DetachView detach;
        RandomScene(view);
        Module1State& m = Module1;
        // Coverage left from an earlier stroke outside its cleared rectangle.
        for (int i = 0; i < 200; ++i)
            m.FXBuffer.at(Rand(0, 149), Rand(0, 109)) = static_cast<uint8_t>(Rand(1, 255));
        m.Paper = Plane(7, 5);
        for (uint8_t& v : m.Paper.bytes) v = static_cast<uint8_t>(Rand(0, 255));
        m.PaperWidth = 7;
        m.PaperHeight = 5;
        m.BrushCurve = c.brush.curve;
        m.BrushRelief = c.brush.relief;
        m.BlendMode = c.brush.mode;
        m.PaperStrength = c.brush.paper;
        m.BrushOpacity = c.brush.opacity;
        m.BrushSize = c.radius;
        m.ColorR = 30;
        m.ColorG = 200;
        m.ColorB = 90;
        m.Zoom = c.zoom;
        m.ScrollX = static_cast<int32_t>(std::lround(view.cw / 2.0 - 80 * c.zoom));
        m.ScrollY = static_cast<int32_t>(std::lround(view.ch / 2.0 - 50 * c.zoom));
        CreateDisplayBitmap();
        displaybuffers();

        const int kPoints = 14;
        for (int i = 0; i < kPoints; ++i) {
            const double a = 0.5 * i;
            const double r = 8 + 3.0 * i * (i % 3 == 0 ? 1.6 : 0.7);
            m.SetStrokePoint(i, static_cast<float>(80 + r * std::cos(a)),
                             static_cast<float>(55 + 0.7 * r * std::sin(a)),
                             static_cast<float>(0.3 + 0.7 * (i % 4) / 3.0));
        }
        m.LastX = m.Stroke(1, 0);
        m.LastY = m.Stroke(1, 1);
        m.LastPressure = m.Stroke(1, 2);
        m.DirtyLeft = m.DirtyRight = m.LastX;
        m.DirtyTop = m.DirtyBottom = m.LastY;

        for (int n = 3; n < kPoints; ++n) {
            SCOPED_TRACE(n);
            m.PointCount = n;
            const float X = m.Stroke(n, 0) * c.zoom + m.ScrollX,
                        Y = m.Stroke(n, 1) * c.zoom + m.ScrollY;
            const Module1State before = Module1;
            const std::vector<uint32_t> bitsBefore(Dibs.Storage.begin(), Dibs.Storage.end());

            view.blits.clear();
            {
                CpuLevelScope plain(CpuLevel::Plain);
                PieceByPiece(X, Y);
            }
            const Outcome want{Module1, {Dibs.Storage.begin(), Dibs.Storage.end()}, view.blits};

            Module1 = before;
            std::copy(bitsBefore.begin(), bitsBefore.end(), Dibs.Storage.begin());
            view.blits.clear();
            DrawBrush(X, Y);
            ExpectSameOutcome(want,
                              {Module1, {Dibs.Storage.begin(), Dibs.Storage.end()}, view.blits});
            if (HasFatalFailure() || HasNonfatalFailure()) return;
        }
    });
}

const BrushCase kBrushes[] = {
    {"pen", 0, 0, 0, 0, 255},
    {"gel", 1, 1, 0, 0, 255},
    {"ink", 2, 0, 3, 0, 255},
    {"gel_on_paper", 1, 1, 0, 180, 255},
    // Curve 1 at opacity 3: alpha is 0 at full coverage but not at medium coverage, so a
    // pixel's last composite does not decide the display copy alone.
    {"gel_faint", 1, 1, 0, 0, 3},
};

std::vector<UnionCase> UnionCases() {
    std::vector<UnionCase> cases;
    for (float zoom : {1.0f, 4.0f, 2.0f, 3.0f, 1.25f, 0.5f, 0.75f, 0.25f})
        for (const BrushCase& b : kBrushes)
            for (float radius : {2.0f, 9.0f}) cases.push_back({zoom, b, radius});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Engine, DisplayUnion, ::testing::ValuesIn(UnionCases()),
                         [](const ::testing::TestParamInfo<UnionCase>& info) {
                             const UnionCase& c = info.param;
                             return "zoom" + std::to_string(static_cast<int>(c.zoom * 100)) + "_" +
                                    c.brush.name + "_r" +
                                    std::to_string(static_cast<int>(c.radius));
                         });

// What the window shows while a stroke is drawn, and after its release, equals a render of the
// whole image at that zoom: when magnified, the display pixels beside each update that blend
// its edge pixels are refreshed too.
TEST(DisplayUnionWindow, StrokeShowsWhatTheWholeImageRenderingShows) {
    AtEveryCpuLevel([&] {
        for (float zoom : {2.5f, 4.0f, 1.25f, 3.0f, 1.0f, 0.75f, 0.5f}) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom);
            ScreenSurface view;
            DetachView detach;
            RandomScene(view);
            Module1State& m = Module1;
            m.BrushSize = 6;
            m.ColorR = 250;
            m.ColorG = 10;
            m.ColorB = 90;
            m.Zoom = zoom;
            m.ScrollX = static_cast<int32_t>(std::lround(view.cw / 2.0 - 80 * zoom));
            m.ScrollY = static_cast<int32_t>(std::lround(view.ch / 2.0 - 50 * zoom));
            CreateDisplayBitmap();
            view.Clear();
            displaybuffers();
            const auto expectWindowShows = [&](const Plane& r, const Plane& g, const Plane& b) {
                const int dw = Dibs.DisplayWidth, dh = Dibs.DisplayHeight, row = (dw + 3) / 4 * 4;
                std::vector<uint32_t> whole(static_cast<size_t>(row) * dh);
                CpuLevelScope plain(CpuLevel::Plain);
                p_smoothblit(r.bytes.data(), g.bytes.data(), b.bytes.data(), whole.data(), 0, 0,
                             m.BufferWidth, m.BufferHeight, m.BufferWidth + 1, m.BufferHeight + 1,
                             dw, dh, row, zoom);
                EXPECT_EQ(view.WrongPixels(whole, row), 0);
            };
            m.PenPressure = 1;
            for (int i = 0; i <= 24; ++i) {
                const double a = 0.4 * i;
                float X =
                    static_cast<float>((80 + (10 + 1.5 * i) * std::cos(a)) * zoom + m.ScrollX);
                float Y = static_cast<float>((50 + (8 + i) * std::sin(a)) * zoom + m.ScrollY);
                if (i == 0) {
                    Form_MouseDown(1, 0, X, Y);
                } else if (i < 24) {
                    Form_MouseMove(1, 0, X, Y);
                    expectWindowShows(m.RBase, m.GBase, m.BBase);
                } else {
                    Form_MouseUp(1, 0, X, Y);
                    expectWindowShows(m.RPlane, m.GPlane, m.BPlane);
                }
                if (HasFailure()) return;
            }
        }
    });
}

// ---------------------------------------------------------------------------- the scaling

// The colour p_smoothblit gives display pixel (X, Y), computed on its own from the rules of
// smoothblit.h: zoom 1 copies, above 1 interpolates bilinearly in 1/256 steps, below 1 averages
// the covered image pixels.
uint32_t ExpectedPixel(const Plane* planes, int w, int h, double zoom, int X, int Y) {
    uint32_t v[3];
    for (int ch = 0; ch < 3; ++ch) {
        const Plane& p = planes[ch];
        if (zoom == 1) {
            v[ch] = p.at(X, Y);
        } else if (zoom > 1) {
            auto tap = [&](int D, int n, int* i0, int* i1, int* w1) {
                const double u = std::clamp((D + 0.5) / zoom - 0.5, 0.0, n - 1.0);
                *i0 = static_cast<int>(u);
                *i1 = std::min(*i0 + 1, n - 1);
                *w1 = static_cast<int>(std::lrint((u - *i0) * 256));
            };
            int x0, x1, wx, y0, y1, wy;
            tap(X, w, &x0, &x1, &wx);
            tap(Y, h, &y0, &y1, &wy);
            const int top = p.at(x0, y0) * (256 - wx) + p.at(x1, y0) * wx;
            const int bottom = p.at(x0, y1) * (256 - wx) + p.at(x1, y1) * wx;
            v[ch] = static_cast<uint32_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
        } else {
            auto range = [&](int D, int n, int* s0, int* s1) {
                *s0 = std::min(static_cast<int>(std::floor(D / zoom)), n - 1);
                *s1 = std::clamp(static_cast<int>(std::floor((D + 1) / zoom)), *s0 + 1, n);
            };
            int sx0, sx1, sy0, sy1;
            range(X, w, &sx0, &sx1);
            range(Y, h, &sy0, &sy1);
            uint32_t sum = 0;
            for (int y = sy0; y < sy1; ++y)
                for (int x = sx0; x < sx1; ++x) sum += p.at(x, y);
            const uint32_t count = static_cast<uint32_t>((sx1 - sx0) * (sy1 - sy0));
            v[ch] = (sum + count / 2) / count;
        }
    }
    return (v[0] << 16) | (v[1] << 8) | v[2];
}

TEST(SmoothBlit, EveryZoomAndRectangleMatchesThePixelRules) {
    // Image sizes and rectangles that reach the edges, start on and off multiples of four
    // display pixels, and are wider and narrower than the vector steps.
    AtEveryCpuLevel([&] {
        for (const auto& [w, h] : {std::pair{37, 23}, std::pair{64, 9}, std::pair{5, 70}}) {
            Plane planes[3] = {Plane(w, h), Plane(w, h), Plane(w, h)};
            for (Plane& p : planes)
                for (uint8_t& v : p.bytes) v = static_cast<uint8_t>(Rand(0, 255));
            for (float zoom : {1.0f, 4.0f, 2.0f, 3.0f, 1.5f, 6.0f, 0.5f, 0.25f, 0.75f}) {
                const int dw = static_cast<int>(w * zoom), dh = static_cast<int>(h * zoom);
                const int row = (dw + 3) / 4 * 4;
                for (int k = 0; k < 12; ++k) {
                    int x1 = Rand(0, w - 1), x2 = Rand(x1 + 1, w), y1 = Rand(0, h - 1),
                        y2 = Rand(y1 + 1, h);
                    if (k == 0) x1 = y1 = 0, x2 = w, y2 = h;
                    SCOPED_TRACE(testing::Message()
                                 << w << "x" << h << " zoom " << zoom << " columns " << x1 << ".."
                                 << x2 << " rows " << y1 << ".." << y2);
                    std::vector<uint32_t> bits(static_cast<size_t>(row) * dh, 0xDEADBEEF);
                    p_smoothblit(planes[0].bytes.data(), planes[1].bytes.data(),
                                 planes[2].bytes.data(), bits.data(), x1, y1, x2, y2, w + 1, h + 1,
                                 dw, dh, row, zoom);
                    for (int Y = 0; Y < dh; ++Y)
                        for (int X = 0; X < row; ++X) {
                            const double ix = X / double(zoom), iy = Y / double(zoom);
                            const bool inside =
                                X < dw && ix >= x1 && ix < x2 && iy >= y1 && iy < y2;
                            const uint32_t want =
                                inside ? ExpectedPixel(planes, w, h, zoom, X, Y) : 0xDEADBEEF;
                            ASSERT_EQ(bits[static_cast<size_t>(Y) * row + X], want)
                                << X << "," << Y;
                        }
                }
            }
        }
    });
}

}  // namespace
