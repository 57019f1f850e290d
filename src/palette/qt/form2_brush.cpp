// The palette's upper half: brush kinds, brush sliders, drag handles and command buttons.
#include <QMenu>
#include <QSettings>
#include <algorithm>
#include <cmath>

#include "brush/tables.h"
#include "canvas/qt/menus.h"
#include "canvas/qt/palette_window.h"
#include "canvas/qt/report.h"
#include "core/module1.h"
#include "input/stroke_capture.h"
#include "palette/colour_model.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/palette_buttons.h"
#include "palette/qt/picture_box.h"
#include "palette/qt/trackle.h"
#include "palette/slider_roles.h"

void Form2::ConnectHandlers() {
    connect(kt_button8, &kt_button::MouseDown, this, &Form2::kt_button8_MouseDown);
    connect(kt_button9, &kt_button::MouseDown, this, &Form2::kt_button9_MouseDown);
    connect(kt_button6, &kt_button::MouseDown, this, &Form2::kt_button6_MouseDown);
    connect(kt_button7, &kt_button::MouseDown, this, &Form2::kt_button7_MouseDown);

    connect(kt_button13, &kt_button::MouseDown, this, &Form2::kt_button13_MouseDown);
    connect(kt_button13, &kt_button::MouseMove, this, &Form2::kt_button13_MouseMove);
    connect(kt_button13, &kt_button::MouseUp, this, &Form2::kt_button13_MouseUp);
    connect(kt_button14, &kt_button::MouseDown, this, &Form2::kt_button14_MouseDown);
    connect(kt_button14, &kt_button::MouseMove, this, &Form2::kt_button14_MouseMove);
    connect(kt_button14, &kt_button::MouseUp, this, &Form2::kt_button14_MouseUp);

    connect(kt_button1, &kt_button::Click, this, [this] { RunGuarded(&::kt_button1_Click); });
    connect(kt_button2, &kt_button::Click, this, [this] { RunGuarded(&::kt_button2_Click); });
    connect(kt_button3, &kt_button::Click, this, [this] { RunGuarded(&::kt_button3_Click); });
    connect(kt_button4, &kt_button::Click, this, [this] { RunGuarded(&::kt_button4_Click); });
    connect(kt_button11, &kt_button::Click, this, [this] { RunGuarded(&::kt_button11_Click); });
    connect(kt_button12, &kt_button::Click, this, [this] { RunGuarded(&::kt_button12_Click); });
    connect(kt_button15, &kt_button::Click, this, [this] { RunGuarded(&::kt_button15_Click); });

    connect(Trackle1, &Trackle::Change, this, &Form2::Trackle1_Change);
    connect(Trackle5, &Trackle::Change, this, &Form2::Trackle5_Change);
    connect(Trackle6, &Trackle::Change, this, &Form2::Trackle6_Change);
    connect(Trackle7, &Trackle::Change, this, &Form2::Trackle7_Change);
    connect(Trackle8, &Trackle::Change, this, &Form2::Trackle8_Change);
    connect(Trackle2, &Trackle::Change, this, &Form2::Trackle2_Change);
    connect(Trackle3, &Trackle::Change, this, &Form2::Trackle3_Change);
    connect(Trackle4, &Trackle::Change, this, &Form2::Trackle4_Change);

    connect(Picture1, &PictureBox::MouseMove, this, &Form2::Picture1_MouseMove);
    connect(Picker, &PictureBox::MouseMove, this, &Form2::Picker_MouseMove);
    // A click picks as a drag over the same point does; the press alone changes nothing.
    connect(Picture1, &PictureBox::Click, this, &Form2::Picture1_MouseMove);
    connect(Picker, &PictureBox::Click, this, &Form2::Picker_MouseMove);
    Picture1->Paint = [this] { Picture1_Paint(); };
    Picker->Paint = [this] { Picker_Paint(); };
}

void Form2::RunGuarded(void (*handler)()) { RunHandler(this, handler); }

void Form2::DeactivateButtons() {
    kt_button6->setValue(false);
    kt_button7->setValue(false);
    kt_button8->setValue(false);
    kt_button9->setValue(false);
}

// A brush kind sets the blend mode too: Ink and Water brush multiply, Pen and Gel brush paint
// plainly. A mode chosen from the menu afterwards leaves the kind's button down.
void Form2::BrushKind(kt_button* pressed, int32_t curve, int32_t relief, int32_t mode) {
    DeactivateButtons();
    pressed->setValue(true);
    Module1.BrushRelief = relief;
    Module1.BlendMode = mode;
    Module1.BrushCurve = curve;
}

namespace {

// BrushCurve: no response curve, or column 1 or 2 of CoverageCurves. BrushRelief: off or on.
constexpr int32_t kNoCurve = 0, kCurve1 = 1, kCurve2 = 2;
constexpr int32_t kFlat = 0, kRelief = 1;

}  // namespace

// Pen
void Form2::kt_button8_MouseDown(int16_t, int16_t, float, float) {
    BrushKind(kt_button8, kNoCurve, kFlat, kBlendPlain);
}
// Water brush
void Form2::kt_button9_MouseDown(int16_t, int16_t, float, float) {
    BrushKind(kt_button9, kCurve1, kFlat, kBlendMultiply);
}
// Ink
void Form2::kt_button6_MouseDown(int16_t, int16_t, float, float) {
    BrushKind(kt_button6, kCurve2, kFlat, kBlendMultiply);
}
// Gel brush
void Form2::kt_button7_MouseDown(int16_t, int16_t, float, float) {
    BrushKind(kt_button7, kCurve1, kRelief, kBlendPlain);
}

// Only the movement since the press counts on the canvas, so the handle's own coordinates
// serve as canvas coordinates.
void Form2::kt_button13_MouseDown(int16_t Button, int16_t, float X, float Y) {
    RunHandler(this, [&] { Form_MouseDown(Button, kShiftCtrl, X, Y); });
}

// Moves without a button are not passed on: a navigation drag leaves the canvas's ButtonDown
// set, and a hovering pointer would otherwise keep panning or zooming from the old press.
void Form2::kt_button13_MouseMove(int16_t Button, int16_t, float X, float Y) {
    if (Button == 0) return;
    RunHandler(this, [&] { Form_MouseMove(Button, kShiftCtrl, X, Y); });
}

void Form2::kt_button13_MouseUp(int16_t Button, int16_t, float X, float Y) {
    RunHandler(this, [&] { Form_MouseUp(Button, kShiftCtrl, X, Y); });
}

// The zoom handle zooms with any button: it always reports the right one.
void Form2::kt_button14_MouseDown(int16_t, int16_t, float X, float Y) {
    RunHandler(this, [&] { Form_MouseDown(kRightButton, kShiftCtrl, X, Y); });
}

void Form2::kt_button14_MouseMove(int16_t Button, int16_t, float X, float Y) {
    if (Button == 0) return;
    RunHandler(this, [&] { Form_MouseMove(kRightButton, kShiftCtrl, X, Y); });
}

void Form2::kt_button14_MouseUp(int16_t, int16_t, float X, float Y) {
    RunHandler(this, [&] { Form_MouseUp(kRightButton, kShiftCtrl, X, Y); });
}

void Form2::Trackle1_Change() { Module1.BrushSize = static_cast<float>(Trackle1->value()); }
void Form2::Trackle5_Change() { Module1.BrushOpacity = static_cast<float>(Trackle5->value()); }
void Form2::Trackle6_Change() { Module1.StampSpacing = static_cast<float>(Trackle6->value()); }
void Form2::Trackle7_Change() { Module1.PaperStrength = RoundHalfEven(Trackle7->value()); }
void Form2::Trackle8_Change() { Module1.StampStrength = static_cast<float>(Trackle8->value()); }

namespace {

// The brush as the settings store keeps it: the kind by its button's name, the mode by number,
// each slider by its caption.
const char* const kKindKey = "brush/kind";
const char* const kModeKey = "brush/mode";

struct KindEntry {
    const char* name;
    kt_button* Form2::*button;
    void (Form2::*press)(int16_t, int16_t, float, float);
};
const KindEntry kKinds[] = {
    {"pen", &Form2::kt_button8, &Form2::kt_button8_MouseDown},  // the design's kind: first
    {"water brush", &Form2::kt_button9, &Form2::kt_button9_MouseDown},
    {"ink", &Form2::kt_button6, &Form2::kt_button6_MouseDown},
    {"gel brush", &Form2::kt_button7, &Form2::kt_button7_MouseDown},
};

struct SliderEntry {
    const char* key;
    Trackle* Form2::*slider;
    SliderRole role;
};
// The colour last, so that the picker is drawn once the brush is in place.
const SliderEntry kBrushSliders[] = {
    {"brush/size", &Form2::Trackle1, kSizeSlider},
    {"brush/press", &Form2::Trackle8, kPressSlider},
    {"brush/opacity", &Form2::Trackle5, kOpacitySlider},
    {"brush/step", &Form2::Trackle6, kStepSlider},
    {"brush/paper", &Form2::Trackle7, kPaperSlider},
    {"brush/red", &Form2::Trackle2, kRedSlider},
    {"brush/green", &Form2::Trackle3, kGreenSlider},
    {"brush/blue", &Form2::Trackle4, kBlueSlider},
};

}  // namespace

QVariantMap Form2::BrushNow() const {
    QVariantMap now;
    for (const KindEntry& k : kKinds)
        if ((this->*k.button)->value()) now.insert(QLatin1String(kKindKey), QLatin1String(k.name));
    now.insert(QLatin1String(kModeKey), Module1.BlendMode);
    for (const SliderEntry& e : kBrushSliders)
        now.insert(QLatin1String(e.key), (this->*e.slider)->value());
    return now;
}

void Form2::SaveBrush() const {
    // Called after every stroke, so that a process killed later still has the brush it
    // painted with; the store is written only when something changed.
    QVariantMap now = BrushNow();
    if (now == savedBrush_) return;
    const std::unique_ptr<QSettings> store = MarloSettings();
    if (!store) return;
    for (auto v = now.cbegin(); v != now.cend(); ++v) store->setValue(v.key(), v.value());
    savedBrush_ = std::move(now);
}

void Form2::RestoreBrush() {
    const std::unique_ptr<QSettings> kept = MarloSettings();
    if (!kept || !kept->contains(kKindKey)) return;  // never saved: the design values stand
    const QSettings& store = *kept;
    const QString kind = store.value(kKindKey).toString();
    const KindEntry* chosen = &kKinds[0];
    for (const KindEntry& k : kKinds)
        if (kind == k.name) chosen = &k;
    (this->*chosen->press)(0, 0, 0, 0);
    bool ok = false;
    const int mode = store.value(kModeKey).toInt(&ok);
    if (ok && mode >= kBlendPlain && mode <= kBlendXor) Module1.BlendMode = mode;
    for (const SliderEntry& e : kBrushSliders) {
        const SliderDesign& design = DesignOf(e.role);
        const double v = store.value(e.key).toDouble(&ok);
        const double whole = ok && std::isfinite(v) ? std::round(v) : design.start;
        (this->*e.slider)->setValue(std::clamp<double>(whole, design.min, design.max));
    }
    savedBrush_ = BrushNow();
}

void Form2::ResetBrush() {
    (this->*kKinds[0].press)(0, 0, 0, 0);
    for (const SliderEntry& e : kBrushSliders) (this->*e.slider)->setValue(DesignOf(e.role).start);
}
