// Every zoom change goes through here: the new zoom and scroll are set and the display bitmap
// is rebuilt; when the bitmap cannot be created the previous view is restored and the error
// (MarloError kErrOutOfMemory) is raised again for the handler to report.
#pragma once
#include <cstdint>

// The zoom's design values. One step of the zoom keys and of a mouse-wheel notch.
constexpr float kZoomStep = 0.25f;
// Fit to window keeps the zoom within least .. most. A zoom drag or the wheel going below the
// least lands on kDragLeastZoom, above the most on the most. The zoom keys stop zooming out at
// the least and zooming in at the most, as the wheel and the drag do.
constexpr float kLeastZoom = 0.25f;
constexpr float kMostZoom = 6.0f;
constexpr float kDragLeastZoom = 0.2f;
// Client pixels of horizontal movement that change the zoom of a zoom drag by 1.
constexpr float kZoomDragPixels = 200.0f;

void ApplyZoom(float zoom, int32_t scrollX, int32_t scrollY);

// Client position to image position: window pixel X shows image point (X - ScrollX) / Zoom,
// computed in double and held as float. The stroke's points and DrawBrush's step both use it.
float ClientToImageX(double X);
float ClientToImageY(double Y);
