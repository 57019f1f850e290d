// The brush engine: spline pieces, stamps into the coverage plane, and the composite.
// All of it works on the program state (core/module1.h).
#pragma once
#include <cstdint>

// Value at t of the Catmull-Rom segment from p2 (t = 0) to p3 (t = 1).
float Catmull(float t, float p1, float p2, float p3, float p4);
float p_Catmull(float t, float p1, float p2, float p3, float p4);
float PointDistance(float a, float b, float c, float d);
// The stroke's touched rectangle (DirtyLeft .. DirtyBottom) grows to hold the brush at image
// point (x, y).
void GrowDirtyRect(float x, float y);
// Draws the spline piece that ends at the point before the newest one; X, Y client pixels.
void DrawBrush(float X, float Y);
void AALine(float x0, float y0, float x1, float y1, float Bsize1, float BSize2, int16_t w,
            int16_t H);
// RenderSegment's flags, any combination.
enum RenderFlags : int16_t {
    kPreview = 1,        // composite into the display copy and blit it
    kCommit = 2,         // composite into the image
    kClearCoverage = 4,  // clear the coverage behind the walk
};
void RenderSegment(int16_t flags, float x1, float y1, float x2, float y2);
// One soft round stamp of the given radius centred at (x, y) into an 8-bit coverage buffer.
void AAcpen(uint8_t* buffer, float x, float y, float radius, float value, float strength,
            int32_t width, int32_t height);
