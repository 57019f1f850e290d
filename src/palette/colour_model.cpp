#include "palette/colour_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

void HSV_To_RGB(float& R, float& G, float& B, float Hue, float Saturation, float Value) {
    if (!std::isfinite(Hue) || !std::isfinite(Saturation) || !std::isfinite(Value)) {
        R = G = B = 0.0f;
        return;
    }
    // Work in doubles so that the sector boundaries (multiples of 60 degrees) land exactly.
    double h = std::fmod(static_cast<double>(Hue), 360.0);
    if (h < 0) h += 360.0;
    h /= 60.0;
    const int sector = std::min(5, static_cast<int>(std::floor(h)));
    const double f = h - sector;
    const double v = Value, s = Saturation;
    const double p = v * (1.0 - s);
    const double q = v * (1.0 - s * f);
    const double t = v * (1.0 - s * (1.0 - f));
    double r = 0, g = 0, b = 0;
    switch (sector) {
        case 0:
            r = v;
            g = t;
            b = p;
            break;
        case 1:
            r = q;
            g = v;
            b = p;
            break;
        case 2:
            r = p;
            g = v;
            b = t;
            break;
        case 3:
            r = p;
            g = q;
            b = v;
            break;
        case 4:
            r = t;
            g = p;
            b = v;
            break;
        default:
            r = v;
            g = p;
            b = q;
            break;
    }
    R = static_cast<float>(r);
    G = static_cast<float>(g);
    B = static_cast<float>(b);
}

void RGB_To_HSV(float R, float G, float B, float& Hue, float& Saturation, float& Value) {
    const double r = R, g = G, b = B;
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    const double delta = mx - mn;
    Value = static_cast<float>(mx);
    Saturation = mx > 0 ? static_cast<float>(delta / mx) : 0.0f;
    if (!(delta > 0)) {  // grey, or a NaN channel
        Hue = 0.0f;
        if (!std::isfinite(Saturation)) Saturation = 0.0f;
        if (!std::isfinite(Value)) Value = 0.0f;
        return;
    }
    double h;
    if (mx == r)
        h = 60.0 * ((g - b) / delta);
    else if (mx == g)
        h = 60.0 * ((b - r) / delta + 2.0);
    else
        h = 60.0 * ((r - g) / delta + 4.0);
    if (h < 0) h += 360.0;
    if (h >= 360.0) h -= 360.0;
    Hue = static_cast<float>(h);
}

uint32_t PackBGR(double red, double green, double blue) {
    auto channel = [](double c) {
        return static_cast<uint32_t>(std::clamp(RoundHalfEven(c), 0, 255));
    };
    return channel(red) | channel(green) << 8 | channel(blue) << 16;
}
