// The fixed scene every measurement uses: a 4096 x 4096 image, a 1920 x 1080 window centred on
// it, the spiral stroke, and the two brushes measured.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "canvas/canvas_surface.h"

constexpr int kCanvasSize = 4096;
constexpr int kWindowWidth = 1920;
constexpr int kWindowHeight = 1080;
constexpr int kStrokePointCount = 2000;

// A window that shows nothing: the display work up to the bitmap is measured, not the screen.
class BenchSurface : public CanvasSurface {
public:
    int ClientWidth() const override { return kWindowWidth; }
    int ClientHeight() const override { return kWindowHeight; }
    bool IsVisible() const override { return true; }
    void SetCaption(const std::string&) override {}
    void BitBlt(int, int, int, int, int, int) override {}
    void FillBackground(int, int, int, int) override {}
    void ResizeClient(int, int) override {}
};

// One point of the stroke, in image pixels, pressure 0..1.
struct StrokePoint {
    double x, y;
    float pressure;
};

// Point i at theta = 0.02 i, r = 200 + 0.5 i about the canvas centre; pressure
// 0.2 + 0.8 (0.5 + 0.5 sin(0.01 i)).
const std::vector<StrokePoint>& SpiralStroke();

enum class BrushKind { Pen, Gel };
const char* BrushName(BrushKind kind);  // "Pen", "Gel brush"

// The engine on a fresh 4096 x 4096 image (a fixed smooth pattern), the brush at the palette's
// design values, the view at zoom centred on the image in the bench window, fully drawn.
void SetUpEngine(float zoom, CanvasSurface* view);
// The settings the palette's brush button and Size slider would make.
void ChooseBrush(BrushKind kind, float radius);

// A 64-bit digest of bytes, to show that two builds produce the same pixels.
uint64_t Digest(const void* data, size_t bytes, uint64_t seed = 0);
