// Scales three byte planes into a 32-bit display bitmap (blue, green, red, 0).
// Writes every display pixel whose image point (X / zoom, Y / zoom) lies in columns x1..x2-1
// and rows y1..y2-1, and nothing outside the bitmap. Zoom 1 copies exactly, above 1 the
// colour is interpolated bilinearly, below 1 it is the average of the covered image pixels.
#pragma once
#include <cstdint>
#include <vector>

void p_smoothblit(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits, int32_t x1,
                  int32_t y1, int32_t x2, int32_t y2, int32_t widthPlus1, int32_t heightPlus1,
                  int32_t displayWidth, int32_t displayHeight, int32_t rowPixels, float zoom);

struct Rect;
// The display pixels of target (the SmoothBlitTarget of image area, zoom above 1) widened by
// those whose colour the bilinear taps take partly from area: the pixels just outside the
// area's edges, which blend its first or last column or row. w, h: the image's size; dw, dh:
// the display's. Below zoom 2 and at the image's edges there may be none.
Rect SmoothBlitReach(const Rect& target, const Rect& area, int32_t w, int32_t h, int32_t dw,
                     int32_t dh, float zoom);

// The bilinear scaling's working memory, kept from update to update in Dibs.Bilinear: the
// taps per display column and row for the current zoom, and two source rows scaled across.

struct Tap {
    int32_t i0, i1;  // neighbouring source indices
    int32_t w1;      // weight of i1, 0..256, rounded to nearest (halves to even)
};

// The taps of display columns (or rows) 0 .. size - 1 for one zoom and image size, kept
// while those stay the same: the division per tap is then paid once per zoom.
struct TapTable {
    double zoom = 0;
    int32_t n = 0;
    std::vector<Tap> taps;

    const Tap* Through(int32_t end, double z, int32_t count);
};

// Display columns X0 .. X1 - 1 of one update. A source row becomes a horizontal row,
// top = p(i0) x (256 - w1) + p(i1) x w1 per display column and channel (at most 255 x 256),
// held as floats: they hold these integers, their products with a weight and the sums of two
// such products plus 32768 exactly (all below 2^24), so the float arithmetic is exact.
struct Columns {
    int32_t X0 = 0, X1 = 0;
    int32_t first = 0, last = 0;  // the source columns the taps reach
    std::vector<int32_t> index;   // i0 - first
    std::vector<float> w0, w1;    // 256 - w1 and w1
    int phases = 0;  // 4 or 2 when every column follows the pattern of that integer zoom
    // Per group of eight columns from X0, each column's index less the group's first: when
    // every group spans at most seven source columns (magnified by more than 8/7), eight
    // columns are scaled at a time from eight source values and the eight after them.
    std::vector<int32_t> offset;
    bool groupsOfEight = false;

    void Set(const Tap* taps, int32_t x0, int32_t x1, float zoom);
};

struct HorizontalRow {
    int32_t source = -1;
    std::vector<float> channel[3];
};

struct BilinearScratch {
    TapTable colTaps, rowTaps;
    Columns cols;
    HorizontalRow rows[2];
    std::vector<float> source;
    const uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    int32_t w = 0;

    // The horizontal row of source row s, computed unless one of the two slots holds it;
    // the slot holding keep is not taken.
    const HorizontalRow& Row(int32_t s, const HorizontalRow* keep);
    // Room for the update's columns, made once per update rather than once per row.
    void Size();
};
