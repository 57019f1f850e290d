// Every zoom change goes through here: the new zoom and scroll are set and the display bitmap
// is rebuilt; when the bitmap cannot be created the previous view is restored and the error
// (MarloError 31001) is raised again for the handler to report.
#pragma once
#include <cstdint>

void ApplyZoom(float zoom, int32_t scrollX, int32_t scrollY);

// Client position to image position: window pixel X shows image point (X - ScrollX) / Zoom,
// computed in double and held as float. The stroke's points and DrawBrush's step both use it.
float ClientToImageX(double X);
float ClientToImageY(double Y);
