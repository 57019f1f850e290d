// The look-up tables built once at start and read-only afterwards.
#pragma once
#include <cstdint>

// CoverageCurves: 256 x 2 bytes, the two fixed response curves.
void BuildCoverageCurves();
// BlendTable: 256 x 256 x 10 bytes, T(s, d) for blend modes 1..10.
void BuildBlendTable();

// BlendMode: plain paint, or a layer of BlendTable. Greater and Less keep the lighter and the
// darker of paint and image.
enum BlendModes : int32_t {
    kBlendPlain = 0,
    kBlendAdd = 1,
    kBlendSubtract = 2,
    kBlendMultiply = 3,
    kBlendDivide = 4,
    kBlendScreen = 5,
    kBlendGreater = 6,
    kBlendLess = 7,
    kBlendAnd = 8,
    kBlendOr = 9,
    kBlendXor = 10,
};
