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

// The change another editor makes to the layer while Marlo paints on it (the layer named
// kMergeLayer, the test's case "merge"): rows 8 and up, and the pixel (5, 3) inside the known
// change.
inline constexpr char kMergeLayer[] = "merge";
inline bool InOtherChange(int x, int y) { return y >= 8 || (x == 5 && y == 3); }
inline void OtherChange(int x, int y, uint8_t* r, uint8_t* g, uint8_t* b) {
    *r = static_cast<uint8_t>(x * 11);
    *g = 200;
    *b = static_cast<uint8_t>(y * 3);
}
