// The look-up tables built once at start and read-only afterwards.
#pragma once
#include <cstddef>
#include <cstdint>

// CoverageCurves: 256 x 2 bytes, the two fixed response curves.
void BuildCoverageCurves();
// BlendTable: kBlendLayers layers of 256 x 256 bytes, T(s, d) for blend modes 1..10.
constexpr size_t kBlendLayer = 256 * 256;  // bytes of one layer
constexpr int kBlendLayers = 10;           // modes kBlendAdd .. kBlendXor, layer mode - 1
constexpr size_t kBlendTableSize = kBlendLayer * kBlendLayers;
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
