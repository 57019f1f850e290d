// One spline segment of a stroke, drawn as short straight pieces, each composited and shown
// at once so that the stroke follows the pointer.
#include "app/module1.h"
#include "brush/brush.h"

void DrawBrush(float X, float Y) {
    Module1State& m = Module1;
    const int n = m.PointCount;
    if (n < 3) return;
    // The four points n-3 .. n must be rows of the point array.
    if (n >= kStrokeRows || m.StrokePoints.size() < static_cast<size_t>(3 * kStrokeRows)) return;

    // The event position in image pixels, as the pointer code stored the newest point.
    const double zoom = m.Zoom;
    const float ex = static_cast<float>(X / zoom - m.ScrollX / zoom);
    const float ey = static_cast<float>(Y / zoom - m.ScrollY / zoom);
    // About one sample per image pixel of travel, at most ten a segment (plus its start).
    const float dist = PointDistance(ex, ey, m.LastX, m.LastY);
    float step = dist > 0 ? 1 / dist : 1.0f;
    if (dist > 10) step = 0.1f;

    // Segment from point n-2 (t = 0) to n-1 (t = 1); n-3 and n only shape it. step >= 0.1, so
    // the float sum passes 1 after at most eleven samples.
    for (float t = 0; t <= 1; t = t + step) {
        const float sx = p_Catmull(t, m.Stroke(n - 3, 0), m.Stroke(n - 2, 0), m.Stroke(n - 1, 0),
                                   m.Stroke(n, 0));
        const float sy = p_Catmull(t, m.Stroke(n - 3, 1), m.Stroke(n - 2, 1), m.Stroke(n - 1, 1),
                                   m.Stroke(n, 1));
        const float sp = p_Catmull(t, m.Stroke(n - 3, 2), m.Stroke(n - 2, 2), m.Stroke(n - 1, 2),
                                   m.Stroke(n, 2));

        if (sx + m.BrushSize > m.DirtyRight) m.DirtyRight = sx + m.BrushSize;
        if (sx - m.BrushSize < m.DirtyLeft) m.DirtyLeft = sx - m.BrushSize;
        if (sy + m.BrushSize > m.DirtyBottom) m.DirtyBottom = sy + m.BrushSize;
        if (sy - m.BrushSize < m.DirtyTop) m.DirtyTop = sy - m.BrushSize;

        AALine(m.LastX, m.LastY, sx, sy, m.BrushSize * m.LastPressure, sp * m.BrushSize,
               static_cast<int16_t>(m.BufferWidth), static_cast<int16_t>(m.BufferHeight));
        RenderSegment(1, m.LastX, m.LastY, sx, sy);
        m.LastX = sx;
        m.LastY = sy;
        m.LastPressure = sp;
    }
}
