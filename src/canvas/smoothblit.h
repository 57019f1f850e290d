// Scales three byte planes into a 32-bit display bitmap (blue, green, red, 0).
// Writes every display pixel whose image point (X / zoom, Y / zoom) lies in columns x1..x2-1
// and rows y1..y2-1, and nothing outside the bitmap. Zoom 1 copies exactly, above 1 the
// colour is interpolated bilinearly, below 1 it is the average of the covered image pixels.
#pragma once
#include <cstdint>

void p_smoothblit(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits, int32_t x1,
                  int32_t y1, int32_t x2, int32_t y2, int32_t widthPlus1, int32_t heightPlus1,
                  int32_t displayWidth, int32_t displayHeight, int32_t rowPixels, float zoom);
