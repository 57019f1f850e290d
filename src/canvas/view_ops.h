// Zoom and scroll operations of the canvas window.
#pragma once
#include <cstdint>

// Ctrl with plus or minus (key up). When the new zoom cannot be shown the last zoom that
// worked is restored and MarloError 31001 is raised.
void ZoomKeyIn();
void ZoomKeyOut();
// Zoom 1 with the window's client area the image's size.
void ActualSize();
// The zoom at which the image covers the whole client area (0.25 .. 6), centred.
void FillWindow();

// The mouse wheel. Zoom to `zoom` keeping the image point under client position (X, Y) where
// it is; the limits are the zoom drag's: below 0.25 it becomes 0.2, above 6 it becomes 6.
void ZoomAbout(float zoom, double X, double Y);
// Scroll the view by (dx, dy) client pixels: the image moves that far right and down.
void ScrollBy(int32_t dx, int32_t dy);
