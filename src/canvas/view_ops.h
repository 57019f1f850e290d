// Zoom and scroll operations of the canvas window.
#pragma once
#include <cstdint>

// The scroll is kept within -kScrollLimit .. kScrollLimit client pixels by the wheel's zoom and
// scroll, far inside 32 bits.
constexpr int32_t kScrollLimit = int32_t{1} << 30;

// Ctrl with plus or minus (key up), within kLeastZoom .. kMostZoom. When the new zoom cannot be
// shown the last zoom that worked is restored and MarloError kErrOutOfMemory is raised.
void ZoomKeyIn();
void ZoomKeyOut();
// The zoom an image of w x h pixels opens at in a client area of at most roomW x roomH: 1 when
// it fits, else the first zoom-out step of the zoom keys at which the whole image fits, at
// least kLeastZoom (a larger image is then panned).
float OpeningZoom(int32_t w, int32_t h, int32_t roomW, int32_t roomH);
// Zoom 1 with the window's client area the image's size.
void ActualSize();
// The zoom at which the image covers the whole client area (kLeastZoom .. kMostZoom), centred.
void FillWindow();

// The mouse wheel. Zoom to `zoom` keeping the image point under client position (X, Y) where
// it is; the limits are the zoom drag's (canvas/zoom.h).
void ZoomAbout(float zoom, double X, double Y);
// Scroll the view by (dx, dy) client pixels: the image moves that far right and down.
void ScrollBy(int32_t dx, int32_t dy);
