// The paper texture's share of the composite: coverage taken off where the paper is bright.
#pragma once
#include <cstdint>

#include "core/module1.h"

// True when the paper takes part: a strength of at least 1 and a paper that is not empty.
inline bool PaperActive() {
    const Module1State& m = Module1;
    return m.PaperStrength >= 1 && m.PaperWidth > 0 && m.PaperHeight > 0 &&
           m.Paper.sizeIs(m.PaperWidth, m.PaperHeight);
}
