// What RenderSegment does for one piece, in parts, so that DrawBrush can lay the stamps and
// composites of all the pieces of a pointer move together (draw_brush.cpp).
#pragma once
#include "core/rect.h"

// True when every plane has the image size: RenderSegment does nothing otherwise.
bool PlanesReady();
// The pixels RenderSegment composites for the corners (x1, y1), (x2, y2): the rectangle
// between them widened by the brush radius, clipped to the image.
Rect CompositeArea(float x1, float y1, float x2, float y2);
// The image area RenderSegment(1, ...) shows (its update to BlitDisplay, half-open); false
// when it shows nothing.
bool PreviewArea(float x1, float y1, float x2, float y2, Rect* area);
