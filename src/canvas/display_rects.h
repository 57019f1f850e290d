// The parts p_smoothblit and BlitDisplay are made of, for a caller that renders only part of an
// update: which display pixels an image rectangle maps to, and the rendering of any rectangle
// of display pixels exactly as a whole update would render them.
#pragma once
#include <cstdint>

#include "canvas/plane.h"

// Display pixels X0 .. X1 - 1, rows Y0 .. Y1 - 1.
struct DisplayRect {
    int32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    bool empty() const { return X1 <= X0 || Y1 <= Y0; }
};

// The display pixels p_smoothblit writes for these arguments (those of p_smoothblit).
DisplayRect SmoothBlitTarget(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t widthPlus1,
                             int32_t heightPlus1, int32_t displayWidth, int32_t displayHeight,
                             int32_t rowPixels, float zoom);
// Writes the pixels of rect (part of a SmoothBlitTarget) as p_smoothblit writes them.
void SmoothBlitPixels(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits,
                      int32_t widthPlus1, int32_t heightPlus1, int32_t rowPixels, float zoom,
                      const DisplayRect& rect);

// An update as BlitDisplay takes it: the first and last image column and row.
struct BlitArea {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// The part of area that BlitDisplay (r, g, b, area) renders, after its clipping to the image
// and the window; false when it renders nothing.
bool ShownArea(const Plane& r, const Plane& g, const Plane& b, const BlitArea& area, BlitArea* shown);
// The display pixels BlitDisplay (r, g, b, area) renders.
DisplayRect BlitTarget(const Plane& r, const Plane& g, const Plane& b, const BlitArea& area);
// BlitDisplay (r, g, b, area), except that display pixels which a later update renders again
// (laterTargets: their BlitTarget) are left to it: each pixel is rendered once, by the last
// update that shows it, from the planes as they are then. The window is told of area exactly
// as BlitDisplay does.
void BlitDisplayBefore(const Plane& r, const Plane& g, const Plane& b, const BlitArea& area,
                       const DisplayRect* laterTargets, int laterCount);
