// The canvas window's pointer handlers: paint a stroke, sample a colour, or pan and zoom.
// Button: 1 left, 2 right, 4 middle. Shift: 1 Shift, 2 Ctrl, 4 Alt. X, Y: client pixels,
// replaced by the pen position while a tablet pen is in range.
#pragma once
#include <cstdint>

// Button bits and Shift bits of the pointer handlers.
constexpr int16_t kLeftButton = 1, kRightButton = 2, kMiddleButton = 4;
constexpr int16_t kShiftKey = 1, kCtrlKey = 2, kAltKey = 4;
constexpr int16_t kShiftCtrl = kShiftKey | kCtrlKey;  // exactly Shift and Ctrl: pan and zoom drags
constexpr int16_t kCtrlOnly = kCtrlKey;               // exactly Ctrl: the zoom keys

void Form_MouseDown(int16_t Button, int16_t Shift, float& X, float& Y);
void Form_MouseMove(int16_t Button, int16_t Shift, float& X, float& Y);
void Form_MouseUp(int16_t Button, int16_t Shift, float& X, float& Y);

// Where a colour sample goes: the palette's red, green and blue sliders, then the triangle.
class ColourSampleTarget {
public:
    virtual ~ColourSampleTarget() = default;
    virtual void SetRed(float value) = 0;    // Trackle2.value, runs its change handler
    virtual void SetGreen(float value) = 0;  // Trackle3.value
    virtual void SetBlue(float value) = 0;   // Trackle4.value
    virtual void DrawTriangle() = 0;
};
// Wiring.SampleTarget (core/wiring.h) is null until the palette exists: samples then set
// ColorR, ColorG, ColorB directly, in that order.
