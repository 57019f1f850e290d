// The tablet: packet arithmetic, proximity, set-up and shut-down, and the pen in the pointer
// handlers (tablet_pipeline_test.cpp sends real tablet events through Qt to the canvas window).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>

#include "app/engine_reset.h"
#include "input/stroke_capture.h"
#include "input/tablet.h"
#include "input/tablet_handlers.h"
#include "test_support.h"

namespace {

// A 1920 x 1080 screen with the canvas client origin at (100, 50).
class FakeTablet : public CTablet {
public:
    double screenW = 1920, originX = 100;
    void SetFullPressure(float v) { fullPressure_ = v; }
    void ScreenSize(double& w, double& h) const override { w = screenW, h = 1080; }
    void ClientToScreen(TabletWindowHandle, double& x, double& y) const override {
        x = originX, y = 50;
    }
};

constexpr TabletWindowHandle kCanvas = 0x5A;

FakeTablet* OpenFake(std::unique_ptr<CTablet>& holder) {
    OpenTablet(
        holder, [] { return std::make_unique<FakeTablet>(); }, kCanvas);
    return static_cast<FakeTablet*>(holder.get());
}

struct PacketCase {
    int32_t x, y, pressure;
    float penX, penY, penPressure;
};

TEST(TabletPacket, ScreenShareToClientPixels) {
    // Extents 10000, full pressure 1024. X 5000 is screen x 960: 960 - 100 - 0.5.
    const PacketCase cases[] = {{5000, 5000, 512, 859.5f, 489.5f, 0.5f},
                                {0, 0, 1024, -100.5f, 1029.5f, 1.0f},  // left and bottom edges
                                {-40, -7, 0, -100.5f, 1029.5f, 0.0f},
                                {10000, 10000, 256, 1819.5f, -50.5f, 0.25f}};
    for (const PacketCase& c : cases) {
        ResetEngine();
        FakeTablet t;
        t.SetFullPressure(1024);
        Module1.TabletExtentX = Module1.TabletExtentY = 10000;
        Tablet_PacketArrival(t, {c.x, c.y, c.pressure, -300});
        EXPECT_EQ(Module1.PenX, c.penX) << c.x;
        EXPECT_EQ(Module1.PenY, c.penY) << c.y;
        EXPECT_EQ(Module1.PenPressure, c.penPressure) << c.pressure;
        EXPECT_EQ(Module1.PenAltitude, -300.0f);
    }
}

// Without a scale or a finite position the packet is ignored; without a usable full pressure
// only its position is taken.
TEST(TabletPacket, WithoutAScaleOrAFinitePositionItIsIgnored) {
    struct Case {
        const char* name;
        int32_t extentX, extentY;
        float full;
        double screenW;
        bool position;
    };
    for (const Case& c : {Case{"extent x", 0, 10000, 1024, 1920, false},
                          {"extent y", 10000, 0, 1024, 1920, false},
                          {"full pressure", 10000, 10000, 0, 1920, true},
                          {"tiny full", 10000, 10000, 1e-40f, 1920, true},
                          {"nan screen", 10000, 10000, 1024, std::nan(""), false},
                          {"huge screen", 10000, 10000, 1024, 1e300, false}}) {
        ResetEngine();
        Module1.PenX = 3;
        Module1.PenPressure = 0.75f;
        FakeTablet t;
        t.SetFullPressure(c.full);
        t.screenW = c.screenW;
        Module1.TabletExtentX = c.extentX;
        Module1.TabletExtentY = c.extentY;
        Tablet_PacketArrival(t, {5000, 5000, 300, -1});
        EXPECT_EQ(Module1.PenX != 3.0f, c.position) << c.name;
        EXPECT_EQ(Module1.PenPressure, 0.75f) << c.name;
        EXPECT_EQ(Module1.PenAltitude, 0.0f) << c.name;
    }
}

TEST(TabletProximity, OnlyMinusOneAndZeroChangeIt) {
    ResetEngine();
    const std::pair<int16_t, Flag> steps[] = {{-1, kTrue}, {1, kTrue},  {-2, kTrue},
                                              {0, kFalse}, {1, kFalse}, {-1, kTrue}};
    for (auto [in, after] : steps) {
        Tablet_ProximityChange(in);
        EXPECT_EQ(Module1.PenInProximity, after) << in;
    }
}

TEST(TabletOpen, PlatformReportsReachThePenFieldsWithSubPixels) {
    ResetEngine();
    std::unique_ptr<CTablet> holder;
    FakeTablet* t = OpenFake(holder);
    ASSERT_TRUE(Module1.TabletPresent);
    EXPECT_EQ(t->Context().Name(), "FirstContext");
    t->DeliverProximity(true);
    EXPECT_TRUE(Module1.PenInProximity);
    for (double x : {0.0, 0.3, 1234.567, 1919.99}) {
        t->DeliverPen(kCanvas, x, 1079.5, 0.5, 900);
        ASSERT_NEAR(Module1.PenX, x - 100.5, 0.005);
        ASSERT_NEAR(Module1.PenY, 1079.5 - 50.5, 0.005);
        ASSERT_NEAR(Module1.PenPressure, 0.5, 1e-4);
    }
    t->DeliverPen(kCanvas + 1, 500, 500, 1, 900);  // another window's pen
    t->DeliverPen(kCanvas, std::nan(""), 500, 1, 900);
    EXPECT_NEAR(Module1.PenX, 1919.99 - 100.5, 0.005);
    CloseTablet(t);
    t->DeliverProximity(false);
    t->DeliverPen(kCanvas, 500, 500, 1, 900);
    EXPECT_TRUE(Module1.PenInProximity);
    EXPECT_NEAR(Module1.PenX, 1919.99 - 100.5, 0.005);
    CloseTablet(t);  // a second shut-down fails inside its guard
    CloseTablet(nullptr);
}

TEST(TabletOpen, AnyFailureLeavesTheMouseAloneSilently) {
    using Make = std::function<std::unique_ptr<CTablet>()>;
    const std::pair<Make, TabletWindowHandle> cases[] = {
        {[] { return nullptr; }, kCanvas},
        {[]() -> std::unique_ptr<CTablet> { throw TabletError("absent"); }, kCanvas},
        {[] { return std::make_unique<FakeTablet>(); }, 0},
        // The context cannot be made, so none is selected when the extents are read.
        {[] {
             auto t = std::make_unique<FakeTablet>();
             t->AddContext("FirstContext", false);
             return t;
         },
         kCanvas}};
    for (const auto& [make, hWnd] : cases) {
        ResetEngine();
        std::unique_ptr<CTablet> holder;
        OpenTablet(holder, make, hWnd);
        EXPECT_FALSE(Module1.TabletPresent);
        EXPECT_EQ(Module1.TabletExtentX, 0);
    }
}

TEST(TabletAltitude, FollowsTheTiltAndTheEnd) {
    EXPECT_EQ(AltitudeFromTilt(0, 0, false), 900);
    EXPECT_EQ(AltitudeFromTilt(0, 0, true), -900);
    EXPECT_EQ(AltitudeFromTilt(0, -60, false), 300);
    EXPECT_EQ(AltitudeFromTilt(45, 45, false), 353);  // 90 - atan(sqrt 2) degrees
    EXPECT_EQ(AltitudeFromTilt(90, 0, true), -10);    // lying flat still tells the ends apart
}

TEST(PenInHandlers, InRangeEveryHandlerTakesThePenOutOfRangeAPressResets) {
    FreshEngine(40, 30);
    Module1State& m = Module1;
    m.Zoom = 2;
    m.ScrollX = 4;
    m.TabletPresent = m.PenInProximity = kTrue;
    m.PenX = 24.5f, m.PenY = 10.25f, m.PenPressure = 0.375f;
    float X = 1, Y = 2;
    Form_MouseDown(1, 0, X, Y);
    EXPECT_EQ(X, 24.5f);
    EXPECT_EQ(Module1.Stroke(0, 0), 10.25f);  // (24.5 - 4) / 2
    EXPECT_EQ(Module1.Stroke(0, 2), 0.375f);
    m.PenX = 30, m.PenPressure = 0.5f, X = 1;
    Form_MouseMove(1, 0, X, Y);
    EXPECT_EQ(Module1.Stroke(1, 0), 13.0f);
    EXPECT_EQ(Module1.Stroke(1, 2), 0.5f);
    m.PenY = 14, m.PenPressure = 0, Y = 2;
    Form_MouseUp(1, 0, X, Y);
    EXPECT_EQ(Module1.Stroke(2, 1), 7.0f);
    EXPECT_EQ(Module1.Stroke(2, 2), 0.0f);

    m.PenInProximity = kFalse;
    X = 8, Y = 10;
    Form_MouseMove(0, 0, X, Y);
    EXPECT_EQ(X, 8.0f);
    EXPECT_EQ(m.PenPressure, 0.0f);  // kept until the next press
    Form_MouseDown(1, 0, X, Y);
    EXPECT_EQ(Module1.Stroke(0, 0), 2.0f);
    EXPECT_EQ(Module1.Stroke(0, 2), 1.0f);
    m.TabletPresent = kFalse, m.PenInProximity = kTrue, m.PenPressure = 0.25f;
    Form_MouseDown(1, 0, X, Y);  // without a tablet the pen fields other than pressure mean nothing
    EXPECT_EQ(X, 8.0f);
    EXPECT_EQ(Module1.Stroke(0, 2), 0.25f);
}

// A 40 x 30 image of one colour, a horizontal stroke along y = 15 through the tablet, every
// packet at full pressure with the given altitude. Returns the planes after the commit.
std::array<Plane, 3> PenStroke(FakeTablet* t, int mode, std::array<float, 3> colour,
                               int32_t altitude) {
    Module1State& m = Module1;
    m.BlendMode = mode;
    m.ColorR = colour[0], m.ColorG = colour[1], m.ColorB = colour[2];
    m.BrushSize = 3;
    m.RBase = m.RPlane = Plane(40, 30, 90);
    m.GBase = m.GPlane = Plane(40, 30, 140);
    m.BBase = m.BPlane = Plane(40, 30, 200);
    for (int x = 6; x <= 34; x += 2) {
        t->DeliverPen(kCanvas, x + 100.5, 65.5, 1.0, altitude);
        float X = 0, Y = 0;
        if (x == 6)
            Form_MouseDown(1, 0, X, Y);
        else if (x == 34)
            Form_MouseUp(1, 0, X, Y);
        else
            Form_MouseMove(1, 0, X, Y);
    }
    return {m.RPlane, m.GPlane, m.BPlane};
}

TEST(TabletEraser, PaintsWhiteInEveryBlendModeUntilThePenTurnsBack) {
    for (int mode = 0; mode <= 10; ++mode) {
        SCOPED_TRACE(mode);
        FreshEngine(40, 30);
        std::unique_ptr<CTablet> holder;
        FakeTablet* t = OpenFake(holder);
        t->DeliverProximity(true);
        const auto white = PenStroke(t, mode, {255, 255, 255}, 900);
        const auto erased = PenStroke(t, mode, {10, 200, 60}, -450);
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(erased[ch].bytes, white[ch].bytes) << ch;
        const auto coloured = PenStroke(t, mode, {10, 200, 60}, 0);  // the pen's own end again
        EXPECT_NE(coloured[0].bytes, white[0].bytes);
        if (mode == 0) {
            EXPECT_EQ(coloured[1].at(20, 15), 200);
        }
    }
}

}  // namespace
