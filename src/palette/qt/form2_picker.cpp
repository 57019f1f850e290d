// The palette's lower half: the colour picker. Every way of choosing a colour ends in the
// change handlers of the red, green and blue sliders, which store the channel and bring the
// hue, the swatch, the hue bar and the triangle up to date.
#include <QPainter>
#include <algorithm>

#include "core/module1.h"
#include "palette/colour_model.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/picture_box.h"
#include "palette/qt/trackle.h"
#include "palette/qt/wallpaper.h"
#include "palette/triangle_fill.h"

namespace {

// HoldHue back to 0 however the pick ends.
struct HoldHueScope {
    int32_t& hold;
    explicit HoldHueScope(int32_t& h) : hold(h) { hold = 255; }
    ~HoldHueScope() { hold = 0; }
};

}  // namespace

void Form2::SetRed(float value) { Trackle2->setValue(value); }
void Form2::SetGreen(float value) { Trackle3->setValue(value); }
void Form2::SetBlue(float value) { Trackle4->setValue(value); }

void Form2::Trackle2_Change() { ColourSliderChanged(Module1.ColorR, Trackle2); }
void Form2::Trackle3_Change() { ColourSliderChanged(Module1.ColorG, Trackle3); }
void Form2::Trackle4_Change() { ColourSliderChanged(Module1.ColorB, Trackle4); }

// A colour slider moved: its channel takes the value, and the picker, swatch, hue bar and
// triangle follow.
void Form2::ColourSliderChanged(float& channel, const Trackle* slider) {
    channel = static_cast<float>(slider->value());
    GetHSV();
    SetColor();
    Picture1_Paint();
    DrawTriangle();
}

void Form2::GetHSV() {
    const float r = Module1.ColorR / 255.0f, g = Module1.ColorG / 255.0f,
                b = Module1.ColorB / 255.0f;
    float h, s, v;
    RGB_To_HSV(r, g, b, h, s, v);
    if (HoldHue == 0) Module1.PickerHue = RoundHalfEven(h);
    Module1.PickerSaturation = RoundHalfEven(s * 255.0f);
    Module1.PickerValue = RoundHalfEven(v * 255.0f);
}

void Form2::SetColor() {
    kt_button5->setBackColor(PackBGR(Module1.ColorR, Module1.ColorG, Module1.ColorB));
    kt_button5->Refresh();
}

void Form2::DrawTriangle() {
    PixelSurface surface = Picker->Surface();
    ::DrawTriangle(surface, Module1.PickerHue);
    Picker->Refresh();
}

void Form2::DrawTriangleMask() {
    PixelSurface mask = Picture2->Surface();
    ::DrawTriangleMask(mask, Picker->width(), Picker->height());
    Picture2->Refresh();
}

void Form2::Picture1_Paint() {
    PixelSurface bar = Picture1->Surface();
    const int32_t w = bar.width, h = bar.height;
    for (int32_t x = 0; x < w; ++x) {
        float r, g, b;
        HSV_To_RGB(r, g, b, static_cast<float>(x) / w * 360.0f, 1.0f, 1.0f);
        const uint32_t colour = PackBGR(r * 255.0f, g * 255.0f, b * 255.0f);
        for (int32_t y = 0; y < h; ++y) bar.SetPixel(x, y, colour);
    }
    // The marker: an unfilled white rectangle five pixels wide from the top to row h, which
    // lies just below the bar; at hue 360 only its left half is inside.
    const int32_t m = RoundHalfEven(Module1.PickerHue / 360.0 * w);
    for (int32_t y = 0; y <= h; ++y) {
        bar.SetPixel(m - 2, y, 0xFFFFFF);
        bar.SetPixel(m + 2, y, 0xFFFFFF);
    }
    for (int32_t x = m - 2; x <= m + 2; ++x) {
        bar.SetPixel(x, 0, 0xFFFFFF);
        bar.SetPixel(x, h, 0xFFFFFF);
    }
    Picture1->Refresh();
}

void Form2::Picture1_MouseMove(int16_t Button, int16_t, float X, float) {
    if (Button <= 0) return;
    const int32_t w = Picture1->width();
    if (w <= 0) return;
    Module1.PickerHue = std::clamp(RoundHalfEven(X / static_cast<double>(w) * 360.0), 0, 360);
    float r, g, b;
    HSV_To_RGB(r, g, b, static_cast<float>(Module1.PickerHue), Module1.PickerSaturation / 255.0f,
               Module1.PickerValue / 255.0f);
    // Each write runs that slider's change handler at once, which recomputes the hue from the
    // colour as it stands after that channel.
    Trackle2->setValue(r * 255.0f);
    Trackle3->setValue(g * 255.0f);
    Trackle4->setValue(b * 255.0f);
    Picture1_Paint();
    DrawTriangle();
}

void Form2::Picker_Paint() {
    {
        QPainter p(&Picker->Image());
        TileWallpaper(p, *Picker, Image1);
    }
    DrawTriangle();
}

void Form2::Picker_MouseMove(int16_t Button, int16_t, float X, float Y) {
    if (Button == 0) return;
    if (Picture2->Point(X, Y) <= 0) return;  // outside the triangle, or outside the box
    const int32_t c = Picker->Point(X, Y);
    {
        // Picking a grey, black or white point must not lose the hue the triangle shows.
        HoldHueScope hold(HoldHue);
        Trackle2->setValue(c & 0xFF);
        Trackle3->setValue((c >> 8) & 0xFF);
        Trackle4->setValue((c >> 16) & 0xFF);
    }
    DrawTriangle();
}
