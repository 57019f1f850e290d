// What RenderSegment does for one piece, in parts, so that DrawBrush can plan the work of all
// the pieces of a pointer move together (draw_brush.cpp).
#pragma once
#include "canvas/display_rects.h"

// Columns x0 .. x1 - 1, rows y0 .. y1 - 1.
struct PixelRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// True when every plane has the image size: RenderSegment does nothing otherwise.
bool PlanesReady();
// The pixels RenderSegment composites for the corners (x1, y1), (x2, y2): the rectangle
// between them widened by the brush radius, clipped to the image.
PixelRect CompositeArea(float x1, float y1, float x2, float y2);
// The update RenderSegment(1, ...) hands to BlitDisplay; false when it blits nothing.
bool PreviewArea(float x1, float y1, float x2, float y2, BlitArea* area);
