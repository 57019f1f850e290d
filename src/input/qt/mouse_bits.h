// The Button and Shift values of a Qt mouse event, as the canvas's and the palette's handlers
// take them (the bits are named in input/stroke_capture.h).
#pragma once
#include <Qt>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "input/stroke_capture.h"

// The handlers' bits of the Qt flags set in `flags`, by a table of (Qt flag, bit).
template <typename Flags, typename Flag>
int16_t BitsOf(Flags flags, std::initializer_list<std::pair<Flag, int16_t>> table) {
    int16_t bits = 0;
    for (const auto& [qt, bit] : table)
        if (flags & qt) bits |= bit;
    return bits;
}

inline int16_t ButtonBits(Qt::MouseButtons buttons) {
    return BitsOf<Qt::MouseButtons, Qt::MouseButton>(buttons, {{Qt::LeftButton, kLeftButton},
                                                               {Qt::RightButton, kRightButton},
                                                               {Qt::MiddleButton, kMiddleButton}});
}

inline int16_t ShiftBits(Qt::KeyboardModifiers modifiers) {
    return BitsOf<Qt::KeyboardModifiers, Qt::KeyboardModifier>(modifiers,
                                                               {{Qt::ShiftModifier, kShiftKey},
                                                                {Qt::ControlModifier, kCtrlKey},
                                                                {Qt::AltModifier, kAltKey}});
}
