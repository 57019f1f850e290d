// The display bitmap: the image scaled by Zoom, 32 bits a pixel (blue, green, red, unused),
// rows of biWidth pixels (a multiple of 4), top row first. The zoomed image is DisplayWidth x
// DisplayHeight pixels and is shown at (ScrollX, ScrollY); the bitmap holds only the part of it
// the window shows (Held, in display pixels), so that its memory follows the window's size
// whatever the zoom. Without a window it holds the whole zoomed image.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/rect.h"

#include "canvas/canvas_surface.h"
#include "canvas/smoothblit.h"
#include "core/plane.h"

struct BitmapInfoHeader {
    int32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // negative: rows run top-down
    int16_t biPlanes = 0;
    int16_t biBitCount = 0;
    int32_t biCompression = 0;
    int32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    int32_t biClrUsed = 0;
    int32_t biClrImportant = 0;
};

// The bitmap's pixels, zeroed. They come from calloc, which takes large blocks straight from the
// system as untouched zero pages: memory is committed only where something is drawn.
class DisplayPixels {
public:
    // n zeroed pixels; false (and empty) when memory runs out.
    bool Make(size_t n);
    void Clear() {
        pixels_.reset();
        n_ = 0;
    }
    uint32_t* data() { return pixels_.get(); }
    size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    uint32_t* begin() { return pixels_.get(); }
    uint32_t* end() { return pixels_.get() + n_; }
    uint32_t& operator[](size_t i) { return pixels_[i]; }

private:
    struct Free {
        void operator()(uint32_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint32_t[], Free> pixels_;
    size_t n_ = 0;
};

struct DibsState {
    uint32_t* DisplayBits = nullptr;
    BitmapInfoHeader DisplayInfo;
    intptr_t DisplayBitmap = 0;  // non-zero while a bitmap exists
    intptr_t DisplayDC = 0;      // non-zero while a bitmap exists
    int32_t DisplayWidth = 0;    // floor(BufferWidth x Zoom)
    int32_t DisplayHeight = 0;   // floor(BufferHeight x Zoom)
    // The display pixels the bitmap holds: DisplayBits is display pixel (Held.x0, Held.y0).
    // Empty when the window shows none of the image.
    Rect Held;
    DisplayPixels Storage;
    CanvasSurface* View = nullptr;  // the canvas window; null before it exists
    // The largest bitmap we try to make: what a QImage can address.
    double MaxBitmapBytes = 2147483647.0;
    // The magnified scaling's working memory (taps and scaled rows), kept from update to update.
    BilinearScratch Bilinear;
};

extern DibsState Dibs;

// The caption names the zoom: the caption text, " zoom = " and the zoom in whole percent.
void ShowZoomCaption();
// (Re)creates the bitmap for the current Zoom; throws MarloError kErrOutOfMemory when it cannot.
void CreateDisplayBitmap();
// Display pixel (X, Y) of the zoomed image in the bitmap; null when the bitmap does not hold it.
uint32_t* DisplayPixelAt(int32_t X, int32_t Y);
void DeleteDisplayBitmap();
// Renders columns x1..x2 and rows y1..y2 (inclusive) of the planes into the bitmap and shows them.
void BlitDisplay(const Plane& r, const Plane& g, const Plane& b, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2);
// Full redraw: the background around the image, then the whole working image.
void displaybuffers();
// The window system's repaint request: the whole working image, without the background.
void Form_Paint();
