// The colour picker's hue bar and triangle driven through the palette's real widgets (the colour
// model and the triangle fill underneath: colour_model_test.cpp).
#include <gtest/gtest.h>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

#include "app/engine_reset.h"
#include "core/errors.h"
#include "core/module1.h"
#include "palette/colour_model.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/picture_box.h"
#include "palette/qt/trackle.h"
#include "palette/triangle_fill.h"

namespace {

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetEngine();
        form = std::make_unique<Form2>();
        form->show();
    }
    // A drag over a box: press, then a move with the button held, then release. (QTest takes
    // a point (0, 0) for the widget's centre, so the events are sent as they are.)
    static void Send(QWidget* box, QEvent::Type type, QPoint at, Qt::MouseButton button,
                     Qt::MouseButtons held) {
        QMouseEvent event(type, at, box->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(box, &event);
    }
    void Drag(QWidget* box, QPoint at) {
        Send(box, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        Send(box, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        Send(box, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    void SetColour(float r, float g, float b) {
        form->SetRed(r);
        form->SetGreen(g);
        form->SetBlue(b);
    }
    uint32_t BarPixel(int x, int y) { return form->Picture1->Image().pixel(x, y) & 0xFFFFFF; }
    std::unique_ptr<Form2> form;
};

TEST_F(PickerTest, SliderWriteRunsTheHandlerBeforeReturning) {
    form->SetRed(0.4f);
    EXPECT_EQ(Module1.ColorR, 0.4f);  // fractional value kept and stored at once
    form->SetGreen(127.5f);
    EXPECT_EQ(form->kt_button5->BackColor(), 0x008000u);  // the swatch rounds half to even
}

TEST_F(PickerTest, HueBarEndsAndMarker) {
    SetColour(255, 0, 0);
    ASSERT_EQ(Module1.PickerHue, 0);
    Drag(form->Picture1, QPoint(200, 5));  // past the right end
    EXPECT_EQ(Module1.PickerHue, 360);
    EXPECT_EQ(Module1.ColorR, 255.0f);
    // Marker at x = 81: only its left side (x 79) and the top edge fall inside the bar.
    EXPECT_EQ(BarPixel(79, 10), 0xFFFFFFu);
    EXPECT_NE(BarPixel(80, 10), 0xFFFFFFu);
    EXPECT_EQ(BarPixel(80, 0), 0xFFFFFFu);

    Drag(form->Picture1, QPoint(-30, 5));
    EXPECT_EQ(Module1.PickerHue, 0);
    EXPECT_EQ(BarPixel(2, 10), 0xFFFFFFu);
    EXPECT_EQ(BarPixel(0, 10), 0xFF0000u);  // the bar's red start, not the marker

    form->Picture1_MouseMove(1, 0, 40.5f, 5);  // the middle of the 81-pixel bar
    EXPECT_EQ(Module1.PickerHue, 180);
    EXPECT_EQ(Module1.ColorR, 0.0f);
    EXPECT_EQ(Module1.ColorG, 255.0f);
    EXPECT_EQ(Module1.ColorB, 255.0f);
}

// The press alone changes nothing; a click (its release where it was pressed, with no move
// between) picks as a drag over that point does.
TEST_F(PickerTest, PressAloneChangesNothingAClickPicksLikeADrag) {
    struct Case {
        const char* name;
        PictureBox* box;
        QPoint at;
    };
    for (const Case& c :
         {Case{"hue bar", form->Picture1, {27, 9}}, Case{"triangle", form->Picker, {30, 40}}}) {
        SetColour(200, 40, 90);
        Drag(c.box, c.at);
        const float dragged[] = {Module1.ColorR, Module1.ColorG, Module1.ColorB};
        const int32_t hue = Module1.PickerHue;
        SetColour(200, 40, 90);
        Send(c.box, QEvent::MouseButtonPress, c.at, Qt::LeftButton, Qt::LeftButton);
        EXPECT_EQ(Module1.ColorR, 200.0f) << c.name;
        EXPECT_EQ(Module1.ColorG, 40.0f) << c.name;
        Send(c.box, QEvent::MouseButtonRelease, c.at, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(Module1.ColorR, dragged[0]) << c.name;
        EXPECT_EQ(Module1.ColorG, dragged[1]) << c.name;
        EXPECT_EQ(Module1.ColorB, dragged[2]) << c.name;
        EXPECT_EQ(Module1.PickerHue, hue) << c.name;
        EXPECT_NE(Module1.ColorG, 40.0f) << c.name;
    }
    // Outside the triangle a click changes nothing, as a drag there does not.
    SetColour(10, 20, 30);
    Send(form->Picker, QEvent::MouseButtonPress, QPoint(78, 2), Qt::LeftButton, Qt::LeftButton);
    Send(form->Picker, QEvent::MouseButtonRelease, QPoint(78, 2), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(Module1.ColorR, 10.0f);
}

TEST_F(PickerTest, PickingAGreyKeepsTheHue) {
    SetColour(0, 255, 0);
    ASSERT_EQ(Module1.PickerHue, 120);
    Drag(form->Picker, QPoint(0, 40));  // the left edge, between white and black
    EXPECT_EQ(Module1.ColorR, Module1.ColorG);
    EXPECT_EQ(Module1.ColorG, Module1.ColorB);
    EXPECT_GT(Module1.ColorR, 100.0f);
    EXPECT_EQ(Module1.PickerHue, 120);
    EXPECT_EQ(Module1.PickerSaturation, 0);
    EXPECT_EQ(form->HoldHue, 0);
    const QRgb hueSide = form->Picker->Image().pixel(80, 40);
    EXPECT_GT(qGreen(hueSide), qRed(hueSide) + 200);  // the triangle still shows green

    // The same grey set with the sliders takes the hue a grey has: 0.
    const float grey = Module1.ColorR;
    SetColour(grey + 1, grey + 1, grey + 1);
    EXPECT_EQ(Module1.PickerHue, 0);
}

TEST_F(PickerTest, WhiteCornerAndOutsideTheTriangle) {
    Drag(form->Picker, QPoint(0, 0));
    EXPECT_EQ(Module1.ColorR, 254.0f);
    EXPECT_EQ(Module1.ColorG, 254.0f);
    EXPECT_EQ(Module1.ColorB, 254.0f);
    Drag(form->Picker, QPoint(80, 2));  // inside the box, outside the triangle
    EXPECT_EQ(Module1.ColorR, 254.0f);
}

}  // namespace
