// Zoom and scroll operations of the canvas window.
#pragma once

// Ctrl with plus or minus (key up). When the new zoom cannot be shown the last zoom that
// worked is restored and MarloError 31001 is raised.
void ZoomKeyIn();
void ZoomKeyOut();
// Zoom 1 with the window's client area the image's size.
void ActualSize();
// The zoom at which the image covers the whole client area (0.25 .. 6), centred.
void FillWindow();
