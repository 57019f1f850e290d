// The paper texture's share of the composite: coverage taken off where the paper is bright.
#pragma once
#include <cstdint>

#include "app/module1.h"

// True when the paper takes part: a strength of at least 1 and a paper that is not empty.
inline bool PaperActive() {
    const Module1State& m = Module1;
    return m.PaperStrength >= 1 && m.PaperWidth > 0 && m.PaperHeight > 0 &&
           m.Paper.sizeIs(m.PaperWidth, m.PaperHeight);
}

// Coverage a at image pixel (x, y) after the paper term, floored at 0. x, y >= 0.
inline int ApplyPaper(int a, int32_t x, int32_t y) {
    const Module1State& m = Module1;
    const int p = m.Paper.at(x % m.PaperWidth, y % m.PaperHeight);
    a -= p * m.PaperStrength / 255;
    return a < 0 ? 0 : a;
}
