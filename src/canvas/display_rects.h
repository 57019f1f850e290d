// The parts p_smoothblit and BlitDisplay are made of, for a caller that renders only part of an
// update: which display pixels an image rectangle maps to, and the rendering of any rectangle
// of display pixels exactly as a whole update would render them. Image rectangles here are
// half-open: BlitDisplay (r, g, b, x1, y1, x2, y2) is the area {x1, y1, x2 + 1, y2 + 1}.
#pragma once
#include <cstdint>

#include "core/plane.h"
#include "core/rect.h"

// The display pixels p_smoothblit writes for these arguments (those of p_smoothblit).
Rect SmoothBlitTarget(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t widthPlus1,
                      int32_t heightPlus1, int32_t displayWidth, int32_t displayHeight,
                      int32_t rowPixels, float zoom);
// Writes the display pixels of rect (part of a SmoothBlitTarget) as p_smoothblit writes them,
// into a bitmap whose first pixel is display pixel (originX, originY), rows of rowPixels.
void SmoothBlitPixels(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits,
                      int32_t widthPlus1, int32_t heightPlus1, int32_t rowPixels, float zoom,
                      const Rect& rect, int32_t originX, int32_t originY);
// The image pixels (of an image w x h) that the display pixels of rect blend at this zoom.
Rect SmoothBlitSource(const Rect& rect, int32_t w, int32_t h, float zoom);

// The part of area that BlitDisplay renders, after its clipping to the image and the window;
// false when it renders nothing.
bool ShownArea(const Plane& r, const Plane& g, const Plane& b, const Rect& area, Rect* shown);
// The display pixels BlitDisplay renders for area.
Rect BlitTarget(const Plane& r, const Plane& g, const Plane& b, const Rect& area);
// Before a piece of a stroke is shown: the bitmap follows the window, and when it moved, all
// it now holds is rendered from these planes.
void FollowWindow(const Plane& r, const Plane& g, const Plane& b);
// The display pixels of d that the bitmap holds, rendered from the planes as BlitDisplay
// renders them.
void RenderDisplay(const Plane& r, const Plane& g, const Plane& b, const Rect& d);
// The window told of area exactly as BlitDisplay tells it, nothing rendered.
void TellWindow(const Plane& r, const Plane& g, const Plane& b, const Rect& area);
