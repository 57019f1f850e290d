// The colour model, the triangle fill and its fallback.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/errors.h"
#include "palette/colour_model.h"
#include "palette/triangle_fill.h"

namespace {

struct HsvCase {
    const char* name;
    float h, s, v;
    float r, g, b;
};

const HsvCase kHsvCases[] = {
    {"red", 0, 1, 1, 1, 0, 0},
    {"yellow", 60, 1, 1, 1, 1, 0},
    {"green", 120, 1, 1, 0, 1, 0},
    {"cyan", 180, 1, 1, 0, 1, 1},
    {"blue", 240, 1, 1, 0, 0, 1},
    {"magenta", 300, 1, 1, 1, 0, 1},
    {"orange_dim", 30, 0.5f, 0.8f, 0.8f, 0.6f, 0.4f},
    {"azure", 210, 0.5f, 0.8f, 0.4f, 0.6f, 0.8f},
    {"grey", 0, 0, 0.5f, 0.5f, 0.5f, 0.5f},
    {"black", 0, 0, 0, 0, 0, 0},
};

TEST(ColourModel, HsvToRgbKnownValues) {
    for (const HsvCase& c : kHsvCases) {
        float r, g, b;
        HSV_To_RGB(r, g, b, c.h, c.s, c.v);
        EXPECT_NEAR(r, c.r, 1e-6) << c.name;
        EXPECT_NEAR(g, c.g, 1e-6) << c.name;
        EXPECT_NEAR(b, c.b, 1e-6) << c.name;
    }
}

TEST(ColourModel, RgbToHsvKnownValues) {
    for (const HsvCase& c : kHsvCases) {
        float h, s, v;
        RGB_To_HSV(c.r, c.g, c.b, h, s, v);
        EXPECT_NEAR(h, c.h, 1e-4) << c.name;
        EXPECT_NEAR(s, c.s, 1e-6) << c.name;
        EXPECT_NEAR(v, c.v, 1e-6) << c.name;
    }
}

TEST(ColourModel, HueOf360IsRedAndHuesWrap) {
    float r, g, b;
    HSV_To_RGB(r, g, b, 360, 1, 1);
    EXPECT_EQ(r, 1.0f);
    EXPECT_EQ(g, 0.0f);
    EXPECT_EQ(b, 0.0f);
    HSV_To_RGB(r, g, b, -120, 1, 1);  // same as 240
    EXPECT_NEAR(b, 1.0f, 1e-6);
    EXPECT_NEAR(r, 0.0f, 1e-6);
    HSV_To_RGB(r, g, b, NAN, 1, 1);
    EXPECT_EQ(r + g + b, 0.0f);
}

TEST(ColourModel, RoundingAndPacking) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(1e12), INT32_MAX);
    EXPECT_EQ(PackBGR(255, 128.5, 0), 0x0080FFu);   // 128.5 rounds to the even 128
    EXPECT_EQ(PackBGR(510, -3, 254.5), 0xFE00FFu);  // capped to 0..255
}

TEST(TriangleFill, ToColor16RaisesOverflowOutsideSixteenBits) {
    EXPECT_EQ(ToColor16(0), 0);
    EXPECT_EQ(ToColor16(65535), 65535);
    for (int32_t bad : {-1, 65536}) {
        try {
            ToColor16(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const MarloError& e) {
            EXPECT_EQ(e.code, kErrOverflow);
        }
    }
}

struct Canvas {
    std::vector<uint32_t> pixels;
    PixelSurface surface;
    Canvas(int w, int h, uint32_t fill = 0xFF123456) : pixels(static_cast<size_t>(w) * h, fill) {
        surface = {pixels.data(), w, h, w};
    }
    // 0xRRGGBB, the surface's own layout
    uint32_t at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * surface.width + x] & 0xFFFFFF;
    }
};

TEST(TriangleFill, CornersAreExactAndShowTheHighByte) {
    // The whole picker triangle of a 81 x 81 box, drawn on a larger surface so that every
    // corner lands on a pixel.
    Canvas c(90, 90);
    GradientFillTriangle(c.surface, TriangleCorners(120, 81, 81));
    EXPECT_EQ(c.at(0, 0), 0xFEFEFEu);    // 65025 per channel shows as 254
    EXPECT_EQ(c.at(0, 81), 0x000000u);   // black corner
    EXPECT_EQ(c.at(81, 40), 0x00FE00u);  // the pure hue: green 255 x 255
    // On the left edge at row 40: 41/81 of the white, 32913 per channel, shows as 128.
    EXPECT_EQ(c.at(0, 40), 0x808080u);
    EXPECT_EQ(c.at(1, 0), 0x123456u);  // outside the triangle: untouched
    EXPECT_EQ(c.at(82, 40), 0x123456u);
}

TEST(TriangleFill, PickerBoxClipsTheOuterCornersAndMaskMatchesTriangle) {
    Canvas picker(81, 81, 0xFF000000), mask(81, 81, 0xFF000000);
    DrawTriangle(picker.surface, 0);
    DrawTriangleMask(mask.surface, 81, 81);
    EXPECT_EQ(picker.at(0, 0), 0xFEFEFEu);
    int inside = 0;
    for (int y = 0; y < 81; ++y)
        for (int x = 0; x < 81; ++x) {
            const bool inMask = mask.at(x, y) != 0;
            inside += inMask;
            // The triangle's pixels are exactly those of the mask (black pixels inside the
            // triangle do not occur away from the black corner, which is clipped).
            if (!inMask) {
                EXPECT_EQ(picker.at(x, y), 0u) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 81 * 81 / 2 - 81);
    EXPECT_EQ(mask.at(80, 40), 0xFEFEFEu);
    EXPECT_EQ(mask.at(80, 0), 0u);
}

TEST(TriangleFill, FallbackShadesRowsAndCapsChannels) {
    Canvas c(81, 81, 0xFF000000);
    FallbackTriangle(c.surface, 81, 81, 0);
    EXPECT_EQ(c.at(0, 0), 0xFFFFFFu);    // saturation 0.0001, value 1
    EXPECT_EQ(c.at(80, 40), 0xFF0000u);  // saturation and value beyond 1: red capped at 255
    EXPECT_EQ(c.at(1, 0), 0u);           // row 0 holds only its first pixel
    Canvas mask(81, 81, 0xFF000000);
    FallbackMask(mask.surface, 81, 81);
    EXPECT_EQ(mask.at(80, 40), 0xFFFFFFu);
    Canvas empty(4, 4, 0xFF000000);
    FallbackTriangle(empty.surface, 0, 4, 0);  // an empty box draws nothing
    FallbackMask(empty.surface, 4, 0);
    EXPECT_EQ(empty.at(0, 0), 0u);
}

}  // namespace
