// The canvas window driven with real key and pointer events on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <random>

#include "app/qt/application.h"
#include "canvas/dibs.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/menus.h"
#include "canvas/qt/palette_window.h"
#include "canvas/qt/report.h"
#include "canvas/smoothblit.h"
#include "canvas/undo.h"
#include "canvas/zoom.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "marlo_window_test.h"
#include "palette/qt/form2.h"
#include "palette/qt/trackle.h"
#include "qt_test_support.h"

namespace {

class CanvasWindow : public MarloWindowTest {
protected:
    void SetUp() override {
        StartOn(60, 40);
        view = window->view();
    }
    // Pixels of the view as shown on screen.
    QImage Shown() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    CanvasView* view = nullptr;
};

}  // namespace

TEST_F(CanvasWindow, OpensSizedToTheImageWithTheCaption) {
    EXPECT_EQ(window->windowTitle(), "Marlo for Tarnwick Artist - Spline based paint engine");
    EXPECT_EQ(view->size(), QSize(60, 40));
    EXPECT_EQ(Module1.BrushSize, 2.0f);
    EXPECT_EQ(Module1.StampSpacing, 15.0f);
    EXPECT_EQ(Module1.PenPressure, 1.0f);
    EXPECT_FALSE(Module1.PenInProximity);  // the mouse is used until a pen comes in range
}

TEST_F(CanvasWindow, ShowsEveryPixelExactlyAtZoomOne) {
    const QImage shown = Shown();
    const Module1State& m = Module1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, ImagePixel(m, x, y)) << x << "," << y;
}

// Zoomed and scrolled so that the bitmap holds only the window's share, from a display pixel
// other than (0, 0): the window shows the whole image's rendering, pixel for pixel.
TEST_F(CanvasWindow, ShowsTheWindowsShareOfTheZoomedImage) {
    const Module1State& m = Module1;
    for (const auto& [zoom, sx, sy] :
         {std::tuple{2.0f, -30, -20}, std::tuple{8.0f, -203, -97}, std::tuple{0.5f, 7, 3}}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom);
        ApplyZoom(zoom, sx, sy);
        displaybuffers();
        const int dw = Dibs.DisplayWidth, dh = Dibs.DisplayHeight, row = (dw + 3) / 4 * 4;
        std::vector<uint32_t> whole(static_cast<size_t>(row) * dh);
        p_smoothblit(m.RPlane.bytes.data(), m.GPlane.bytes.data(), m.BPlane.bytes.data(),
                     whole.data(), 0, 0, 60, 40, 61, 41, dw, dh, row, zoom);
        const QImage shown = Shown();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) {
                const int X = x - sx, Y = y - sy;
                if (X < 0 || Y < 0 || X >= dw || Y >= dh) continue;
                ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF,
                          whole[static_cast<size_t>(Y) * row + X] & 0xFFFFFF)
                    << x << "," << y;
            }
    }
}

TEST_F(CanvasWindow, CtrlPlusAndMinusZoomAndNameTheZoom) {
    QTest::keyClick(view, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(Module1.Zoom, 1.25f);
    EXPECT_EQ(window->windowTitle(),
              "Marlo for Tarnwick Artist - Spline based paint engine zoom = 125");
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(Module1.Zoom, 0.75f);
    EXPECT_EQ(window->windowTitle(),
              "Marlo for Tarnwick Artist - Spline based paint engine zoom = 75");
    // Plus without Ctrl, or with Ctrl and Shift, does nothing.
    QTest::keyClick(view, Qt::Key_Equal);
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Module1.Zoom, 0.75f);
    // The image is shown scaled: a uniform picture stays uniform at the new size.
    FillImage([](int, int, int c) { return static_cast<uint8_t>(c == 0 ? 90 : 30); });
    displaybuffers();
    const QImage shown = Shown();
    EXPECT_EQ(shown.pixel(44, 29) & 0xFFFFFF, 0x5A1E1Eu);
}

TEST_F(CanvasWindow, LowerCaseUUndoesUpperCaseDoesNot) {
    const std::vector<uint8_t> before = Module1.RPlane.bytes;
    PushUndo(0, 0, 59, 39);
    std::fill(Module1.RPlane.bytes.begin(), Module1.RPlane.bytes.end(), uint8_t{9});
    QTest::keyClicks(view, "U");
    EXPECT_EQ(Module1.RPlane.at(5, 5), 9);
    QTest::keyClicks(view, "u");
    EXPECT_EQ(Module1.RPlane.bytes, before);
    EXPECT_EQ(Shown().pixel(59, 39) >> 16 & 0xFF, before.back());
}

// Noise does not compress: each whole-image step keeps 3 x (2400 + 4) bytes, so 20000 bytes hold
// two. Clear after Clear outruns the idle compression; the steps are still cut to the budget and
// the painter is told once, when the history has settled.
TEST_F(CanvasWindow, TellsOnceWhenUndoStepsAreDroppedForTheBudget) {
    const AtScopeEnd measureAgain([] { SetUndoBudget(0); });
    SetUndoBudget(20000);
    std::mt19937 rng(3);
    for (int i = 0; i < 6; ++i) {
        FillImage([&rng](int, int, int) { return static_cast<uint8_t>(rng()); });
        ClearImage();
    }
    ASSERT_TRUE(QTest::qWaitFor([this] { return !messages.isEmpty(); }));
    // Told once: no idle turn is left that could tell it again.
    ASSERT_TRUE(QTest::qWaitFor([this] {
        const QList<QTimer*> timers = window->findChildren<QTimer*>();
        return std::none_of(timers.begin(), timers.end(),
                            [](const QTimer* t) { return t->isActive(); });
    }));
    EXPECT_EQ(messages, QStringList{"Undo keeps the last 2 steps: the image is too large for 33"});
    EXPECT_EQ(Module1.UndoList.size(), 10u);
}

TEST_F(CanvasWindow, CommaHeldSetsPickMode) {
    QTest::keyPress(view, Qt::Key_Comma);
    EXPECT_TRUE(Module1.PickMode);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 7));
    EXPECT_EQ(Module1.ColorR, Module1.RPlane.at(10, 7));
    EXPECT_EQ(Module1.ColorB, Module1.BPlane.at(10, 7));
    QTest::keyRelease(view, Qt::Key_Comma);
    EXPECT_FALSE(Module1.PickMode);
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
}

TEST_F(CanvasWindow, CommaReleasedWithShiftHeldStillEndsPickMode) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Comma, Qt::NoModifier, 61, 0, 0, ",");
    QApplication::sendEvent(view, &press);
    EXPECT_TRUE(Module1.PickMode);
    // Shift turns the same physical key into another character (';' on German keyboards).
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Semicolon, Qt::ShiftModifier, 61, 0, 0, ";");
    QApplication::sendEvent(view, &release);
    EXPECT_FALSE(Module1.PickMode);
}

TEST_F(CanvasWindow, OnlyTheCommaKeyTurnsOnPickMode) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        quint32 scan;
        const char* text;
        bool picks;
    };
    // Scan codes other than the ones earlier tests taught the window for the comma.
    const Case cases[] = {
        {Qt::Key_Less, Qt::ShiftModifier, 0, "<", true},  // Shift and the comma key (US)
        {Qt::Key_Less, Qt::NoModifier, 94, "<", false},   // the extra key of European keyboards
        {Qt::Key_Greater, Qt::ShiftModifier, 94, ">", false},
        {Qt::Key_W, Qt::NoModifier, 59, "w", false},
        {Qt::Key_Comma, Qt::NoModifier, 0, ",", true},
    };
    for (const Case& c : cases) {
        QKeyEvent press(QEvent::KeyPress, c.key, c.mods, c.scan, 0, 0, c.text);
        QApplication::sendEvent(view, &press);
        EXPECT_EQ(Module1.PickMode != 0, c.picks) << c.text << " " << c.scan;
        QKeyEvent release(QEvent::KeyRelease, c.key, c.mods, c.scan, 0, 0, c.text);
        QApplication::sendEvent(view, &release);
        EXPECT_FALSE(Module1.PickMode);
    }
}

TEST_F(CanvasWindow, BackAndForwardButtonsLeaveTheStrokeAlone) {
    QTest::mouseClick(view, Qt::BackButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseClick(view, Qt::ForwardButton, Qt::NoModifier, QPoint(12, 10));
    EXPECT_EQ(Module1.UndoList.size(), 0u);
    EXPECT_EQ(Module1.PointCount, 0);
    // In the middle of a stroke they neither end it nor add to it.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    for (int x = 12; x <= 20; x += 2) QTest::mouseMove(view, QPoint(x, 20));
    QTest::mouseClick(view, Qt::BackButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_TRUE(Module1.ButtonDown);
    for (int x = 22; x <= 30; x += 2) QTest::mouseMove(view, QPoint(x, 20));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(32, 20));
    EXPECT_EQ(Module1.UndoList.size(), 5u);
    EXPECT_EQ(Module1.PointCount, 11);  // the press, ten moves and the release
}

TEST_F(CanvasWindow, KeypadPlusIsNotTheZoomKey) {
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(Module1.Zoom, 1.0f);
}

TEST_F(CanvasWindow, ADragPaintsAndTheReleaseCommitsOneUndoStep) {
    const std::vector<uint8_t> before = Module1.GPlane.bytes;
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    for (int x = 12; x <= 40; x += 2) QTest::mouseMove(view, QPoint(x, 20));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(42, 20));
    EXPECT_EQ(Module1.UndoList.size(), 5u);
    EXPECT_EQ(Module1.GPlane.at(25, 20), 0);  // black paint at full strength on the line
    EXPECT_EQ(Module1.RBase.bytes, Module1.RPlane.bytes);
    for (uint8_t v : Module1.FXBuffer.bytes) ASSERT_EQ(v, 0);
    EXPECT_EQ(Shown().pixel(25, 20) & 0xFFFFFF, 0u);
    QTest::keyClicks(view, "u");
    EXPECT_EQ(Module1.GPlane.bytes, before);
}

TEST_F(CanvasWindow, ClosingWritesTheImageBackInOrder) {
    Module1.GPlane.at(3, 3) ^= 1;
    EXPECT_TRUE(window->close());
    const std::vector<std::string> order = {
        "Tarn_BufferWidth", "Tarn_BufferHeight", "Tarn_GetRBuffer", "Tarn_GetGBuffer",
        "Tarn_GetBBuffer",  "Tarn_SaveUndo",     "Tarn_SetRbuffer", "Tarn_SetGbuffer",
        "Tarn_SetBbuffer",  "tarn_Refresh"};
    EXPECT_EQ(host->calls, order);
    EXPECT_EQ(host->sentG.bytes, Module1.GPlane.bytes);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Dibs.DisplayBits, nullptr);
}

TEST_F(CanvasWindow, ClosingAfterTheHostResizedAsksEveryTime) {
    host->width = 61;
    answerYes = false;
    ASSERT_NO_FATAL_FAILURE(ExpectCloseRefusedOverSize(window, messages));
    // Both sizes are asked for, though the width alone has changed.
    EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "Tarn_BufferHeight"), 1);
    // "No" shows the palette again where the user left it.
    QWidget* palette = window->palette() ? window->palette()->Widget() : nullptr;
    ASSERT_NE(palette, nullptr);
    palette->move(palette->pos() + QPoint(37, 23));
    const QPoint placed = palette->pos();
    EXPECT_FALSE(window->close());
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(palette->isVisible());
    EXPECT_EQ(palette->pos(), placed);
    answerYes = true;
    EXPECT_TRUE(window->close());
    EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "Tarn_SaveUndo"), 0);
}

TEST_F(CanvasWindow, TheSizeQuestionShowsTwoLines) {
    host->width = 61;
    Wiring.MessageBoxHook = nullptr;
    QString shown;
    QTimer::singleShot(0, [&shown] {
        QWidget* modal = OpenMessageBox();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            shown = box->text();
            box->button(QMessageBox::No)->click();
        } else if (modal) {
            modal->close();  // not the question: close it so that the test ends
        }
    });
    EXPECT_FALSE(window->close());
    EXPECT_EQ(shown,
              "Can't copy buffer back to Project Tarnwick because the buffer size has changed\n"
              "Loose all changes?");
}

TEST_F(CanvasWindow, ClosingWithAFailingHostClosesSilently) {
    host->failOn = "Tarn_SetGbuffer";
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "tarn_Refresh"), 0);
}

TEST_F(CanvasWindow, GetPaperFromTheOptionsMenu) {
    host->paper = Plane(2, 2, 77);
    QAction* item = window->findChild<QAction*>("GetPaperMenu");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), "Get paper");
    item->trigger();
    EXPECT_EQ(Module1.PaperWidth, 2);
    EXPECT_EQ(Module1.Paper.bytes, std::vector<uint8_t>(4, 77));
    // A paper whose bytes disagree with its size is refused with a message; the old one stays.
    host->paper.bytes.resize(3);
    item->trigger();
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(Module1.Paper.bytes, std::vector<uint8_t>(4, 77));
}

namespace {

// The canvas's keys wherever the canvas window or the palette holds the keyboard: the view, the
// menu bar (as after Esc in the Options menu) and a palette slider (as after touching it).
TEST_F(CanvasWindow, CanvasKeysActFromTheMenuBarAndThePalette) {
    QMenu* options = window->findChild<QMenu*>("OptionsMenu");
    ASSERT_NE(options, nullptr);
    options->popup(view->mapToGlobal(QPoint(5, 5)));
    QTest::keyClick(options, Qt::Key_Escape);
    QWidget* afterMenu = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QWidget* targets[] = {afterMenu, window->menuBar(), palette->Trackle1, palette};
    float zoom = 1.0f;
    for (QWidget* target : targets) {
        SCOPED_TRACE(target->metaObject()->className());
        QTest::keyClick(target, Qt::Key_Equal, Qt::ControlModifier);
        zoom += 0.25f;
        EXPECT_EQ(Module1.Zoom, zoom);
        PushUndo(0, 0, 59, 39);
        Module1.RPlane.at(3, 3) = 7;
        QTest::keyClicks(target, "u");
        EXPECT_NE(Module1.RPlane.at(3, 3), 7);
        EXPECT_TRUE(Module1.UndoList.empty());
    }
    // The palette keeps its own keys: the arrow moves the slider, not the canvas.
    QTest::keyClick(palette->Trackle1, Qt::Key_Right);
    EXPECT_EQ(Module1.BrushSize, 3.0f);
    // Other windows keep theirs: a key typed into a menu does not reach the canvas.
    options->popup(view->mapToGlobal(QPoint(5, 5)));
    QTest::keyClicks(options, "u");
    options->hide();
    EXPECT_EQ(Module1.Zoom, zoom);
}

TEST_F(CanvasWindow, CtrlZUndoesStepByStepLikeU) {
    const std::vector<uint8_t> before = Module1.RPlane.bytes;
    for (uint8_t v : {11, 22}) {
        PushUndo(0, 0, 59, 39);
        std::fill(Module1.RPlane.bytes.begin(), Module1.RPlane.bytes.end(), v);
    }
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Module1.RPlane.at(0, 0), 11);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);  // not undo
    EXPECT_EQ(Module1.RPlane.at(0, 0), 11);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Module1.RPlane.bytes, before);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);  // nothing left: nothing happens
    EXPECT_EQ(Module1.RPlane.bytes, before);
}

// [ and ] move the Size slider one step, within 1..32; the pointer shows the brush from a
// radius of four screen pixels on, and follows the zoom.
TEST_F(CanvasWindow, BracketsStepTheSizeSliderAndThePointerShowsTheBrush) {
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
    QTest::keyClicks(view, "[[");
    EXPECT_EQ(palette->Trackle1->value(), 1.0);
    EXPECT_EQ(Module1.BrushSize, 1.0f);
    QTest::keyClicks(view, "]]]");
    EXPECT_EQ(Module1.BrushSize, 4.0f);
    ASSERT_EQ(view->cursor().shape(), Qt::BitmapCursor);
    const int side = view->cursor().pixmap().width();
    EXPECT_EQ(side, 2 * 4 + 5);
    QTest::keyClick(view, Qt::Key_Equal, Qt::ControlModifier);  // zoom 1.25: radius 5
    EXPECT_EQ(view->cursor().pixmap().width(), 2 * 5 + 5);
    for (int i = 0; i < 40; ++i) QTest::keyClicks(view, "]");
    EXPECT_EQ(Module1.BrushSize, 32.0f);
    QTest::keyPress(view, Qt::Key_Comma);  // picking shows the arrow
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
    QTest::keyRelease(view, Qt::Key_Comma);
    EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
}

void Wheel(QWidget* w, QPoint at, QPoint angle, Qt::KeyboardModifiers mods) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), angle, Qt::NoButton, mods, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(w, &e);
}

TEST_F(CanvasWindow, WheelZoomsAboutThePointerWithCtrlAndScrollsOtherwise) {
    // Ctrl: a notch is a zoom key's step, and the image point under the pointer stays there.
    Wheel(view, QPoint(20, 10), QPoint(0, 120), Qt::ControlModifier);
    EXPECT_EQ(Module1.Zoom, 1.25f);
    EXPECT_EQ(Module1.ScrollX, -5);  // 20 = -5 + 20 x 1.25
    EXPECT_EQ(Module1.ScrollY, -2);  // round(10 - 10 x 1.25), halves to even
    EXPECT_EQ(window->windowTitle(),
              "Marlo for Tarnwick Artist - Spline based paint engine zoom = 125");
    Wheel(view, QPoint(20, 10), QPoint(0, 60), Qt::ControlModifier);  // half a notch waits
    EXPECT_EQ(Module1.Zoom, 1.25f);
    Wheel(view, QPoint(20, 10), QPoint(0, 60), Qt::ControlModifier);
    EXPECT_EQ(Module1.Zoom, 1.5f);
    // The zoom drag's limits: below 0.25 it becomes 0.2, and no more than 6.
    Wheel(view, QPoint(0, 0), QPoint(0, -120 * 6), Qt::ControlModifier);
    EXPECT_EQ(Module1.Zoom, 0.2f);
    Wheel(view, QPoint(0, 0), QPoint(0, 120 * 40), Qt::ControlModifier);
    EXPECT_EQ(Module1.Zoom, 6.0f);
    // Plain: vertical scroll, 60 pixels a notch; with Shift: horizontal.
    const int32_t sx = Module1.ScrollX, sy = Module1.ScrollY;
    Wheel(view, QPoint(5, 5), QPoint(0, -120), Qt::NoModifier);
    EXPECT_EQ(Module1.ScrollY, sy - 60);
    EXPECT_EQ(Module1.ScrollX, sx);
    Wheel(view, QPoint(5, 5), QPoint(0, 120), Qt::ShiftModifier);
    EXPECT_EQ(Module1.ScrollX, sx + 60);
    EXPECT_EQ(Module1.Zoom, 6.0f);
}

TEST_F(CanvasWindow, SpaceHeldWithALeftDragPansAsShiftCtrlDoes) {
    QTest::keyPress(view, Qt::Key_Space);
    EXPECT_EQ(view->cursor().shape(), Qt::OpenHandCursor);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(view, QPoint(17, 6));
    QTest::keyRelease(view, Qt::Key_Space);  // let go mid-drag: the drag still pans
    QTest::mouseMove(view, QPoint(22, 14));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(22, 14));
    EXPECT_EQ(Module1.ScrollX, 12);
    EXPECT_EQ(Module1.ScrollY, 4);
    EXPECT_EQ(Module1.UndoList.size(), 0u);  // nothing painted
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
    // Without Space the same drag paints.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(30, 20));
    QTest::mouseMove(view, QPoint(35, 20));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(40, 20));
    EXPECT_EQ(Module1.ScrollX, 12);
    EXPECT_EQ(Module1.UndoList.size(), 5u);
}

TEST_F(CanvasWindow, ModeMenuMarksTheModeInEffectAndKeysBoxListsTheGestures) {
    QMenu* menu = ModeMenu();
    palette->kt_button6_MouseDown(1, 0, 0, 0);  // Ink: multiply
    menu->popup(QPoint(0, 0));
    ASSERT_NE(menu->findChild<QAction*>("ModeMult"), nullptr);
    EXPECT_TRUE(menu->findChild<QAction*>("ModeMult")->isChecked());
    menu->findChild<QAction*>("ModeXor")->trigger();
    EXPECT_EQ(Module1.BlendMode, 10);
    menu->hide();
    menu->popup(QPoint(0, 0));
    int checked = 0;
    for (QAction* a : menu->actions()) checked += a->isChecked();
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(menu->findChild<QAction*>("ModeXor")->isChecked());
    menu->hide();

    QAction* keys = window->findChild<QAction*>("KeysMenu");
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->text(), "Keys and gestures...");
    keys->trigger();
    ASSERT_EQ(messages.size(), 1);
    for (const char* gesture :
         {"Ctrl+Z", "Space", "[ and ]", "wheel", "Comma", "Shift+Ctrl", "u or"})
        EXPECT_TRUE(messages[0].contains(gesture)) << gesture;
}

// The offscreen screen is 800 x 600: an image wider or taller than that gets a client area
// clamped to the screen, and both windows stay on it.
class LargeCanvas : public MarloWindowTest {};

TEST_F(LargeCanvas, WindowsStayOnTheScreenWhateverTheImageSize) {
    struct Case {
        int w, h;
        bool fits;
    };
    for (const Case& c : {Case{1900, 300, false}, Case{300, 2000, false}, Case{640, 100, true}}) {
        SCOPED_TRACE(c.w);
        StartOn(c.w, c.h);
        const QRect screen = window->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(window->frameGeometry()));
        EXPECT_TRUE(screen.contains(palette->frameGeometry()));
        EXPECT_EQ(
            window->view()->width(),
            std::min(c.w, screen.width() - (window->frameGeometry().width() - window->width())));
        if (c.fits) {
            EXPECT_EQ(window->view()->size(), QSize(c.w, c.h));
        }
        // The image can still be seen in full by zooming out.
        QTest::keyClick(window->view(), Qt::Key_Minus, Qt::ControlModifier);
        EXPECT_EQ(Module1.Zoom, 0.75f);
        TearDown();
    }
}

}  // namespace
