// The brush engine: spline samples, stamps, straight pieces and the composite.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "brush/brush.h"
#include "canvas/dibs.h"
#include "core/module1.h"
#include "cpu_levels.h"
#include "engine_setup.h"
#include "test_support.h"

extern const uint32_t kRandSeed = 20240611;

namespace {

void RandomPlane(Plane& p, int lo = 0, int hi = 255) {
    for (uint8_t& v : p.bytes) v = static_cast<uint8_t>(Rand(lo, hi));
}

// Round half to even of num / den, for non-negative integers.
int HalfEven(int num, int den) {
    int q = num / den;
    const int twice = 2 * (num % den);
    if (twice > den || (twice == den && (q & 1))) ++q;
    return q;
}

// T(s, d) of the blend modes, from their definitions in integers.
int RefBlend(int mode, int s, int d) {
    switch (mode) {
        case 1: return std::min(255, s + d);
        case 2: return std::max(0, d - s);
        case 3: return s * d / 255;
        case 4: return d == 0 ? 255 : std::min(255, HalfEven(s * 255, d));
        case 5: return HalfEven((255 - s) * d + 255 * s, 255);
        case 6: return std::max(s, d);
        case 7: return std::min(s, d);
        case 8: return s & d;
        case 9: return s | d;
        case 10: return s ^ d;
    }
    return -1;
}

struct Planes {
    Plane R, G, B, RB, GB, BB, FX;
};

Planes Snap() {
    const Module1State& m = Module1;
    return {m.RPlane, m.GPlane, m.BPlane, m.RBase, m.GBase, m.BBase, m.FXBuffer};
}

void ExpectSame(const Planes& want) {
    ExpectPlanes(Module1, want.R, want.G, want.B, want.RB, want.GB, want.BB, want.FX);
}

// The composite walked pixel by pixel in the stated order, on copies of the planes.
// BrushOpacity must be a multiple of 0.5.
void RefRender(Planes& p, int flags, float x1, float y1, float x2, float y2) {
    const Module1State& m = Module1;
    const int W = m.BufferWidth, H = m.BufferHeight;
    int paint[3] = {static_cast<int>(std::lrint(m.ColorR)), static_cast<int>(std::lrint(m.ColorG)),
                    static_cast<int>(std::lrint(m.ColorB))};
    if (m.PenAltitude < 0) paint[0] = paint[1] = paint[2] = 255;
    const int opacity2 = static_cast<int>(m.BrushOpacity * 2);
    const int sx = x1 > x2 ? -1 : 1, sy = y1 > y2 ? -1 : 1;
    const float r = m.BrushSize;
    const long xs = std::lround(std::floor(x1 - sx * r)), xe = std::lround(std::floor(x2 + sx * r));
    const long ys = std::lround(std::floor(y1 - sy * r)), ye = std::lround(std::floor(y2 + sy * r));
    auto cover = [&](long x, long y) {
        int a = p.FX.at(x, y);
        if (m.PaperStrength >= 1)
            a = std::max(
                0, a - m.Paper.at(x % m.PaperWidth, y % m.PaperHeight) * m.PaperStrength / 255);
        return a;
    };
    for (long y = ys; sy > 0 ? y <= ye : y >= ye; y += sy)
        for (long x = xs; sx > 0 ? x <= xe : x >= xe; x += sx) {
            if (x < 0 || y < 0 || x >= W || y >= H) continue;
            int a = cover(x, y);
            if (m.BrushCurve >= 1) a = m.CoverageCurves[(m.BrushCurve - 1) * 256 + a];
            const int alpha = HalfEven(a * opacity2, 2) / 255;
            if (alpha <= 0) continue;
            Plane* image[3] = {&p.R, &p.G, &p.B};
            Plane* base[3] = {&p.RB, &p.GB, &p.BB};
            int n[3];
            for (int ch = 0; ch < 3; ++ch) {
                const int o = image[ch]->at(x, y);
                n[ch] =
                    m.BlendMode == 0
                        ? ((255 - alpha) * o + paint[ch] * alpha) / 255
                        : (RefBlend(m.BlendMode, paint[ch], o) * alpha + (255 - alpha) * o) / 255;
            }
            if (m.BrushRelief >= 1 && x >= 2 && x <= W - 3 && y >= 2 && y <= H - 3) {
                const int d = cover(x + 1, y + 1) - cover(x - 1, y - 1);
                for (int& v : n) v = std::clamp(v + d, 0, 255);
            }
            for (int ch = 0; ch < 3; ++ch) {
                if (flags & 1) base[ch]->at(x, y) = static_cast<uint8_t>(n[ch]);
                if (flags & 2) image[ch]->at(x, y) = static_cast<uint8_t>(n[ch]);
            }
            if (flags & 4) p.FX.at(x, y) = 0;
        }
}

// A 96 x 12 image with random planes, coverage and a 5 x 3 paper. Each row has random coverage
// (a third of it 0, some 255), then a stretch of full coverage, a stretch of none, and random
// coverage again, so that wide runs, full runs and skipped runs are all mixed.
void RandomScene() {
    FreshEngine(96, 12);
    Module1State& m = Module1;
    RandomPlane(m.RPlane);
    RandomPlane(m.GPlane);
    RandomPlane(m.BPlane);
    DisplayCopyFollowsImage();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 96; ++x) {
            const int k = Rand(0, 5);
            uint8_t v = static_cast<uint8_t>(k <= 1 ? 0 : (k == 2 ? 255 : Rand(1, 254)));
            if (x >= 9 && x < 45 && y != 6) v = 255;
            if (x >= 45 && x < 77 && y != 3) v = 0;
            m.FXBuffer.at(x, y) = v;
        }
    m.Paper = Plane(5, 3);
    RandomPlane(m.Paper);
    m.PaperWidth = 5;
    m.PaperHeight = 3;
    m.ColorR = 200;
    m.ColorG = 37.5f;  // rounds to 38
    m.ColorB = 0;
}

struct CompositeCase {
    int mode, curve, paper, relief;
    float opacity;
    float altitude;
};

std::vector<CompositeCase> CompositeCases() {
    std::vector<CompositeCase> cases;
    for (int mode = 0; mode <= 10; ++mode)
        for (int curve = 0; curve <= 2; ++curve)
            for (int paper : {0, 180})
                for (int relief : {0, 1}) cases.push_back({mode, curve, paper, relief, 255, 0});
    for (int mode = 0; mode <= 10; ++mode) {
        cases.push_back({mode, 0, 0, 0, 1, 0});
        cases.push_back({mode, 1, 255, 1, 127.5f, 0});
        cases.push_back({mode, 0, 90, 1, 9.5f, 0});
        cases.push_back({mode, 2, 0, 0, 255, -0.5f});  // the pen's eraser end: white
    }
    return cases;
}

class Composite : public ::testing::TestWithParam<CompositeCase> {};

TEST_P(Composite, MatchesThePixelRuleInEveryPlane) {
    const CompositeCase& c = GetParam();
    AtEveryCpuLevel([&] {
        for (int flags : {1, 2, 3}) {
            SCOPED_TRACE(flags);
            RandomScene();
            Module1State& m = Module1;
            m.BlendMode = c.mode;
            m.BrushCurve = c.curve;
            m.PaperStrength = c.paper;
            m.BrushRelief = c.relief;
            m.BrushOpacity = c.opacity;
            m.PenAltitude = c.altitude;
            Planes want = Snap();
            RefRender(want, flags, 3.5f, 2.25f, 90.0f, 8.75f);
            RenderSegment(static_cast<int16_t>(flags), 3.5f, 2.25f, 90.0f, 8.75f);
            ExpectSame(want);
            // The walk widened by the radius reaches the image's edges on every side.
            RefRender(want, flags, 93.0f, 9.0f, 0.5f, 0.5f);
            RenderSegment(static_cast<int16_t>(flags), 93.0f, 9.0f, 0.5f, 0.5f);
            ExpectSame(want);
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Brush, Composite, ::testing::ValuesIn(CompositeCases()),
                         [](const ::testing::TestParamInfo<CompositeCase>& info) {
                             const CompositeCase& c = info.param;
                             return "mode" + std::to_string(c.mode) + "_curve" +
                                    std::to_string(c.curve) + "_paper" + std::to_string(c.paper) +
                                    "_relief" + std::to_string(c.relief) + "_opacity" +
                                    std::to_string(static_cast<int>(c.opacity * 2)) +
                                    (c.altitude < 0 ? "_white" : "");
                         });

TEST(RenderSegment, PlainPixelValues) {
    FreshEngine(8, 8);
    Module1State& m = Module1;
    m.ColorR = 10;
    m.ColorG = 20;
    m.ColorB = 30;
    m.RPlane.at(3, 3) = 100;
    m.FXBuffer.at(3, 3) = 255;
    m.RPlane.at(4, 3) = 100;
    m.FXBuffer.at(4, 3) = 128;  // alpha 128: (127 × 100 + 10 × 128) / 255 = 54
    RenderSegment(2, 3, 3, 4, 3);
    EXPECT_EQ(m.RPlane.at(3, 3), 10);
    EXPECT_EQ(m.GPlane.at(3, 3), 20);
    EXPECT_EQ(m.BPlane.at(3, 3), 30);
    EXPECT_EQ(m.RPlane.at(4, 3), 54);

    // Opacity 1: only full coverage paints, with alpha 1.
    m.BrushOpacity = 1;
    m.RPlane.at(3, 3) = 100;
    m.FXBuffer.at(4, 3) = 254;
    RenderSegment(2, 3, 3, 4, 3);
    EXPECT_EQ(m.RPlane.at(3, 3), (254 * 100 + 10) / 255);
    EXPECT_EQ(m.RPlane.at(4, 3), 54);

    // White paint on black shows alpha itself. Coverage × opacity exactly half-way below a
    // multiple of 255 rounds to the even neighbour: 161 × 9.5 = 1529.5 -> 1530 = 6 × 255,
    // 139 × 5.5 = 764.5 -> 764, just below 3 × 255.
    struct Case {
        float opacity;
        uint8_t cover, alpha;
    };
    for (const Case& c : {Case{9.5f, 161, 6}, Case{5.5f, 139, 2}, Case{255, 255, 255}}) {
        SCOPED_TRACE(c.opacity);
        m.BrushOpacity = c.opacity;
        m.ColorR = 255;
        m.RPlane.at(5, 5) = 0;
        m.FXBuffer.at(5, 5) = c.cover;
        RenderSegment(2, 5, 5, 5, 5);
        EXPECT_EQ(m.RPlane.at(5, 5), c.alpha);
    }
}

// With the coverage cleared as it is painted, the relief of a later pixel sees 0 for its
// neighbour painted earlier in the same pass: the walk's direction shows in the result.
TEST(RenderSegment, ClearingPassFollowsTheWalkDirection) {
    Planes forward, backward;
    for (int dir : {1, -1}) {
        FreshEngine(12, 12);
        Module1State& m = Module1;
        for (int y = 1; y <= 10; ++y)
            for (int x = 1; x <= 10; ++x) m.FXBuffer.at(x, y) = 255;
        // Opacity 1 paints only full coverage: (6, 6) is not painted and keeps its coverage,
        // which its neighbours (5, 5) and (7, 7) see in either direction.
        m.FXBuffer.at(6, 6) = 200;
        m.BrushOpacity = 1;
        m.BrushRelief = 1;
        m.ColorR = m.ColorG = m.ColorB = 90;
        Planes want = Snap();
        const float a = dir > 0 ? 3.0f : 8.0f, b = dir > 0 ? 8.0f : 3.0f;
        RefRender(want, 6, a, a, b, b);
        RenderSegment(6, a, a, b, b);
        ExpectSame(want);
        EXPECT_EQ(m.FXBuffer.at(6, 6), 200);
        EXPECT_EQ(m.FXBuffer.at(5, 5), 0);
        (dir > 0 ? forward : backward) = Snap();
    }
    // (4, 4): forward its (3, 3) neighbour is already 0 (+255), backward its (5, 5) one (-255).
    EXPECT_EQ(forward.R.at(4, 4), 255);
    EXPECT_EQ(backward.R.at(4, 4), 0);
    EXPECT_EQ(forward.FX.bytes, backward.FX.bytes);
}

TEST(RenderSegment, HugeAndNonFiniteCornersFinish) {
    RandomScene();
    Module1State& m = Module1;
    m.BrushRelief = 1;
    m.BlendMode = 3;
    Planes want = Snap();
    RefRender(want, 7, -10, -10, 110, 30);
    RenderSegment(7, -1e30f, -1e30f, 1e30f, 1e30f);
    ExpectSame(want);

    RandomScene();
    Module1.BrushRelief = 1;
    want = Snap();
    RefRender(want, 7, 110, 30, -10, -10);
    RenderSegment(7, 3e38f, 3e38f, -3e38f, -3e38f);
    ExpectSame(want);

    want = Snap();
    RenderSegment(7, NAN, 0, 5, 5);
    RenderSegment(7, 0, 0, INFINITY, 5);
    Module1.BrushSize = NAN;
    RenderSegment(7, 0, 0, 5, 5);
    ExpectSame(want);
}

TEST(RenderSegment, PreviewBlitsTheWidenedRectangle) {
    struct Case {
        const char* name;
        float zoom;
        int dx, dy, w, h;
    };
    // Corners (12.5, 9.2) and (7.1, 6.0), radius 2: columns floor(5.1) .. floor(14.5) and
    // rows floor(4.0) .. floor(11.2), widened by 1/zoom and rounded half to even.
    const Case cases[] = {
        {"zoom 1: columns 4..15, rows 3..12", 1.0f, 4, 3, 12, 10},
        // Magnified, the display pixel beside each edge blends the edge's pixels: one more
        // on every side.
        {"zoom 2: 4.5 -> 4, 14.5 -> 14, 3.5 -> 4, 11.5 -> 12", 2.0f, 7, 7, 24, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSurface view;
        DetachView detach;
        FreshEngine(40, 30, &view);
        Module1.Zoom = c.zoom;
        CreateDisplayBitmap();
        view.blits.clear();
        RenderSegment(1, 12.5f, 9.2f, 7.1f, 6.0f);
        ASSERT_EQ(view.blits.size(), 1u);
        EXPECT_EQ(view.blits[0].a, c.dx);
        EXPECT_EQ(view.blits[0].b, c.dy);
        EXPECT_EQ(view.blits[0].c, c.w);
        EXPECT_EQ(view.blits[0].d, c.h);
        view.blits.clear();
        RenderSegment(2, 12.5f, 9.2f, 7.1f, 6.0f);  // the commit shows nothing
        EXPECT_TRUE(view.blits.empty());
    }
}

// ---------------------------------------------------------------------------- the stamp

constexpr int kW = 23, kH = 17, kGuard = 64;

// A kW x kH coverage plane with guard bytes on both sides.
struct GuardedPlane {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kW * kH + 2 * kGuard, 0xA5);
    GuardedPlane() { std::fill(plane(), plane() + kW * kH, 0); }
    uint8_t* plane() { return bytes.data() + kGuard; }
    uint8_t at(int x, int y) { return plane()[y * kW + x]; }
    bool guardsIntact() const {
        for (int i = 0; i < kGuard; ++i)
            if (bytes[i] != 0xA5 || bytes[bytes.size() - 1 - i] != 0xA5) return false;
        return true;
    }
};

TEST(AAcpen, FullInsideSoftEdgeNothingBeyond) {
    const float centres[][2] = {{11, 8},        {11.5f, 8.5f}, {10.3f, 7.8f}, {0, 0},
                                {22.9f, 16.2f}, {-3, 8},       {11, -4},      {26, 8},
                                {11, 20},       {-2, -2},      {25, 19}};
    for (float radius : {1.0f, 1.5f, 2.0f, 3.7f, 6.0f, 12.25f}) {
        for (const auto& c : centres) {
            SCOPED_TRACE(testing::Message() << "r " << radius << " at " << c[0] << "," << c[1]);
            GuardedPlane p;
            AAcpen(p.plane(), c[0], c[1], radius, 255.0f, 1.0f, kW, kH);
            ASSERT_TRUE(p.guardsIntact());
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    const double d = std::hypot(x - c[0], y - c[1]);
                    if (d <= radius - 1) {
                        ASSERT_EQ(p.at(x, y), 255) << x << "," << y;
                    }
                    if (d >= radius) {
                        ASSERT_EQ(p.at(x, y), 0) << x << "," << y;
                    }
                }
        }
    }
}

TEST(AAcpen, AccumulatesWithoutLowering) {
    GuardedPlane p;
    for (int i = 0; i < kW * kH; ++i) p.plane()[i] = static_cast<uint8_t>(Rand(0, 255));
    for (int k = 0; k < 40; ++k) {
        const std::vector<uint8_t> before(p.plane(), p.plane() + kW * kH);
        AAcpen(p.plane(), Rand(-40, 260) / 10.0f, Rand(-40, 200) / 10.0f, Rand(2, 80) / 10.0f,
               255.0f, Rand(1, 255) / 255.0f, kW, kH);
        for (int i = 0; i < kW * kH; ++i) ASSERT_GE(p.plane()[i], before[i]);
    }
    EXPECT_TRUE(p.guardsIntact());
    // Repeated weak stamps build up towards full coverage; one full stamp completes it.
    GuardedPlane q;
    for (int k = 0; k < 400; ++k) AAcpen(q.plane(), 11, 8, 4, 255.0f, 20 / 255.0f, kW, kH);
    EXPECT_GE(q.at(11, 8), 245);
    AAcpen(q.plane(), 11, 8, 4, 255.0f, 1.0f, kW, kH);
    EXPECT_EQ(q.at(11, 8), 255);
}

TEST(AAcpen, LevelScalesWithValueAndStrength) {
    GuardedPlane a, b;
    AAcpen(a.plane(), 11, 8, 5, 255.0f, 0.5f, kW, kH);
    AAcpen(b.plane(), 11, 8, 5, 127.5f, 1.0f, kW, kH);
    EXPECT_EQ(a.at(11, 8), 128);  // 127.5 rounds to even
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST(AAcpen, DegenerateStampsLayLittleOrNothing) {
    GuardedPlane p;
    AAcpen(p.plane(), 11, 8, 0.3f, 255.0f, 1.0f, kW, kH);
    int most = 0;
    for (int i = 0; i < kW * kH; ++i) most = std::max<int>(most, p.plane()[i]);
    EXPECT_GT(most, 0);
    EXPECT_LE(most, 64);  // a faint dot
    // Below a radius of 1 a dot reaches the pixels less than 1 away, no further.
    GuardedPlane dot;
    AAcpen(dot.plane(), 10.5f, 8.5f, 0.8f, 255.0f, 1.0f, kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            EXPECT_EQ(dot.at(x, y) > 0, std::hypot(x - 10.5, y - 8.5) < 1) << x << "," << y;

    struct Case {
        const char* name;
        float x, y, r, value, strength;
        int w, h;
    };
    const Case nothing[] = {
        {"NaN x", NAN, 8, 4, 255, 1, kW, kH},
        {"infinite y", 11, INFINITY, 4, 255, 1, kW, kH},
        {"NaN radius", 11, 8, NAN, 255, 1, kW, kH},
        {"infinite radius", 11, 8, INFINITY, 255, 1, kW, kH},
        {"zero radius", 11, 8, 0, 255, 1, kW, kH},
        {"negative radius", 11, 8, -3, 255, 1, kW, kH},
        {"NaN strength", 11, 8, 4, 255, NAN, kW, kH},
        {"zero strength", 11, 8, 4, 255, 0, kW, kH},
        {"vanishing radius", 11, 8, 0.01f, 255, 1, kW, kH},
        {"far away", 1e30f, 8, 4, 255, 1, kW, kH},
        {"zero width", 11, 8, 4, 255, 1, 0, kH},
        {"negative height", 11, 8, 4, 255, 1, kW, -5},
    };
    for (const Case& c : nothing) {
        SCOPED_TRACE(c.name);
        GuardedPlane q;
        const std::vector<uint8_t> before = q.bytes;
        AAcpen(q.plane(), c.x, c.y, c.r, c.value, c.strength, c.w, c.h);
        EXPECT_EQ(q.bytes, before);
    }
    AAcpen(nullptr, 11, 8, 4, 255, 1, kW, kH);
}

// ---------------------------------------------------------------------------- straight pieces

// The piece walked position by position in 32-bit floats, every stamp laid (those off the
// plane lay nothing), none larger than the brush. Used for pieces of at most a few hundred
// thousand positions.
void RefWalk(Plane& cover, float& distance, float x0, float y0, float x1, float y1, float b1,
             float b2) {
    const Module1State& m = Module1;
    const float len = PointDistance(x0, y0, x1, y1);
    const float ux = len != 0 ? (x1 - x0) / len : (x1 - x0) / 2;
    const float uy = len != 0 ? (y1 - y0) / len : (y1 - y0) / 2;
    float count = std::nearbyint(len);
    if (count <= 0) count = 0.000001f;
    const float threshold = m.StampSpacing / 100 * b1;
    float px = x0, py = y0;
    for (int64_t i = 0; i <= count; ++i) {
        const float f = static_cast<float>(i) / count;
        distance = distance + PointDistance(0, 0, ux, uy);
        if (distance >= threshold) {
            distance = 0;
            AAcpen(cover.bytes.data(), px, py, std::min((1 - f) * b1 + f * b2, m.BrushSize), 255.0f,
                   m.StampStrength / 255, cover.width, cover.height);
        }
        px = px + ux;
        py = py + uy;
    }
}

struct PieceCase {
    const char* name;
    float x0, y0, x1, y1, b1, b2, distance, spacing;
    bool paints;  // whether any stamp reaches the plane
};

class Piece : public ::testing::TestWithParam<PieceCase> {};

TEST_P(Piece, StampsAndCarriesTheSpacingLikeTheFullWalk) {
    const PieceCase& c = GetParam();
    FreshEngine(60, 50);
    Module1State& m = Module1;
    m.StampSpacing = c.spacing;
    m.StampStrength = 180;
    m.StampDistance = c.distance;
    m.BrushSize = 32;
    Plane want = m.FXBuffer;
    float distance = c.distance;
    RefWalk(want, distance, c.x0, c.y0, c.x1, c.y1, c.b1, c.b2);
    AALine(c.x0, c.y0, c.x1, c.y1, c.b1, c.b2, 60, 50);
    EXPECT_EQ(m.FXBuffer.bytes, want.bytes);
    EXPECT_EQ(m.StampDistance, distance);
    EXPECT_EQ(std::any_of(want.bytes.begin(), want.bytes.end(), [](uint8_t v) { return v != 0; }),
              c.paints);
}

INSTANTIATE_TEST_SUITE_P(
    Brush, Piece,
    ::testing::ValuesIn(std::vector<PieceCase>{
        {"radius2_every_position", 10, 10, 40, 10, 2, 2, 0, 15, true},
        {"radius32_every_fifth", 5, 25, 55, 25, 32, 32, 0, 15, true},
        {"radius_above_the_brush", 5, 25, 55, 25, 40, 48, 0, 15, true},
        {"diagonal_radius_growing", 3.25f, 4.5f, 50.75f, 41.5f, 1, 6, 0.7f, 15, true},
        {"zero_length_below_threshold", 20, 20, 20, 20, 2, 2, 0.1f, 15, false},
        {"zero_length_at_threshold", 20, 20, 20, 20, 2, 2, 0.3f, 15, true},
        {"short_piece_rounds_to_one_position", 20, 20, 20.4f, 20, 3, 3, 0.2f, 15, true},
        {"pressure_zero_stamps_everywhere", 10, 10, 20, 15, 0, 3, 0, 15, true},
        {"enters_from_far_left", -200000, 30, 30, 30, 32, 32, 2.5f, 15, true},
        {"leaves_far_below", 30, 20, 31, 250000, 2, 2, 0, 15, true},
        // Equal coordinates accumulate equal rounding, so the walk stays on x = y.
        {"crosses_diagonally", -100000.25f, -100000.25f, 120030.75f, 120030.75f, 8, 8, 1.25f, 15,
         true},
        {"passes_beside_the_plane", -100000, -100000, -50000, 200000, 8, 8, 0, 15, false},
        {"long_spacing_cycle", -79990, 10, 90000, 12, 4, 4, 0, 500000, true},
        {"threshold_never_reached", 0, 0, 0, 150000, 1e30f, 1e30f, 3, 15, false},
        {"radius_nan", 10, 10, 30, 30, NAN, NAN, 0.5f, 15, false},
    }),
    [](const ::testing::TestParamInfo<PieceCase>& info) { return std::string(info.param.name); });

TEST(AALine, AbsurdPiecesEndAndCarryTheSpacing) {
    FreshEngine(60, 50);
    Module1State& m = Module1;
    m.BrushSize = 32;
    // Length 1e15: every fifth position stamps (radius 32, spacing 15), so the counter ends at
    // (number of positions) mod 5. Only the first few dozen positions reach the plane.
    const float count = std::nearbyint(PointDistance(10, 20, 1e15f, 20));
    m.StampDistance = 0;
    AALine(10, 20, 1e15f, 20, 32, 32, 60, 50);
    const double positions_mod_5 = std::fmod(std::fmod(static_cast<double>(count), 5.0) + 1.0, 5.0);
    EXPECT_EQ(m.StampDistance, static_cast<float>(positions_mod_5));
    Plane want(60, 50);
    for (float x = 14; x < 120; x += 5)
        AAcpen(want.bytes.data(), x, 20, 32, 255.0f, m.StampStrength / 255, 60, 50);
    EXPECT_EQ(m.FXBuffer.bytes, want.bytes);

    // Beyond 2^24 a float position stops moving: stuck outside the plane, nothing is laid.
    FreshEngine(60, 50);
    m.StampDistance = 1;
    AALine(-3e7f, 20, 1e7f, 20, 32, 32, 60, 50);
    for (uint8_t v : m.FXBuffer.bytes) ASSERT_EQ(v, 0);
    const double n = std::nearbyint(4e7) + 1;  // positions; the first reset after 4 of them
    EXPECT_EQ(m.StampDistance, static_cast<float>(std::fmod(n - 4, 5.0)));

    // Non-finite pieces are skipped and leave the counter alone.
    const float nonfinite[][4] = {
        {NAN, 0, 10, 10}, {0, 0, INFINITY, 10}, {-INFINITY, 5, 5, 5}, {0, 0, 3e38f, -3e38f}};
    for (const auto& p : nonfinite) {
        m.StampDistance = 2.5f;
        AALine(p[0], p[1], p[2], p[3], 32, 32, 60, 50);
        EXPECT_EQ(m.StampDistance, 2.5f);
    }
    for (uint8_t v : m.FXBuffer.bytes) ASSERT_EQ(v, 0);
}

// ---------------------------------------------------------------------------- segments

TEST(Catmull, PassesThroughTheInnerPoints) {
    for (int k = 0; k < 200; ++k) {
        const float p[4] = {Rand(-100000, 100000) / 7.0f, Rand(-100000, 100000) / 3.0f,
                            Rand(-100000, 100000) / 11.0f, Rand(-100000, 100000) / 13.0f};
        EXPECT_EQ(Catmull(0, p[0], p[1], p[2], p[3]), p[1]);
        EXPECT_EQ(Catmull(1, p[0], p[1], p[2], p[3]), p[2]);
        EXPECT_EQ(p_Catmull(0.3f, p[0], p[1], p[2], p[3]), Catmull(0.3f, p[0], p[1], p[2], p[3]));
    }
    // Midpoint: (-p1 + 9 p2 + 9 p3 - p4) / 16.
    EXPECT_EQ(Catmull(0.5f, 1, 2, 4, 8), (-1 + 18 + 36 - 8) / 16.0f);
    EXPECT_EQ(PointDistance(1, 2, 4, 6), 5.0f);
    EXPECT_EQ(PointDistance(7, 7, 7, 7), 0.0f);
}

// A stroke of four points along y = 10, the segment from (20, 10) to (40, 10).
void StrokeScene(RecordingSurface* view, float zoom, int scrollX, int scrollY) {
    FreshEngine(80, 40, view);
    Module1State& m = Module1;
    m.Zoom = zoom;
    m.ScrollX = scrollX;
    m.ScrollY = scrollY;
    CreateDisplayBitmap();
    const float xs[4] = {10, 20, 40, 60};
    for (int i = 0; i < 4; ++i) m.SetStrokePoint(i, xs[i], 10, 1);
    m.PointCount = 3;
    m.LastX = 20;
    m.LastY = 10;
    m.LastPressure = 1;
    m.DirtyLeft = 19;
    m.DirtyRight = 21;
    m.DirtyTop = 9;
    m.DirtyBottom = 11;
}

TEST(DrawBrush, SamplesPerSegment) {
    struct Case {
        const char* name;
        float eventX;  // image x of the event; y is 10
        size_t samples;
        float lastX;  // where the last sample leaves LastX
    };
    float t9 = 0, t5 = 0;
    for (int i = 0; i < 9; ++i) t9 = t9 + 0.1f;
    for (int i = 0; i < 5; ++i) t5 = t5 + 1 / 5.5f;
    const Case cases[] = {
        {"far: t = 0 .. 0.9", 60, 10, Catmull(t9, 10, 20, 40, 60)},
        {"at the last sample: t = 0 and 1", 20, 2, 40},
        {"under a pixel away: t = 0 only", 20.5f, 1, 20},
        {"5.5 away: step 1/5.5", 25.5f, 6, Catmull(t5, 10, 20, 40, 60)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSurface view;
        DetachView detach;
        StrokeScene(&view, 1, 0, 0);
        DrawBrush(c.eventX, 10);
        EXPECT_EQ(view.blits.size(), c.samples);
        EXPECT_EQ(Module1.LastX, c.lastX);
        EXPECT_EQ(Module1.LastY, 10);
        EXPECT_EQ(Module1.DirtyLeft, 18);
        EXPECT_EQ(Module1.DirtyRight, std::max(21.0f, c.lastX + 2));
    }
}

TEST(DrawBrush, SameSamplesAtAnyZoomAndScroll) {
    RecordingSurface one, two;
    DetachView detach;
    StrokeScene(&one, 1, 0, 0);
    DrawBrush(60, 10);
    const Planes atOne = Snap();
    const float distance = Module1.StampDistance;
    StrokeScene(&two, 2, 7, -3);
    DrawBrush(60 * 2 + 7, 10 * 2 - 3);
    EXPECT_EQ(two.blits.size(), one.blits.size());
    EXPECT_EQ(Module1.FXBuffer.bytes, atOne.FX.bytes);
    EXPECT_EQ(Module1.RBase.bytes, atOne.RB.bytes);
    EXPECT_EQ(Module1.StampDistance, distance);
    // The preview leaves the committed image alone.
    EXPECT_EQ(Module1.RPlane.bytes, atOne.R.bytes);
}

TEST(DrawBrush, NeedsFourPoints) {
    RecordingSurface view;
    DetachView detach;
    StrokeScene(&view, 1, 0, 0);
    Module1.PointCount = 2;
    DrawBrush(60, 10);
    EXPECT_TRUE(view.blits.empty());
    EXPECT_EQ(Module1.LastX, 20);
    for (uint8_t v : Module1.FXBuffer.bytes) ASSERT_EQ(v, 0);
}

}  // namespace
