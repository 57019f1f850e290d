// The canvas at device pixel ratios 2 and 1.5 (QT_SCALE_FACTOR), each in a process of its own:
// one display-bitmap pixel is one device pixel, strokes land under the pointer, the window's
// arithmetic and the pen's position are in device pixels, and the palette's icons are drawn at
// the ratio.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointingDevice>
#include <QProcess>
#include <QTabletEvent>
#include <QTest>
#include <cmath>
#include <string>

#include "canvas/dibs.h"
#include "canvas/qt/form1.h"
#include "core/module1.h"
#include "input/qt/tablet_qt.h"
#include "marlo_window_test.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"

namespace {

// What Google Test prints when every test of the suite passed.
QByteArray AllPassed(const char* suite) {
    const ::testing::UnitTest& all = *::testing::UnitTest::GetInstance();
    int count = 0;
    for (int i = 0; i < all.total_test_suite_count(); ++i)
        if (std::string(all.GetTestSuite(i)->name()) == suite)
            count = all.GetTestSuite(i)->total_test_count();
    return "[  PASSED  ] " + QByteArray::number(count) + (count == 1 ? " test." : " tests.");
}

TEST(HiDpi, EachScaleFactorInAProcessOfItsOwn) {
    for (const char* factor : {"2", "1.5"}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", factor);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_also_run_disabled_tests", "--gtest_filter=CanvasAtRatio.*"});
        ASSERT_TRUE(child.waitForFinished(120000)) << factor;
        const QByteArray out = child.readAll();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << factor;
        EXPECT_EQ(child.exitCode(), 0) << "QT_SCALE_FACTOR=" << factor << "\n" << out.toStdString();
        EXPECT_TRUE(out.contains(AllPassed("CanvasAtRatio"))) << out.toStdString();
    }
}

// Run by the test above, in a child process with the scale factor set.
class CanvasAtRatio : public MarloWindowTest {
protected:
    void SetUp() override {
        StartOn(61, 41);
        view = window->view();
        dpr = view->devicePixelRatioF();
        ASSERT_GT(dpr, 1.0) << "run with QT_SCALE_FACTOR";
    }
    // The view as the screen shows it, in device pixels.
    QImage Shown() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    CanvasView* view = nullptr;
    qreal dpr = 1;
};

// Every device pixel that shows the image is the display bitmap's pixel there, at zoom 1 the
// image's own pixel: no doubling, no blur, whatever the zoom and scroll.
TEST_F(CanvasAtRatio, DISABLED_OneDisplayPixelIsOneDevicePixel) {
    const Module1State& m = Module1;
    EXPECT_EQ(window->ClientWidth(), qRound(view->width() * dpr));
    EXPECT_GE(window->ClientWidth(), 61);
    EXPECT_GE(window->ClientHeight(), 41);
    EXPECT_LE(window->ClientWidth(), 61 + 2);
    QImage shown = Shown();
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 61; ++x)
            ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, ImagePixel(m, x, y)) << x << "," << y;
    struct View {
        float zoom;
        int sx, sy;
    };
    for (const View& v : {View{0.5f, 3, 2}, View{1.25f, -7, -5}, View{2.0f, 0, 0}}) {
        SCOPED_TRACE(v.zoom);
        Module1.Zoom = v.zoom;
        Module1.ScrollX = v.sx;
        Module1.ScrollY = v.sy;
        CreateDisplayBitmap();
        displaybuffers();
        shown = Shown();
        const int w = std::min(window->ClientWidth(), shown.width()),
                  h = std::min(window->ClientHeight(), shown.height());
        for (int y = std::max(v.sy, 0); y < std::min(h, v.sy + Dibs.DisplayHeight); ++y)
            for (int x = std::max(v.sx, 0); x < std::min(w, v.sx + Dibs.DisplayWidth); ++x)
                ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF,
                          *DisplayPixelAt(x - v.sx, y - v.sy) & 0xFFFFFF)
                    << x << "," << y;
    }
}

// The pointer's device pixel is the stroke's point; the paint shows under the pointer.
TEST_F(CanvasAtRatio, DISABLED_StrokesLandUnderThePointer) {
    Module1State& m = Module1;
    FillImage([](int, int, int) { return uint8_t{255}; });
    displaybuffers();
    const int ly = 11;
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(4, ly));
    EXPECT_EQ(m.Stroke(0, 0), static_cast<float>(4 * dpr));
    EXPECT_EQ(m.Stroke(0, 1), static_cast<float>(ly * dpr));
    for (int x = 6; x <= 30; x += 2) QTest::mouseMove(view, QPoint(x, ly));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(32, ly));
    const int row = static_cast<int>(std::floor(ly * dpr));
    EXPECT_EQ(m.GPlane.at(static_cast<int>(20 * dpr), row), 0);  // black paint on the line
    EXPECT_EQ(Shown().pixel(static_cast<int>(20 * dpr), row) & 0xFFFFFF, 0u);
    EXPECT_EQ(m.GPlane.at(static_cast<int>(20 * dpr), row + 6), 255);  // a size-2 brush
}

TEST_F(CanvasAtRatio, DISABLED_ZoomArithmeticAndCaptionInDevicePixels) {
    QTest::keyClick(view, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(Module1.Zoom, 1.25f);
    EXPECT_EQ(window->windowTitle(),
              "Marlo for Tarnwick Artist - Spline based paint engine zoom = 125");
    EXPECT_EQ(Dibs.DisplayWidth, 76);  // floor(61 x 1.25), in device pixels
    // Fit to window: the zoom at which the image fills the device-pixel client area.
    const double cw = window->ClientWidth(), ch = window->ClientHeight();
    Module1.Zoom = 1;
    Module1.ScrollX = Module1.ScrollY = 0;
    CreateDisplayBitmap();
    const float expected = static_cast<float>(std::max((cw - 61) / 61 + 1, (ch - 41) / 41 + 1));
    palette->kt_button12->Click();
    EXPECT_EQ(Module1.Zoom, expected);
}

TEST_F(CanvasAtRatio, DISABLED_PaletteIconsAreDrawnForTheRatio) {
    palette->grab();  // painted once at least
    for (kt_button* b : {palette->kt_button8, palette->kt_button13, palette->kt_button2}) {
        EXPECT_EQ(b->Picture().devicePixelRatio(), dpr);
        EXPECT_EQ(b->Picture().width(), static_cast<int>(std::ceil(29 * dpr)));
        EXPECT_EQ(b->Picture().deviceIndependentSize().toSize(), QSize(29, 29));
    }
}

// The pen's position in the canvas's client pixels, which are device pixels; a pen report
// without a proximity event before it brings the pen into range.
TEST_F(CanvasAtRatio, DISABLED_PenPositionsAreDevicePixels) {
    ASSERT_NE(window->Tablet, nullptr);
    const QPointingDevice pen(
        "pen", 7001, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
        QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3);
    const QPointF local(10.25, 20.75);
    const QTabletEvent event(QEvent::TabletMove, &pen, local, view->mapToGlobal(local), 0.5, 0, 0,
                             0, 0, 0, Qt::NoModifier, Qt::NoButton, Qt::NoButton);
    RecordTabletEvent(*window->Tablet, view, event);
    EXPECT_TRUE(Module1.PenInProximity);
    EXPECT_TRUE(Module1.TabletPresent);
    EXPECT_NEAR(Module1.PenX, 10.25 * dpr - 0.5, 1e-3);
    EXPECT_NEAR(Module1.PenY, 20.75 * dpr - 0.5, 1e-3);
    EXPECT_NEAR(Module1.PenPressure, 0.5, 1e-4);
}

}  // namespace
