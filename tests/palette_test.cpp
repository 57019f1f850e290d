// The tool palette driven through its real widgets: layout, brush kinds, brush sliders, the
// drag handles on the canvas's handlers, the wallpaper tiling and the placement.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/engine_reset.h"
#include "canvas/dibs.h"
#include "canvas/qt/menus.h"
#include "core/errors.h"
#include "core/module1.h"
#include "host/host.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/palette_placement.h"
#include "palette/qt/picture_box.h"
#include "palette/qt/trackle.h"
#include "palette/qt/wallpaper.h"
#include "test_support.h"

namespace {

void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Press at `from`, move with the button held to `to`, release there.
void Drag(QWidget* w, Qt::MouseButton button, QPoint from, QPoint to) {
    Send(w, QEvent::MouseButtonPress, from, button, button);
    Send(w, QEvent::MouseMove, to, Qt::NoButton, button);
    Send(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

class PaletteTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreshEngine(200, 100, &surface);
        form = std::make_unique<Form2>();
        form->show();
    }
    void TearDown() override {
        form.reset();
        Dibs.View = nullptr;
    }
    RecordingSurface surface;
    std::unique_ptr<Form2> form;
};

TEST_F(PaletteTest, ControlsStandWhereTheDesignPutsThem) {
    EXPECT_EQ(form->windowTitle(), "Tools");
    EXPECT_EQ(form->size(), QSize(141, 490));
    struct Place {
        const char* name;
        QWidget* w;
        QRect r;
    };
    const Place places[] = {
        {"kt_button8", form->kt_button8, {8, 8, 29, 29}},
        {"kt_button9", form->kt_button9, {40, 8, 29, 29}},
        {"kt_button6", form->kt_button6, {72, 8, 29, 29}},
        {"kt_button7", form->kt_button7, {104, 8, 29, 29}},
        {"kt_button13", form->kt_button13, {8, 40, 29, 29}},
        {"kt_button14", form->kt_button14, {40, 40, 29, 29}},
        {"kt_button11", form->kt_button11, {72, 40, 29, 29}},
        {"kt_button12", form->kt_button12, {104, 40, 29, 29}},
        {"kt_button3", form->kt_button3, {8, 72, 29, 29}},
        {"kt_button4", form->kt_button4, {40, 72, 29, 29}},
        {"kt_button1", form->kt_button1, {72, 72, 29, 29}},
        {"kt_button2", form->kt_button2, {104, 72, 29, 29}},
        {"Trackle1", form->Trackle1, {50, 118, 80, 18}},
        {"Trackle8", form->Trackle8, {50, 140, 80, 18}},
        {"Trackle5", form->Trackle5, {50, 162, 80, 18}},
        {"Trackle6", form->Trackle6, {50, 184, 80, 18}},
        {"Trackle7", form->Trackle7, {50, 206, 80, 18}},
        {"kt_button15", form->kt_button15, {50, 230, 83, 19}},
        {"kt_button5", form->kt_button5, {50, 262, 33, 25}},
        {"kt_button10", form->kt_button10, {96, 262, 33, 25}},
        {"Picker", form->Picker, {50, 296, 81, 81}},
        {"Picture2", form->Picture2, {54, 300, 81, 81}},
        {"Picture1", form->Picture1, {50, 386, 81, 19}},
        {"Trackle2", form->Trackle2, {50, 422, 80, 18}},
        {"Trackle3", form->Trackle3, {50, 444, 80, 18}},
        {"Trackle4", form->Trackle4, {50, 466, 80, 18}},
    };
    for (const Place& p : places) EXPECT_EQ(p.w->geometry(), p.r) << p.name;
    EXPECT_TRUE(form->Picture2->isHidden());
    // Labels level with their controls, at x 4.
    for (auto [text, y] :
         {std::pair{"Size", 118}, {"Paper", 206}, {"Pens", 268}, {"Hue", 386}, {"Blue", 466}}) {
        QLabel* found = nullptr;
        for (QLabel* l : form->findChildren<QLabel*>())
            if (l->text() == text) found = l;
        ASSERT_NE(found, nullptr) << text;
        EXPECT_EQ(found->geometry(), QRect(4, y, 40, 19)) << text;
    }
}

TEST_F(PaletteTest, SlidersStartAtTheirDesignValues) {
    // TrackleN's range and start value at N - 1, as the palette was designed.
    struct Design {
        double min, max, start;
    };
    const Design design[] = {{1, 32, 2},    {1, 255, 1},  {1, 255, 1}, {1, 255, 1},
                             {1, 255, 255}, {0, 100, 15}, {0, 255, 0}, {1, 255, 255}};
    const Trackle* sliders[] = {form->Trackle1, form->Trackle2, form->Trackle3, form->Trackle4,
                                form->Trackle5, form->Trackle6, form->Trackle7, form->Trackle8};
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(form->SliderValue(n), design[n - 1].start) << "Trackle" << n;
        EXPECT_EQ(sliders[n - 1]->min(), design[n - 1].min) << "Trackle" << n;
        EXPECT_EQ(sliders[n - 1]->max(), design[n - 1].max) << "Trackle" << n;
    }
    EXPECT_EQ(form->SliderValue(9), 0.0f);
    EXPECT_TRUE(form->kt_button8->value());
}

struct BrushKindCase {
    const char* name;
    kt_button* Form2::*button;
    Qt::MouseButton mouse;
    int32_t curve, relief, mode;
};

TEST_F(PaletteTest, BrushKindPressSetsItsRowAndOnlyItsButtonIsDown) {
    const BrushKindCase cases[] = {
        {"Water brush", &Form2::kt_button9, Qt::LeftButton, 1, 0, 3},
        {"Ink", &Form2::kt_button6, Qt::RightButton, 2, 0, 3},
        {"Gel brush", &Form2::kt_button7, Qt::MiddleButton, 1, 1, 0},
        {"Pen", &Form2::kt_button8, Qt::LeftButton, 0, 0, 0},
        {"Pen again", &Form2::kt_button8, Qt::LeftButton, 0, 0, 0},
    };
    kt_button* group[] = {form->kt_button6, form->kt_button7, form->kt_button8, form->kt_button9};
    for (const BrushKindCase& c : cases) {
        Module1.BrushCurve = Module1.BrushRelief = Module1.BlendMode = 7;
        kt_button* pressed = (*form).*c.button;
        // The press decides; no release or click is needed.
        Send(pressed, QEvent::MouseButtonPress, QPoint(5, 5), c.mouse, c.mouse);
        EXPECT_EQ(Module1.BrushCurve, c.curve) << c.name;
        EXPECT_EQ(Module1.BrushRelief, c.relief) << c.name;
        EXPECT_EQ(Module1.BlendMode, c.mode) << c.name;
        for (kt_button* b : group)
            EXPECT_EQ(b->value(), b == pressed) << c.name << " " << b->toolTip().toStdString();
        Send(pressed, QEvent::MouseButtonRelease, QPoint(5, 5), c.mouse, Qt::NoButton);
        EXPECT_TRUE(pressed->value()) << c.name;
    }
}

TEST_F(PaletteTest, MenuModeAfterABrushKindAndABrushKindAfterAMode) {
    auto modeAction = [](const char* caption) -> QAction* {
        for (QAction* a : ModeMenu()->actions())
            if (a->text() == caption) return a;
        return nullptr;
    };
    ASSERT_NE(modeAction("Multiply"), nullptr);
    QTest::mouseClick(form->kt_button7, Qt::LeftButton);  // Gel brush
    modeAction("Multiply")->trigger();
    EXPECT_EQ(Module1.BlendMode, 3);
    EXPECT_EQ(Module1.BrushCurve, 1);
    EXPECT_EQ(Module1.BrushRelief, 1);
    EXPECT_TRUE(form->kt_button7->value());

    modeAction("Screen")->trigger();
    QTest::mouseClick(form->kt_button8, Qt::LeftButton);  // Pen switches back to plain paint
    EXPECT_EQ(Module1.BlendMode, 0);
    modeAction("Xor")->trigger();
    QTest::mouseClick(form->kt_button9, Qt::LeftButton);  // Water brush multiplies
    EXPECT_EQ(Module1.BlendMode, 3);
}

// The tip the window system asks for when the pointer rests on a control.
QString TipOf(QWidget* w) {
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(w, &help);
    return w->toolTip();
}

TEST_F(PaletteTest, ModeButtonsTipNamesTheModeInEffect) {
    const struct {
        kt_button* Form2::*button;  // a brush kind pressed, or
        const char* item;           // a Mode menu item chosen
        const char* mode;
    } cases[] = {{nullptr, nullptr, "Default"},
                 {&Form2::kt_button6, nullptr, "Multiply"},
                 {nullptr, "MenuGreater", "Greater than"},
                 {nullptr, "ModeXor", "Xor"},
                 {&Form2::kt_button7, nullptr, "Default"}};
    for (const auto& c : cases) {
        if (c.button) QTest::mouseClick((*form).*c.button, Qt::LeftButton);
        if (c.item) ModeMenu()->findChild<QAction*>(c.item)->trigger();
        const QString tip = TipOf(form->kt_button15);
        EXPECT_TRUE(tip.startsWith(QStringLiteral("Blend mode: %1 (").arg(c.mode)))
            << tip.toStdString();
    }
}

// Each slider's tip, which its caption shares, begins with the caption.
TEST_F(PaletteTest, EverySliderAndItsCaptionSayWhatItSets) {
    const QList<Trackle*> sliders = form->findChildren<Trackle*>();
    ASSERT_EQ(sliders.size(), 8);
    for (Trackle* slider : sliders) {
        auto* caption = qobject_cast<QLabel*>(form->childAt(slider->pos() - QPoint(40, 0)));
        ASSERT_NE(caption, nullptr);
        EXPECT_TRUE(TipOf(slider).startsWith(caption->text() + ": "))
            << caption->text().toStdString();
        EXPECT_EQ(TipOf(caption), slider->toolTip());
    }
    EXPECT_TRUE(TipOf(form->Trackle8).contains("each stamp lifts the coverage"));
}

TEST_F(PaletteTest, BrushSlidersStoreTheirValues) {
    form->Trackle7->setValue(2.5);
    EXPECT_EQ(Module1.PaperStrength, 2);  // halves to even
    form->Trackle7->setValue(3.5);
    EXPECT_EQ(Module1.PaperStrength, 4);
    form->Trackle1->setValue(7.25);
    EXPECT_EQ(Module1.BrushSize, 7.25f);

    // The user's keys and clicks give whole values within the range.
    form->Trackle8->setFocus();
    QTest::keyClick(form->Trackle8, Qt::Key_Left);
    EXPECT_EQ(Module1.StampStrength, 254.0f);
    QTest::keyClick(form->Trackle8, Qt::Key_End);
    EXPECT_EQ(Module1.StampStrength, 255.0f);
    QTest::keyClick(form->Trackle8, Qt::Key_Up);
    EXPECT_EQ(form->Trackle8->value(), 255.0);
    QTest::mouseClick(form->Trackle5, Qt::LeftButton, {}, QPoint(2, 9));
    EXPECT_EQ(Module1.BrushOpacity, 1.0f);
    QTest::mouseClick(form->Trackle6, Qt::LeftButton, {}, QPoint(79, 9));
    EXPECT_EQ(Module1.StampSpacing, 100.0f);
}

TEST(TrackleTest, ChangeIsRaisedOnlyForANewValueAndValuesAreKeptAsWritten) {
    Trackle t;
    t.SetDesign(1, 255, 1);
    int changes = 0;
    double seen = -1;
    QObject::connect(&t, &Trackle::Change, [&] {
        ++changes;
        seen = t.value();
    });
    t.setValue(0.25);  // below the minimum and fractional: kept
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(seen, 0.25);
    t.setValue(0.25);
    EXPECT_EQ(changes, 1);
    t.setValue(std::nan(""));
    EXPECT_EQ(t.value(), 0.25);
    EXPECT_EQ(changes, 1);
}

TEST_F(PaletteTest, ZoomHandleZoomsWithTheLeftButton) {
    ASSERT_EQ(Module1.Zoom, 1.0f);
    Drag(form->kt_button14, Qt::LeftButton, QPoint(5, 5), QPoint(105, 40));
    EXPECT_FLOAT_EQ(Module1.Zoom, 1.5f);  // 100 pixels right: +0.5
    EXPECT_EQ(Module1.ScrollX, -50);      // the image centre stays put
    EXPECT_EQ(Module1.ScrollY, -25);

    // A pointer passing over the handle afterwards, with no button, does not zoom on.
    Send(form->kt_button14, QEvent::MouseMove, QPoint(205, 5), Qt::NoButton, Qt::NoButton);
    EXPECT_FLOAT_EQ(Module1.Zoom, 1.5f);
}

TEST_F(PaletteTest, PanHandlePansWithTheLeftAndZoomsWithTheRight) {
    Drag(form->kt_button13, Qt::LeftButton, QPoint(5, 5), QPoint(35, -15));
    EXPECT_EQ(Module1.ScrollX, 30);
    EXPECT_EQ(Module1.ScrollY, -20);
    EXPECT_EQ(Module1.Zoom, 1.0f);
    Drag(form->kt_button13, Qt::RightButton, QPoint(5, 5), QPoint(-195, 5));
    EXPECT_FLOAT_EQ(Module1.Zoom, 0.2f);  // below 0.25 becomes 0.2
}

TEST_F(PaletteTest, ViewButtonsCallTheCanvasOperations) {
    Module1.Zoom = 2.0f;
    Module1.ScrollX = 17;
    QTest::mouseClick(form->kt_button11, Qt::LeftButton);
    EXPECT_EQ(Module1.Zoom, 1.0f);
    EXPECT_EQ(Module1.ScrollX, 0);
}

TEST(WallpaperTiling, TileOrigins) {
    struct Case {
        const char* name;
        QSize tile, target;
        QPoint offset;
        size_t count;
        QPoint first, last;
    };
    const Case cases[] = {
        {"window", {50, 40}, {141, 490}, {0, 0}, 3 * 13, {0, 0}, {100, 480}},
        {"exact fit", {141, 490}, {141, 490}, {0, 0}, 1, {0, 0}, {0, 0}},
        {"picker box", {50, 40}, {81, 81}, {50, 296}, 2 * 3, {0, -16}, {50, 64}},
    };
    for (const Case& c : cases) {
        const std::vector<QPoint> o = TileOrigins(c.tile, c.target, c.offset);
        ASSERT_EQ(o.size(), c.count) << c.name;
        EXPECT_EQ(o.front(), c.first) << c.name;
        EXPECT_EQ(o.back(), c.last) << c.name;
    }
    EXPECT_TRUE(TileOrigins({0, 40}, {141, 490}).empty());
    EXPECT_TRUE(TileOrigins({40, 0}, {141, 490}).empty());
}

class WallpaperHost : public RecordingHost {
public:
    WallpaperHost() : RecordingHost(4, 4) {}
    std::string file;
    bool fail = false;
    std::string Tarn_WallpaperFilename() override {
        if (fail) throw HostError("no such method");
        return file;
    }
};

TEST(WallpaperTest, TriangleBoxContinuesTheWindowsTiling) {
    QTemporaryDir dir;
    QImage tile(50, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) tile.setPixel(x, y, qRgb(x * 5, y * 6, 7));
    ASSERT_TRUE(tile.save(dir.filePath("paper.png")));
    ResetEngine();
    auto host = std::make_shared<WallpaperHost>();
    host->file = dir.filePath("paper.png").toStdString();
    Module1.Host = host;
    Form2 form;
    form.show();
    ASSERT_FALSE(form.Image1.isNull());
    form.Picker_Paint();
    // Box pixel (80, 0) is window pixel (130, 296): tile pixel (30, 16).
    EXPECT_EQ(form.Picker->Image().pixel(80, 0), tile.pixel(30, 16));
    EXPECT_EQ(form.Picker->Image().pixel(0, 0) & 0xFFFFFF, 0xFEFEFEu);  // the triangle on top

    QImage window(form.size(), QImage::Format_RGB32);
    form.render(&window);
    EXPECT_EQ(window.pixel(140, 489), tile.pixel(40, 9));  // a partial tile at the far corner
}

TEST(WallpaperTest, HostWithoutWallpaperLeavesThePaletteWorking) {
    ResetEngine();
    auto host = std::make_shared<WallpaperHost>();
    host->fail = true;
    Module1.Host = host;
    Form2 failing;
    EXPECT_TRUE(failing.Image1.isNull());
    host->fail = false;
    host->file = "/nonexistent/wallpaper.png";
    Form2 missing;
    EXPECT_TRUE(missing.Image1.isNull());
    missing.SetRed(9);
    EXPECT_EQ(Module1.ColorR, 9.0f);
}

TEST(PlacementTest, BesideTheCanvasWhereThereIsRoomAlwaysOnTheScreen) {
    const QRect screen(0, 0, 1000, 800);
    const QSize palette(150, 520);
    struct Case {
        const char* name;
        QRect canvas;
        QPoint at;
        bool beside;
    };
    const Case cases[] = {
        {"room on the right", {100, 50, 400, 300}, {500, 50}, true},
        {"right edge full", {500, 60, 400, 300}, {350, 60}, true},
        {"neither side, more room right", {60, 0, 860, 300}, {850, 0}, false},
        {"neither side, more room left", {90, 0, 880, 300}, {0, 0}, false},
        {"canvas as wide as the screen", {0, 0, 1000, 300}, {850, 0}, false},
        {"canvas partly off the left", {-300, 10, 500, 300}, {200, 10}, true},
        {"low canvas: palette kept on screen", {100, 500, 400, 300}, {500, 280}, true},
    };
    for (const Case& c : cases) {
        const QPoint at = PlaceBeside(c.canvas, palette, screen);
        EXPECT_EQ(at, c.at) << c.name;
        EXPECT_TRUE(screen.contains(QRect(at, palette))) << c.name;
        EXPECT_EQ(QRect(at, palette).intersects(c.canvas), !c.beside) << c.name;
    }
}

TEST(PlacementTest, PaletteStandsAtTheCanvasRightEdgeOnceTheCanvasShows) {
    ResetEngine();
    QWidget canvas;
    canvas.setGeometry(100, 50, 300, 200);
    Form2 form;
    form.ShowBeside(&canvas);  // the canvas is not on the screen yet
    canvas.show();
    canvas.move(120, 60);  // where the window manager puts it
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.frameGeometry().left(), canvas.frameGeometry().right() + 1);
    EXPECT_EQ(form.frameGeometry().top(), canvas.frameGeometry().top());
}

}  // namespace
