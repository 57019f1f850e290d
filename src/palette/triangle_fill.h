// The colour triangle's drawing, free of any window code: a three-corner gradient fill over a
// 32-bit pixel surface, the per-pixel shading used when the fill cannot run, and the white mask
// that tells which points of the picker box belong to the triangle.
#pragma once
#include <array>
#include <cstdint>

// A corner of a gradient triangle. Channels are 16-bit: an 8-bit level times 255, so full
// intensity is 65025, which shows as 254 (the high byte). Alpha is always 0.
struct TriVertex {
    int32_t x = 0;
    int32_t y = 0;
    uint16_t Red = 0;
    uint16_t Green = 0;
    uint16_t Blue = 0;
    uint16_t Alpha = 0;
};

// Pixels are 0xFFRRGGBB (opaque, the layout of a 32-bit display image); stride is in pixels.
struct PixelSurface {
    uint32_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;

    void SetPixel(int32_t x, int32_t y, uint32_t bgr);  // bgr is 0x00BBGGRR; clipped
};

// A 16-bit channel from an integer; throws MarloError kErrOverflow outside 0..65535.
uint16_t ToColor16(int32_t value);

// Fills every pixel whose integer position lies inside or on the edge of the triangle with
// the corners' colours interpolated linearly; a corner pixel gets exactly its corner's colour.
// Each 16-bit result shows as its high byte. Throws MarloError kErrOverflow for corners beyond
// +-2^20, where the integer interpolation could overflow.
void GradientFillTriangle(PixelSurface& surface, const std::array<TriVertex, 3>& corners);

// The picker triangle of a box w x h for a hue (degrees): white at (0, 0), black at (0, h), the
// pure hue at (w, h/2 rounded).
std::array<TriVertex, 3> TriangleCorners(int32_t hue, int32_t w, int32_t h);

// The per-pixel shading of the same rows: saturation rises to the right and down, value falls
// towards the bottom; channels beyond 255 are capped. Draws nothing for an empty box.
void FallbackTriangle(PixelSurface& surface, int32_t w, int32_t h, int32_t hue);
// The same rows and spans in white.
void FallbackMask(PixelSurface& surface, int32_t w, int32_t h);

// The triangle for a hue into a box of the surface's size: the gradient fill, or the per-pixel
// shading when the fill raises an error.
void DrawTriangle(PixelSurface& picker, int32_t hue);
// The white triangle of a w x h picker box into the mask surface, whatever the mask's size.
void DrawTriangleMask(PixelSurface& mask, int32_t w, int32_t h);
