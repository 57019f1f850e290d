// libmypaint on the same points: its default brush with the settings the comparison fixes,
// on its fixed tiled surface, one atomic change per pointer move, 1 ms apart.
#include <chrono>
#include <cmath>

#include "stroke_replay.h"

#include <mypaint-brush.h>
#include <mypaint-fixed-tiled-surface.h>

std::vector<double> ReplayMypaint(float radius) {
    using Clock = std::chrono::steady_clock;
    MyPaintFixedTiledSurface* tiled = mypaint_fixed_tiled_surface_new(kCanvasSize, kCanvasSize);
    MyPaintSurface* surface = mypaint_fixed_tiled_surface_interface(tiled);
    MyPaintBrush* brush = mypaint_brush_new();
    mypaint_brush_from_defaults(brush);
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC, std::log(radius));
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_OPAQUE, 1.0f);
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_HARDNESS, 0.8f);
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_DABS_PER_ACTUAL_RADIUS, 1 / 0.15f);
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_DABS_PER_BASIC_RADIUS, 0.0f);
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_COLOR_H, 0.0f);
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_COLOR_S, 0.0f);
    mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_COLOR_V, 0.0f);
    mypaint_brush_new_stroke(brush);

    std::vector<double> moves;
    const std::vector<StrokePoint>& points = SpiralStroke();
    for (size_t i = 0; i < points.size(); ++i) {
        const auto t0 = Clock::now();
        mypaint_surface_begin_atomic(surface);
        mypaint_brush_stroke_to(brush, surface, static_cast<float>(points[i].x),
                                static_cast<float>(points[i].y), points[i].pressure, 0, 0, 0.001);
        MyPaintRectangle roi;
        mypaint_surface_end_atomic(surface, &roi);
        const double us = std::chrono::duration<double>(Clock::now() - t0).count() * 1e6;
        if (i > 0) moves.push_back(us);
    }
    mypaint_brush_unref(brush);
    mypaint_surface_unref(surface);
    return moves;
}
