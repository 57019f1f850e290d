// The change the scripted Marlo of the GIMP tests paints, shared by the client and the test.
#pragma once
#include <algorithm>
#include <cstdint>

#include "core/plane.h"

// Inside x 2..11, y 1..6: red inverted, green and blue from the position.
inline constexpr int kChangeX0 = 2, kChangeY0 = 1, kChangeX1 = 12, kChangeY1 = 7;

inline bool InKnownChange(int x, int y) {
    return x >= kChangeX0 && x < kChangeX1 && y >= kChangeY0 && y < kChangeY1;
}

// The colour the change gives a pixel of colour (r, g, b) at (x, y).
inline void KnownChange(int x, int y, uint8_t* r, uint8_t* g, uint8_t* b) {
    *r = static_cast<uint8_t>(255 - *r);
    *g = static_cast<uint8_t>(x * 23);
    *b = static_cast<uint8_t>(y * 41 + 7);
}

inline void PaintKnownChange(Plane& r, Plane& g, Plane& b) {
    for (int y = kChangeY0; y < std::min(kChangeY1, r.height); ++y)
        for (int x = kChangeX0; x < std::min(kChangeX1, r.width); ++x)
            KnownChange(x, y, &r.at(x, y), &g.at(x, y), &b.at(x, y));
}

// The change GIMP makes to the layer while Marlo paints on it (the layer named kMergeLayer, the
// test's case "merge"; marlo-test-gimp-side carries it out): GIMP's fill with one colour over the
// rows from kGimpSideRow down and the pixel (kGimpSidePixelX, kGimpSidePixelY) inside the known
// change, the layer's alpha kept.
inline constexpr char kMergeLayer[] = "merge";
inline constexpr int kGimpSideRow = 8, kGimpSidePixelX = 5, kGimpSidePixelY = 3;
inline constexpr uint8_t kGimpSideColour[3] = {11, 200, 33};
inline bool InOtherChange(int x, int y) {
    return y >= kGimpSideRow || (x == kGimpSidePixelX && y == kGimpSidePixelY);
}
inline void OtherChange(uint8_t* r, uint8_t* g, uint8_t* b) {
    *r = kGimpSideColour[0];
    *g = kGimpSideColour[1];
    *b = kGimpSideColour[2];
}

// The layer taken out of its image while Marlo paints on it (the case "layer-gone"): the painting
// goes to a rescue copy.
inline constexpr char kGoneLayer[] = "layer-gone";
