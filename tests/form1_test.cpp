// The canvas window driven with real key and pointer events on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <random>

#include "app/qt/application.h"
#include "brush/tables.h"
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
#include "host/qt/rescue_copy.h"
#include "marlo_window_test.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/picture_box.h"
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

// The pointer while the comma key samples: a pipette whose tip, its hot spot at the lower left,
// is drawn dark there.
void ExpectPicker(const QWidget* view) {
    const QCursor pointer = view->cursor();
    ASSERT_EQ(pointer.shape(), Qt::BitmapCursor);
    const QImage image = pointer.pixmap().toImage();
    const QPoint hot = pointer.hotSpot() * pointer.pixmap().devicePixelRatio();
    EXPECT_TRUE(hot.x() < image.width() / 4 && hot.y() > image.height() * 3 / 4);
    EXPECT_TRUE(image.pixelColor(hot).alpha() > 128 && image.pixelColor(hot).lightness() < 128);
}

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

// Options > "Close without sending back...": No keeps the canvas; Yes closes without a word to
// the host, the painting kept in a rescue copy.
TEST_F(CanvasWindow, CloseWithoutSendingBackKeepsARescueCopy) {
    Module1.RPlane.at(3, 4) = 7;
    QAction* item = window->findChild<QAction*>("CloseWithoutSendingMenu");
    ASSERT_NE(item, nullptr);
    const QDir rescues(RescueFolderOfData());
    const QStringList before = rescues.entryList({"marlo-painting*.png"});
    for (const bool yes : {false, true}) {
        answerYes = yes;
        item->trigger();
        ASSERT_EQ(messages.size(), yes ? 2 : 1);
        EXPECT_TRUE(messages.back().startsWith("Close and leave Marlo for Tarnwick Artist"))
            << messages.back().toStdString();
        EXPECT_TRUE(messages.back().endsWith(" as it was? Your painting is not sent back."));
        EXPECT_EQ(window->isVisible(), !yes);
    }
    EXPECT_TRUE(host->calls.empty());
    QStringList made = rescues.entryList({"marlo-painting*.png"});
    for (const QString& old : before) made.removeAll(old);
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(qRed(QImage(rescues.filePath(made[0])).pixel(3, 4)), 7);
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
    ExpectPicker(view);
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

// The painting then goes to a rescue copy. Where not even that can be written (a file in the
// way of the data and temporary folders), the canvas stays open and says where it tried and why.
TEST_F(CanvasWindow, ClosingWithAFailingHostClosesSilently) {
    host->failOn = "Tarn_SetGbuffer";
    Module1.RPlane.at(1, 1) ^= 1;
    {
        const QString file = QDir(TempDir()).filePath("in-the-way");
        QFile(file).open(QIODevice::WriteOnly);
        const KeepEnv keepData("XDG_DATA_HOME"), keepTemp("TMPDIR");
        qputenv("XDG_DATA_HOME", QFile::encodeName(file + "/data"));
        qputenv("TMPDIR", QFile::encodeName(file + "/temp"));
        EXPECT_FALSE(window->close() || window->isHidden());
        ASSERT_EQ(messages.size(), 1);
        const QString why =
            file + "/data/marlo/rescue: cannot make the folder (Not a directory); " + file +
            "/temp/marlo-painting.marlo-rescue.png: cannot write in its folder (Not a directory)";
        EXPECT_TRUE(messages[0].contains(why)) << messages[0].toStdString();
        messages.clear();
    }
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

TEST_F(CanvasWindow, CtrlZUndoesStepByStepLikeUAndCtrlShiftZOrCtrlYRedo) {
    const std::vector<uint8_t> before = Module1.RPlane.bytes;
    for (uint8_t v : {11, 22}) {
        PushUndo(0, 0, 59, 39);
        std::fill(Module1.RPlane.bytes.begin(), Module1.RPlane.bytes.end(), v);
    }
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Module1.RPlane.at(0, 0), 11);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Module1.RPlane.at(0, 0), 22);
    EXPECT_EQ(Shown().pixel(59, 39) >> 16 & 0xFF, 22u);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Module1.RPlane.at(0, 0), 22);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
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
    QTest::keyPress(view, Qt::Key_Comma);  // picking shows the picker
    ExpectPicker(view);
    QTest::keyRelease(view, Qt::Key_Comma);  // the brush again: radius 32 x 1.25
    EXPECT_EQ(view->cursor().pixmap().width(), 2 * 40 + 5);
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

// The palette's close box only hides it; Tab (on the view or another control of the canvas
// window) and Options > Show tools bring it back where it stood.
TEST_F(CanvasWindow, ClosedPaletteComesBackAtItsPlace) {
    QAction* showTools = window->findChild<QAction*>("ShowToolsMenu");
    ASSERT_EQ(showTools->text(), "Show tools");
    const std::function<void()> ways[] = {[&] { QTest::keyClick(view, Qt::Key_Tab); },
                                          [&] { QTest::keyClick(window->menuBar(), Qt::Key_Tab); },
                                          [&] { showTools->trigger(); }};
    for (int n = 0; n < 3; ++n) {
        palette->move(QPoint(200 + 10 * n, 100 + 20 * n));
        const QPoint at = palette->pos();
        palette->close();  // as the window manager's close box does
        EXPECT_FALSE(palette->isVisible());
        ways[n]();
        EXPECT_TRUE(palette->isVisible() && palette->isWindow()) << n;
        EXPECT_EQ(palette->pos(), at) << n;
    }
    QTest::keyClick(view, Qt::Key_Tab);  // shown: it stays
    EXPECT_TRUE(palette->isVisible());
}

// Docked, the same palette stands in the canvas window at its right edge, its controls in their
// order and working; the choice is remembered, and undocking makes it a tool window beside the
// canvas again.
TEST_F(CanvasWindow, DockedPaletteSitsAtTheRightEdgeWithItsControls) {
    QAction* dock = window->findChild<QAction*>("DockToolsMenu");
    ASSERT_EQ(dock->text(), "Dock tools in the canvas window");
    const QObjectList controls = palette->children();
    dock->trigger();
    EXPECT_TRUE(dock->isChecked() && !palette->isWindow() && palette->isVisible());
    EXPECT_EQ(palette->children(), controls);
    EXPECT_EQ(view->width(), 60);
    EXPECT_EQ(palette->geometry(), QRect(60, 0, 141, 490));
    EXPECT_EQ(window->centralWidget()->width(), 60 + 141);
    QTest::mouseClick(palette->kt_button6, Qt::LeftButton);  // Ink
    EXPECT_EQ(Module1.BrushCurve, 2);
    EXPECT_EQ(Module1.BlendMode, 3);
    QTest::keyClick(palette->kt_button6, ']');  // the canvas's keys from the docked palette
    EXPECT_EQ(Module1.BrushSize, 3.0f);
    TearDown();
    StartOn(60, 40);
    dock = window->findChild<QAction*>("DockToolsMenu");
    EXPECT_TRUE(dock->isChecked() && !palette->isWindow() && palette->isVisible());
    dock->trigger();
    EXPECT_FALSE(QSettings("marlo", "marlo").value("palette/docked").toBool());
    EXPECT_TRUE(palette->isWindow() && palette->isVisible());
    EXPECT_EQ(palette->windowHandle()->transientParent(), window->windowHandle());
    EXPECT_FALSE(palette->frameGeometry().intersects(window->frameGeometry()));
    EXPECT_EQ(window->view()->size(), QSize(60, 40));
}

// The brush of one session is the next one's: kind, sliders, colour and mode are kept after each
// stroke and at the close. A hand-edited store is read safely (numbers clamped to the slider's
// range, anything else its design value), and Options > Reset brush gives the design values back.
TEST_F(CanvasWindow, BrushIsKeptBetweenSessionsAndResetFromTheMenu) {
    const auto brush = [] {
        const Module1State& m = Module1;
        const float kind[] = {float(m.BlendMode), float(m.BrushCurve), float(m.BrushRelief)};
        std::vector<float> v = {m.BrushSize, m.StampStrength, m.BrushOpacity, m.StampSpacing};
        v.insert(v.end(), {float(m.PaperStrength), m.ColorR, m.ColorG, m.ColorB});
        v.insert(v.end(), std::begin(kind), std::end(kind));
        return v;
    };
    QTest::mouseClick(palette->kt_button7, Qt::LeftButton);  // Gel brush
    for (QAction* a : ModeMenu()->actions())
        if (a->text() == "Screen") a->trigger();
    QTest::keyClick(palette->Trackle1, Qt::Key_PageUp);                       // Size 2 -> 5
    QTest::mouseClick(palette->Trackle8, Qt::LeftButton, {}, QPoint(40, 9));  // Press
    QTest::mouseClick(palette->Trackle5, Qt::LeftButton, {}, QPoint(20, 9));  // Opacity
    QTest::keyClick(palette->Trackle6, Qt::Key_End);                          // Step 100
    QTest::keyClick(palette->Trackle7, Qt::Key_Right);                        // Paper 1
    QTest::mouseClick(palette->Picker, Qt::LeftButton, {}, QPoint(40, 30));   // a colour
    const std::vector<float> chosen = brush();
    EXPECT_TRUE(chosen[0] == 5 && chosen[5] > 1 && chosen[8] == static_cast<float>(kBlendScreen));
    // On the disk after a stroke, before any close: a process killed now keeps it.
    QTest::mouseClick(window->view(), Qt::LeftButton, {}, QPoint(10, 10));
    const QString store = QSettings(kSettingsName, kSettingsName).fileName();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        QFile file(store);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("kind=gel brush");
    }));
    for (int session = 0; session < 2; ++session) {
        ASSERT_TRUE(window->close());
        if (session == 1)  // damaged by hand
            for (const char* kv : {"kind=broom", "mode=99", "size=1000", "press=-7", "opacity=x",
                                   "step=nan", "paper=2.6", "red=300"}) {
                const QStringList pair = QString(kv).split('=');
                QSettings(kSettingsName, kSettingsName).setValue("brush/" + pair[0], pair[1]);
            }
        delete window;
        StartOn(60, 40, true);
        const std::vector<float> clamped = {32, 1, 255, 15, 3, 255, chosen[6], chosen[7], 0, 0, 0};
        EXPECT_EQ(brush(), session == 0 ? chosen : clamped) << session;
        EXPECT_EQ(palette->kt_button7->value(), session == 0) << session;
        EXPECT_EQ(palette->SliderValue(kRedSlider), session == 0 ? chosen[5] : 255) << session;
    }
    window->findChild<QAction*>("ResetBrushMenu")->trigger();
    EXPECT_EQ(brush(), std::vector<float>({2, 255, 255, 15, 0, 1, 1, 1, 0, 0, 0}));
}

// Where the windows open, screen by screen (each in a process of its own: the offscreen
// platform reads its screen from a file). Larger images open at the first zoom-out step that
// shows them whole; the palette stands beside the canvas where there is room, else over its
// edge; both windows stay on the screen.
struct PlaceCase {
    const char* screen;  // device pixels @ ratio
    int w, h;            // the image
    float zoom;
    bool beside;  // the palette beside the canvas, the whole image in view
};
constexpr PlaceCase kPlaces[] = {
    {"800x600@1", 640, 100, 1.0f, true},      {"800x600@1", 1900, 300, 0.25f, true},
    {"800x600@1", 300, 2000, 0.25f, true},    {"1920x1080@1", 400, 300, 1.0f, true},
    {"1920x1080@1", 1600, 1000, 1.0f, true},  {"1920x1080@1", 1800, 500, 1.0f, false},
    {"1920x1080@1", 6000, 4000, 0.25f, true}, {"1366x768@1", 400, 300, 1.0f, true},
    {"1366x768@1", 1600, 1000, 0.5f, true},   {"1366x768@1", 6000, 4000, 0.25f, false},
    {"2560x1440@2", 400, 300, 1.0f, true},    {"2560x1440@2", 1600, 1000, 1.0f, true},
    {"2560x1440@2", 6000, 4000, 0.25f, true},
};

class LargeCanvas : public MarloWindowTest {};

TEST_F(LargeCanvas, WindowsStayOnTheScreenWhateverTheImageSize) {
    for (const char* screen : {"800x600@1", "1920x1080@1", "1366x768@1", "2560x1440@2"}) {
        const QStringList n = QString(screen).split(QRegularExpression("[x@]"));
        const int dpr = n[2].toInt();
        QFile file(TempDir() + "/" + screen + ".json");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral(R"({"screens": [{"name": "s", "x": 0, "y": 0, "width": %1,
            "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": %3}]})")
                       .arg(n[0].toInt() / dpr)  // the platform's screens are in logical pixels
                       .arg(n[1].toInt() / dpr)
                       .arg(dpr)
                       .toUtf8());
        file.close();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + file.fileName());
        env.insert("MARLO_TEST_SCREEN", screen);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_also_run_disabled_tests", "--gtest_filter=LargeCanvas.DISABLED_*"});
        ASSERT_TRUE(child.waitForFinished(120000)) << screen;
        const QByteArray out = child.readAll();
        EXPECT_TRUE(child.exitCode() == 0 && out.contains("[  PASSED  ] 1 test."))
            << out.toStdString();
    }
}

// Run by the test above with the screen MARLO_TEST_SCREEN names.
TEST_F(LargeCanvas, DISABLED_PlacedForTheScreen) {
    const QString screen = qEnvironmentVariable("MARLO_TEST_SCREEN");
    const QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_EQ(QStringLiteral("%1x%2@%3")
                  .arg(primary->geometry().width() * primary->devicePixelRatio())
                  .arg(primary->geometry().height() * primary->devicePixelRatio())
                  .arg(primary->devicePixelRatio()),
              screen);
    for (const PlaceCase& c : kPlaces) {
        if (screen != c.screen) continue;
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        StartOn(c.w, c.h);
        const QRect available = window->screen()->availableGeometry();
        const QRect canvas = window->frameGeometry(), tools = palette->frameGeometry();
        EXPECT_EQ(Module1.Zoom, c.zoom);
        EXPECT_TRUE(available.contains(canvas) && available.contains(tools));
        EXPECT_TRUE(palette->isVisible() && palette->isWindow());
        EXPECT_EQ(palette->windowHandle()->transientParent(), window->windowHandle());
        EXPECT_EQ(tools.intersects(canvas), !c.beside);
        EXPECT_TRUE(!c.beside || (Dibs.DisplayWidth <= window->ClientWidth() &&
                                  Dibs.DisplayHeight <= window->ClientHeight()));
        TearDown();
    }
}

}  // namespace
