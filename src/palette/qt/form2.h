// Form2: the tool palette ("Tools") beside the canvas window. Its brush buttons and sliders
// write the brush settings of the program state; its lower half is the colour picker, which
// owns the paint colour (ColorR, ColorG, ColorB) and the picker's hue, saturation and value.
// Controls carry the names of the window design; every handler runs on the user-interface
// thread and writes the program state directly.
#pragma once
#include <QImage>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>
#include <cstdint>

#include "canvas/qt/palette_window.h"
#include "input/stroke_capture.h"

class QLabel;
class kt_button;
class Trackle;
class PictureBox;

class Form2 : public QWidget, public PaletteWindow, public ColourSampleTarget {
    Q_OBJECT
    Q_PROPERTY(uint BackColor READ BackColor WRITE setBackColor)
public:
    Form2();
    ~Form2() override;

    // PaletteWindow
    void ShowBeside(QWidget* canvasWindow) override;
    void ShowAgain() override;
    void Hide() override;
    void Close() override;
    float SliderValue(int n) const override;
    void StepSlider(int n, int steps) override;
    QWidget* Widget() override { return this; }
    void ApplyTheme() override;
    void SaveBrush() const override;
    void RestoreBrush() override;
    void ResetBrush() override;

    // ColourSampleTarget: the colour sliders written from outside, then the triangle.
    void SetRed(float value) override;
    void SetGreen(float value) override;
    void SetBlue(float value) override;
    void DrawTriangle() override;

    uint32_t BackColor() const { return backColor_; }  // 0x00BBGGRR
    void setBackColor(uint32_t bgr);

    // Window start: theme, swatch, mask, wallpaper, hue bar, triangle.
    void Form_Load();
    // All four brush-kind buttons up.
    void DeactivateButtons();

    void kt_button6_MouseDown(int16_t Button, int16_t Shift, float X, float Y);  // Ink
    void kt_button7_MouseDown(int16_t Button, int16_t Shift, float X, float Y);  // Gel brush
    void kt_button8_MouseDown(int16_t Button, int16_t Shift, float X, float Y);  // Pen
    void kt_button9_MouseDown(int16_t Button, int16_t Shift, float X, float Y);  // Water brush
    // Drag handles: the canvas's own pointer handlers with Shift and Ctrl held (3).
    void kt_button13_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void kt_button13_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void kt_button13_MouseUp(int16_t Button, int16_t Shift, float X, float Y);
    void kt_button14_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void kt_button14_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void kt_button14_MouseUp(int16_t Button, int16_t Shift, float X, float Y);

    void Trackle1_Change();  // BrushSize
    void Trackle5_Change();  // BrushOpacity
    void Trackle6_Change();  // StampSpacing
    void Trackle7_Change();  // PaperStrength, rounded half to even
    void Trackle8_Change();  // StampStrength
    void Trackle2_Change();  // ColorR
    void Trackle3_Change();  // ColorG
    void Trackle4_Change();  // ColorB

    void GetHSV();
    void SetColor();
    void DrawTriangleMask();
    void Picture1_Paint();
    void Picture1_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void Picker_Paint();
    void Picker_MouseMove(int16_t Button, int16_t Shift, float X, float Y);

    kt_button *kt_button1 = nullptr, *kt_button2 = nullptr, *kt_button3 = nullptr,
              *kt_button4 = nullptr;
    kt_button *kt_button5 = nullptr, *kt_button6 = nullptr, *kt_button7 = nullptr,
              *kt_button8 = nullptr;
    kt_button *kt_button9 = nullptr, *kt_button10 = nullptr, *kt_button11 = nullptr,
              *kt_button12 = nullptr;
    kt_button *kt_button13 = nullptr, *kt_button14 = nullptr, *kt_button15 = nullptr;
    Trackle *Trackle1 = nullptr, *Trackle2 = nullptr, *Trackle3 = nullptr, *Trackle4 = nullptr;
    Trackle *Trackle5 = nullptr, *Trackle6 = nullptr, *Trackle7 = nullptr, *Trackle8 = nullptr;
    PictureBox* Picker = nullptr;    // the colour triangle over the wallpaper
    PictureBox* Picture2 = nullptr;  // hidden: black with the triangle in white
    PictureBox* Picture1 = nullptr;  // the hue bar
    QImage Image1;                   // the host's wallpaper; null without one
    // 255 while the triangle pick writes the sliders, so that GetHSV keeps the hue.
    int32_t HoldHue = 0;

protected:
    void paintEvent(QPaintEvent*) override;  // Form_Paint: back colour, wallpaper, lines
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QVariantMap BrushNow() const;  // what SaveBrush keeps, by settings key
    void BuildControls();
    void ConnectHandlers();
    void BrushKind(kt_button* pressed, int32_t curve, int32_t relief, int32_t mode);
    void ColourSliderChanged(float& channel, const Trackle* slider);
    void RunGuarded(void (*handler)());
    void MoveBeside(QWidget* canvas);

    uint32_t backColor_ = 0x808080;
    bool closing_ = false;              // Close() was called: the window really closes
    QPointer<QWidget> placeAfterShow_;  // a canvas not yet shown when the palette was
    QPoint lastPlace_;                  // the tool window's frame position when last hidden
    mutable QVariantMap savedBrush_;    // the brush as the settings store last took it
    bool placed_ = false;
};
