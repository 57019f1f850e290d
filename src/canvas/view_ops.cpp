#include "canvas/view_ops.h"

#include <algorithm>
#include <cmath>

#include "canvas/dibs.h"
#include "canvas/zoom.h"
#include "core/errors.h"
#include "core/module1.h"

float ClientToImageX(double X) { return static_cast<float>((X - Module1.ScrollX) / Module1.Zoom); }
float ClientToImageY(double Y) { return static_cast<float>((Y - Module1.ScrollY) / Module1.Zoom); }

void ApplyZoom(float zoom, int32_t scrollX, int32_t scrollY) {
    Module1State& m = Module1;
    const float oldZoom = m.Zoom;
    const int32_t oldX = m.ScrollX, oldY = m.ScrollY;
    m.Zoom = zoom;
    m.ScrollX = scrollX;
    m.ScrollY = scrollY;
    try {
        CreateDisplayBitmap();
    } catch (const MarloError& e) {
        // Keep the last zoom that worked: the view comes back as it was, nothing is lost.
        m.Zoom = oldZoom;
        m.ScrollX = oldX;
        m.ScrollY = oldY;
        try {
            CreateDisplayBitmap();
            displaybuffers();
        } catch (const MarloError&) {
        }
        // The caption named the zoom that failed; name the one in effect again.
        ShowZoomCaption();
        throw MarloError(e.code,
                         "The view cannot be zoomed any further: there is not enough memory "
                         "for the display at that zoom.");
    }
}

void ZoomKeyIn() {
    const Module1State& m = Module1;
    if (m.Zoom < kMostZoom) {
        ApplyZoom(std::min(m.Zoom + kZoomStep, kMostZoom), m.ScrollX, m.ScrollY);
        displaybuffers();
    }
}

float OpeningZoom(int32_t w, int32_t h, int32_t roomW, int32_t roomH) {
    // The zoom-out steps of the zoom keys, 1 - n x kZoomStep, down to the least.
    float zoom = 1.0f;
    while (zoom - kZoomStep >= kLeastZoom && (std::floor(static_cast<double>(w) * zoom) > roomW ||
                                              std::floor(static_cast<double>(h) * zoom) > roomH))
        zoom -= kZoomStep;
    return zoom;
}

void ZoomKeyOut() {
    const Module1State& m = Module1;
    if (m.Zoom > kLeastZoom) {
        ApplyZoom(m.Zoom - kZoomStep, m.ScrollX, m.ScrollY);
        displaybuffers();
    }
}

void ActualSize() {
    const Module1State& m = Module1;
    if (Dibs.View) Dibs.View->ResizeClient(m.BufferWidth, m.BufferHeight);
    ApplyZoom(1.0f, 0, 0);
    displaybuffers();
}

void FillWindow() {
    const Module1State& m = Module1;
    if (!Dibs.View || m.BufferWidth <= 0 || m.BufferHeight <= 0) return;
    const double cw = Dibs.View->ClientWidth(), ch = Dibs.View->ClientHeight();
    const double W = m.BufferWidth, H = m.BufferHeight;
    float zoom = static_cast<float>(std::max((cw - W) / W + 1, (ch - H) / H + 1));
    if (zoom < kLeastZoom) zoom = kLeastZoom;
    if (zoom > kMostZoom) zoom = kMostZoom;
    const auto sx = static_cast<int32_t>(std::nearbyint(cw / 2 - W * zoom / 2));
    const auto sy = static_cast<int32_t>(std::nearbyint(ch / 2 - H * zoom / 2));
    ApplyZoom(zoom, sx, sy);
    displaybuffers();
}

void ZoomAbout(float zoom, double X, double Y) {
    const Module1State& m = Module1;
    if (!std::isfinite(zoom) || !std::isfinite(X) || !std::isfinite(Y)) return;
    if (zoom < kLeastZoom) zoom = kDragLeastZoom;
    if (zoom > kMostZoom) zoom = kMostZoom;
    if (zoom == m.Zoom) return;
    // The image point under (X, Y) before the change is under it after.
    const double ix = (X - m.ScrollX) / m.Zoom, iy = (Y - m.ScrollY) / m.Zoom;
    const double sx = std::nearbyint(X - ix * zoom), sy = std::nearbyint(Y - iy * zoom);
    constexpr double kLimit = kScrollLimit;
    ApplyZoom(zoom, static_cast<int32_t>(std::clamp(sx, -kLimit, kLimit)),
              static_cast<int32_t>(std::clamp(sy, -kLimit, kLimit)));
    displaybuffers();
}

void ScrollBy(int32_t dx, int32_t dy) {
    Module1State& m = Module1;
    if (dx == 0 && dy == 0) return;
    constexpr int64_t kLimit = kScrollLimit;
    m.ScrollX = static_cast<int32_t>(std::clamp(int64_t{m.ScrollX} + dx, -kLimit, kLimit));
    m.ScrollY = static_cast<int32_t>(std::clamp(int64_t{m.ScrollY} + dy, -kLimit, kLimit));
    displaybuffers();
}
