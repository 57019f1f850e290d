// The pointer handlers: the stroke timeline, colour samples, and the navigation drags.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "canvas/dibs.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "input/stroke_capture.h"
#include "test_support.h"

namespace {

void Down(int16_t button, int16_t shift, float x, float y) { Form_MouseDown(button, shift, x, y); }
void Move(int16_t button, int16_t shift, float x, float y) { Form_MouseMove(button, shift, x, y); }
void Up(int16_t button, int16_t shift, float x, float y) { Form_MouseUp(button, shift, x, y); }

class StrokeCapture : public ::testing::Test {
protected:
    void SetUp() override { FreshEngine(80, 60, &view); }
    RecordingSurface view;
};

}  // namespace

TEST_F(StrokeCapture, AClickStoresTwoRowsPaintsNothingAndSavesOneStep) {
    const auto before = Module1.RPlane.bytes;
    Down(1, 0, 20, 30);
    Up(1, 0, 20, 30);
    EXPECT_EQ(Module1.PointCount, 1);
    EXPECT_EQ(Module1.Stroke(1, 0), 20.0f);
    EXPECT_EQ(Module1.Stroke(1, 2), 1.0f);
    EXPECT_EQ(Module1.RPlane.bytes, before);
    EXPECT_EQ(Module1.UndoList.size(), 5u);
    EXPECT_FALSE(Module1.ButtonDown);
    // The saved rectangle is the press point widened by the radius and half a pixel.
    EXPECT_EQ(std::get<int32_t>(Module1.UndoList[4]), 17);     // floor(20 - 2 - 0.5)
    EXPECT_EQ(std::get<Plane>(Module1.UndoList[0]).width, 6);  // 17 .. floor(22.5 + 1) - 1
}

TEST_F(StrokeCapture, PressTwoMovesAndReleaseDrawOnceAtTheRelease) {
    const auto before = Module1.GPlane.bytes;
    Down(1, 0, 10, 10);
    Move(1, 0, 20, 10);
    Move(1, 0, 30, 10);
    EXPECT_EQ(Module1.PointCount, 2);
    EXPECT_EQ(Module1.LastX, 10.0f);  // nothing drawn yet
    for (uint8_t v : Module1.FXBuffer.bytes) ASSERT_EQ(v, 0);
    Up(1, 0, 40, 10);
    EXPECT_EQ(Module1.PointCount, 3);
    // One segment, from row 1 to row 2, sampled at t = 0 .. 0.9.
    EXPECT_NEAR(Module1.LastX, 29.0f, 0.05f);
    EXPECT_NE(Module1.GPlane.bytes, before);
    EXPECT_EQ(Module1.GPlane.at(25, 10), 0);
    // The t = 0 piece joins the press point to the segment's start; nothing lies before it.
    EXPECT_EQ(Module1.GPlane.at(15, 10), 0);
    EXPECT_EQ(Module1.GPlane.at(5, 10), before[10 * 80 + 5]);
    EXPECT_EQ(Module1.UndoList.size(), 5u);
}

TEST_F(StrokeCapture, TheSameStrokeAtZoomOneAndTwoPaintsTheSamePixels) {
    const float xs[] = {5, 9, 14, 21, 30, 41, 50, 57, 61};
    auto paint = [&](float zoom, int sx, int sy) {
        FreshEngine(80, 60, &view);
        Module1.Zoom = zoom;
        Module1.ScrollX = sx;
        Module1.ScrollY = sy;
        CreateDisplayBitmap();
        auto client = [&](float ix, float iy) {
            return std::pair<float, float>(ix * zoom + sx, iy * zoom + sy);
        };
        auto [x0, y0] = client(xs[0], 20);
        Down(1, 0, x0, y0);
        for (size_t i = 1; i + 1 < std::size(xs); ++i) {
            auto [x, y] = client(xs[i], 20 + i * 2.5f);
            Move(1, 0, x, y);
        }
        auto [x1, y1] = client(xs[std::size(xs) - 1], 42);
        Up(1, 0, x1, y1);
        return Module1.RPlane.bytes;
    };
    const auto atOne = paint(1.0f, 0, 0);
    EXPECT_EQ(paint(2.0f, 0, 0), atOne);
    EXPECT_EQ(paint(2.0f, -37, 12), atOne);
}

TEST_F(StrokeCapture, ColourSampleBounds) {
    struct Case {
        const char* name;
        float x, y;
        bool samples;
    };
    const Case cases[] = {
        {"inside", 10, 7, true},
        {"last column", 79.4f, 5, true},
        {"rounds to column 80", 79.5f, 5, false},
        {"negative column", -0.6f, 5, false},
        {"rounds to column 0", -0.4f, 5, true},
        {"negative row", 5, -0.1f, false},
        {"row that rounds to 60", 5, 59.6f, false},
        {"last row", 5, 59.4f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Module1.ColorR = Module1.ColorG = Module1.ColorB = -1;
        Module1.PickMode = kTrue;
        Down(1, 0, c.x, c.y);
        EXPECT_EQ(Module1.ColorR != -1, c.samples);
        if (c.samples) {
            const int col = static_cast<int>(std::nearbyint(c.x)),
                      row = static_cast<int>(std::nearbyint(c.y));
            EXPECT_EQ(Module1.ColorG, Module1.GPlane.at(std::max(col, 0), row));
        }
    }
}

TEST_F(StrokeCapture, PickModeMovesNeedAButtonAndTheReleaseSamplesAgain) {
    Module1.PickMode = kTrue;
    Down(1, 0, 3, 3);
    Module1.ColorR = -1;
    Move(0, 0, 10, 10);
    EXPECT_EQ(Module1.ColorR, -1);
    Move(1, 0, 10, 10);
    EXPECT_EQ(Module1.ColorR, Module1.RPlane.at(10, 10));
    Module1.ColorR = -1;
    Up(1, 0, 12, 10);
    EXPECT_EQ(Module1.ColorR, Module1.RPlane.at(12, 10));
    EXPECT_TRUE(Module1.ButtonDown);  // a sampling release does not end the drag
    EXPECT_TRUE(Module1.UndoList.empty());
}

TEST_F(StrokeCapture, NavigationDrags) {
    struct Case {
        const char* name;
        float startZoom;
        int16_t button;
        float dx;
        float zoom;
    };
    const Case cases[] = {
        {"right drag 100 px", 1.0f, 2, 100, 1.5f},
        {"left 200 px goes below 0.25, so 0.2", 1.0f, 2, -200, 0.2f},
        {"capped at 6", 5.5f, 2, 200, 6.0f},
        {"middle button only redraws", 1.0f, 4, 100, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshEngine(80, 60, &view);
        Module1.Zoom = c.startZoom;
        Down(c.button, 3, 100, 50);
        EXPECT_EQ(Module1.PointCount, 0);
        EXPECT_TRUE(Module1.ButtonDown);
        const size_t fills = view.fills.size();
        Move(c.button, 3, 100 + c.dx, 80);  // vertical movement does not zoom
        EXPECT_FLOAT_EQ(Module1.Zoom, c.zoom);
        EXPECT_EQ(view.fills.size(), fills + 4);  // displaybuffers
        // The image centre stays put: ScrollX = round(0 - (zoom - start) x 80 / 2).
        EXPECT_EQ(Module1.ScrollX, static_cast<int>(std::nearbyint(-(c.zoom - c.startZoom) * 40)));
        Up(c.button, 3, 100 + c.dx, 80);
        EXPECT_TRUE(Module1.ButtonDown);  // the release of a navigation drag changes nothing
    }
    FreshEngine(80, 60, &view);
    Module1.ScrollX = 5;
    Down(1, 3, 10, 10);
    Move(1, 3, 30.5f, -4.5f);
    EXPECT_EQ(Module1.ScrollX, 26);   // round(30.5 + 5 - 10) = round(25.5), halves to even
    EXPECT_EQ(Module1.ScrollY, -14);  // round(-4.5 + 0 - 10) = round(-14.5)
    EXPECT_EQ(Dibs.DisplayWidth, 80);
}

TEST_F(StrokeCapture, PointRowsWrapAfterTenThousand) {
    Down(1, 0, 1, 1);
    Module1.PointCount = 10000;
    Move(1, 0, 7, 8);
    EXPECT_EQ(Module1.PointCount, 0);
    EXPECT_EQ(Module1.Stroke(0, 0), 7.0f);
    Move(1, 0, 8, 8);
    Move(1, 0, 9, 8);
    EXPECT_EQ(Module1.PointCount, 2);
}

// Row kStrokeRows of x is row 0 of y: a point past the rows must not land on another one.
TEST_F(StrokeCapture, PointsOutsideTheRowsAreNotStored) {
    Module1State& m = Module1;
    const int last = kStrokeRows - 1;
    m.SetStrokePoint(0, 1, 2, 3);
    m.SetStrokePoint(last, 4, 5, 6);
    for (int outside : {kStrokeRows, -1}) m.SetStrokePoint(outside, 7, 8, 9);
    EXPECT_EQ((std::vector<float>{m.Stroke(0, 0), m.Stroke(0, 1), m.Stroke(0, 2), m.Stroke(last, 0),
                                  m.Stroke(last, 1), m.Stroke(last, 2)}),
              (std::vector<float>{1, 2, 3, 4, 5, 6}));
}

TEST_F(StrokeCapture, AReleaseWithoutAPressStillCommits) {
    Down(1, 0, 10, 10);
    Up(1, 0, 11, 10);
    ASSERT_FALSE(Module1.ButtonDown);
    Up(1, 0, 12, 10);
    EXPECT_EQ(Module1.PointCount, 2);
    EXPECT_EQ(Module1.UndoList.size(), 10u);
}

TEST_F(StrokeCapture, PenSubstitutionAndPressureReset) {
    Module1.TabletPresent = kTrue;
    Module1.PenInProximity = kTrue;
    Module1.PenX = 33.25f;
    Module1.PenY = 12.75f;
    Module1.PenPressure = 0.5f;
    float x = 1, y = 2;
    Form_MouseDown(1, 0, x, y);
    EXPECT_EQ(x, 33.25f);  // the handler leaves the pen position in its arguments
    EXPECT_EQ(Module1.Stroke(0, 0), 33.25f);
    EXPECT_EQ(Module1.Stroke(0, 2), 0.5f);
    Module1.PenInProximity = kFalse;
    Down(1, 0, 5, 5);
    EXPECT_EQ(Module1.PenPressure, 1.0f);
    EXPECT_EQ(Module1.Stroke(0, 0), 5.0f);
}

// Whatever the brush and the pen do, the release leaves no coverage behind (a later stroke would
// paint it again) and its undo step restores every pixel: nothing a stroke paints lies outside
// the rectangle it saves. Pressures that jump from light to firm make the spline through them
// rise above 1.
TEST_F(StrokeCapture, EveryStrokeLeavesNoCoverageAndUndoesExactly) {
    struct Case {
        float size, spacing;
        bool pen;
        float y0;
    };
    const Case cases[] = {
        {1, 15, false, 10.4f},   {2, 15, false, 10.4f}, {2, 0, true, 20.5f},
        {5.5f, 15, true, 30.6f}, {12, 40, true, 29.2f}, {1, 100, true, 7.7f},
    };
    const float pressures[] = {0.2f, 1, 1, 0.2f, 0.2f, 1, 0.3f, 1, 0.2f};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " pen " << c.pen);
        FreshEngine(80, 60, &view);
        Module1State& m = Module1;
        m.BrushSize = c.size;
        m.StampSpacing = c.spacing;
        m.BrushCurve = 1;
        m.BrushRelief = 1;
        m.TabletPresent = c.pen ? kTrue : kFalse;
        m.PenInProximity = c.pen ? kTrue : kFalse;
        const Plane r0 = m.RPlane, g0 = m.GPlane, b0 = m.BPlane;
        const int n = static_cast<int>(std::size(pressures));
        for (int i = 0; i < n; ++i) {
            float x = 8.3f + 7.1f * i, y = c.y0 + ((i % 2) ? 6.6f : 0.0f);
            m.PenX = x;
            m.PenY = y;
            m.PenPressure = pressures[i];
            if (i == 0)
                Form_MouseDown(1, 0, x, y);
            else if (i + 1 < n)
                Form_MouseMove(1, 0, x, y);
            else
                Form_MouseUp(1, 0, x, y);
        }
        ASSERT_NE(m.RPlane.bytes, r0.bytes);  // something was painted
        size_t left = 0;
        for (uint8_t v : m.FXBuffer.bytes) left += v != 0;
        EXPECT_EQ(left, 0u) << "coverage left after the release";
        PopUndo();
        EXPECT_EQ(m.RPlane.bytes, r0.bytes);
        EXPECT_EQ(m.GPlane.bytes, g0.bytes);
        EXPECT_EQ(m.BPlane.bytes, b0.bytes);
    }
}
