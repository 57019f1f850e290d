// What the display code needs of the canvas window. The Qt canvas implements it; tests and
// the benchmark use plain implementations. Coordinates are client pixels.
#pragma once
#include <string>

class CanvasSurface {
public:
    virtual ~CanvasSurface() = default;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    virtual bool IsVisible() const = 0;
    virtual void SetCaption(const std::string& text) = 0;
    // Show the display bitmap's w x h pixels at (sx, sy) on the window at (dx, dy).
    virtual void BitBlt(int dx, int dy, int w, int h, int sx, int sy) = 0;
    // Fill a rectangle, both corners included, with the window's background colour.
    virtual void FillBackground(int x1, int y1, int x2, int y2) = 0;
    // Resize the window so that its client area is w x h pixels.
    virtual void ResizeClient(int w, int h) = 0;
};
