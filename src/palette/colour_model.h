// Colour arithmetic of the picker, free of any window code: the hexcone conversions between
// red, green, blue and hue, saturation, value, and the rounding the picker uses everywhere.
// Hue is in degrees 0..360; every other quantity is a fraction 0..1 in ordinary use.
#pragma once
#include <cstdint>

#include "core/rounding.h"

// Fills R, G, B (fractions) from Hue (degrees), Saturation and Value. A hue of 360 is the same
// colour as 0; hues outside 0..360 wrap. Saturation above 1 or Value above 1 give channels
// outside 0..1 (possibly negative); callers cap them when they pack a colour. A non-finite
// argument gives black.
void HSV_To_RGB(float& R, float& G, float& B, float Hue, float Saturation, float Value);

// Fills Hue (degrees, 0 <= Hue < 360), Saturation and Value from R, G, B (fractions). A grey
// (all channels equal) has hue 0 and saturation 0; black has value 0 too.
void RGB_To_HSV(float R, float G, float B, float& Hue, float& Saturation, float& Value);

// A window colour 0x00BBGGRR (red in the low byte) from three channels, each rounded half to
// even and capped to 0..255.
uint32_t PackBGR(double red, double green, double blue);
