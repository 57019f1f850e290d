// The Button and Shift values that the palette's controls hand to their handlers: Button is a
// bit set, 1 left, 2 right, 4 middle; Shift is 1 Shift, 2 Ctrl, 4 Alt.
#pragma once
#include <Qt>
#include <cstdint>

inline int16_t ButtonBits(Qt::MouseButtons buttons) {
    int16_t bits = 0;
    if (buttons & Qt::LeftButton) bits |= 1;
    if (buttons & Qt::RightButton) bits |= 2;
    if (buttons & Qt::MiddleButton) bits |= 4;
    return bits;
}

inline int16_t ShiftBits(Qt::KeyboardModifiers modifiers) {
    int16_t bits = 0;
    if (modifiers & Qt::ShiftModifier) bits |= 1;
    if (modifiers & Qt::ControlModifier) bits |= 2;
    if (modifiers & Qt::AltModifier) bits |= 4;
    return bits;
}
