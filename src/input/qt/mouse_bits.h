// The Button and Shift values of a Qt mouse event, as the canvas's and the palette's handlers
// take them (the bits are named in input/stroke_capture.h).
#pragma once
#include <Qt>
#include <cstdint>

#include "input/stroke_capture.h"

inline int16_t ButtonBits(Qt::MouseButtons buttons) {
    int16_t bits = 0;
    if (buttons & Qt::LeftButton) bits |= kLeftButton;
    if (buttons & Qt::RightButton) bits |= kRightButton;
    if (buttons & Qt::MiddleButton) bits |= kMiddleButton;
    return bits;
}

inline int16_t ShiftBits(Qt::KeyboardModifiers modifiers) {
    int16_t bits = 0;
    if (modifiers & Qt::ShiftModifier) bits |= kShiftKey;
    if (modifiers & Qt::ControlModifier) bits |= kCtrlKey;
    if (modifiers & Qt::AltModifier) bits |= kAltKey;
    return bits;
}
