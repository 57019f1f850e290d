#include "input/stroke_capture.h"

#include <cmath>
#include <limits>

#include "brush/brush.h"
#include "brush/commit_stroke.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "canvas/undo.h"
#include "canvas/zoom.h"
#include "core/module1.h"
#include "core/rounding.h"
#include "core/wiring.h"

namespace {

float ImageX(float X) { return ClientToImageX(X); }
float ImageY(float Y) { return ClientToImageY(Y); }

// While a tablet pen is in range the pointer takes the pen's sub-pixel position.
void PenSubstitution(float& X, float& Y) {
    if (Module1.TabletPresent && Module1.PenInProximity) {
        X = Module1.PenX;
        Y = Module1.PenY;
    }
}

void GrowDirty(float X, float Y) { GrowDirtyRect(ImageX(X), ImageY(Y)); }

void AppendPoint(float X, float Y) {
    Module1State& m = Module1;
    m.PointCount = m.PointCount + 1;
    if (m.PointCount >= kStrokeRows) m.PointCount = 0;
    m.SetStrokePoint(m.PointCount, ImageX(X), ImageY(Y), m.PenPressure);
}

void ColourSample(float X, float Y) {
    const Module1State& m = Module1;
    const double cx = (static_cast<double>(X) - m.ScrollX) / m.Zoom;
    const double y = (static_cast<double>(Y) - m.ScrollY) / m.Zoom;
    if (!std::isfinite(cx) || !std::isfinite(y)) return;
    const double column = std::nearbyint(cx);
    if (!(column >= 0 && column < m.BufferWidth && y >= 0 && y < m.BufferHeight)) return;
    const double row = std::nearbyint(y);
    if (!(row < m.BufferHeight)) return;
    const auto c = static_cast<int32_t>(column), r = static_cast<int32_t>(row);
    const uint8_t red = m.RPlane.at(c, r), green = m.GPlane.at(c, r), blue = m.BPlane.at(c, r);
    if (ColourSampleTarget* target = Wiring.SampleTarget) {
        target->SetRed(red);
        target->SetGreen(green);
        target->SetBlue(blue);
        target->DrawTriangle();
    } else {
        Module1.ColorR = red;
        Module1.ColorG = green;
        Module1.ColorB = blue;
    }
}

}  // namespace

void Form_MouseDown(int16_t Button, int16_t Shift, float& X, float& Y) {
    Module1State& m = Module1;
    PenSubstitution(X, Y);
    if (m.TabletPresent && !m.PenInProximity) m.PenPressure = 1.0f;
    if (Button == 0) return;
    m.PressX = X;
    m.PressY = Y;
    m.PressScrollX = static_cast<float>(m.ScrollX);
    m.PressZoom = m.Zoom;
    m.PressScrollY = static_cast<float>(m.ScrollY);
    m.ButtonDown = kTrue;
    if (Shift == kShiftCtrl) return;
    if (m.PickMode) {
        ColourSample(X, Y);
        return;
    }
    m.PointCount = 0;
    const float x = ImageX(X), y = ImageY(Y);
    m.DirtyLeft = x - m.BrushSize;
    m.DirtyTop = y - m.BrushSize;
    m.DirtyRight = x + m.BrushSize;
    m.DirtyBottom = y + m.BrushSize;
    m.LastX = x;
    m.LastY = y;
    m.SetStrokePoint(0, x, y, m.PenPressure);
    m.LastPressure = m.PenPressure;
}

void Form_MouseMove(int16_t Button, int16_t Shift, float& X, float& Y) {
    Module1State& m = Module1;
    PenSubstitution(X, Y);
    if (!m.ButtonDown) return;
    GrowDirty(X, Y);
    if (Shift == kShiftCtrl) {
        if (Button == kLeftButton) {
            m.ScrollX = RoundHalfEven(X + m.PressScrollX - m.PressX);
            m.ScrollY = RoundHalfEven(Y + m.PressScrollY - m.PressY);
        } else if (Button == kRightButton) {
            // Horizontal movement changes the zoom, about the image centre.
            float zoom = m.PressZoom + (X - m.PressX) / kZoomDragPixels;
            if (zoom < kLeastZoom) zoom = kDragLeastZoom;
            if (zoom > kMostZoom) zoom = kMostZoom;
            const int32_t sx = RoundHalfEven(
                m.PressScrollX - static_cast<double>(zoom - m.PressZoom) * m.BufferWidth / 2.0);
            const int32_t sy = RoundHalfEven(
                m.PressScrollY - static_cast<double>(zoom - m.PressZoom) * m.BufferHeight / 2.0);
            ApplyZoom(zoom, sx, sy);
        }
        displaybuffers();
        return;
    }
    if (!m.PickMode) {
        AppendPoint(X, Y);
        if (Button != 0 && m.PointCount >= 3) DrawBrush(X, Y);
    } else if (Button != 0) {
        ColourSample(X, Y);
    }
}

void Form_MouseUp(int16_t Button, int16_t Shift, float& X, float& Y) {
    Module1State& m = Module1;
    (void)Button;
    PenSubstitution(X, Y);
    if (Shift == kShiftCtrl) return;
    if (m.PickMode) {
        ColourSample(X, Y);
        return;
    }
    AppendPoint(X, Y);
    DrawBrush(X, Y);
    m.ButtonDown = kFalse;
    GrowDirty(X, Y);
    m.DirtyLeft -= 0.5f;
    m.DirtyTop -= 0.5f;
    m.DirtyRight += 0.5f;
    m.DirtyBottom += 0.5f;
    // Undo save, merge into the image and coverage clear, in one pass.
    CommitStroke(m.DirtyLeft, m.DirtyTop, m.DirtyRight, m.DirtyBottom);
}
