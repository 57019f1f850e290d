#include "engine_setup.h"
#include "app/engine_reset.h"

#include "brush/tables.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "palette/slider_roles.h"

void SetUpEngineState(int w, int h, CanvasSurface* view, const std::string& caption) {
    ResetEngine();
    Dibs.View = view;
    Module1State& m = Module1;
    m.UndoLimit = kUndoLimit;
    BuildCoverageCurves();
    BuildBlendTable();
    m.BufferWidth = w;
    m.BufferHeight = h;
    AllocateBuffers();
    m.BrushSize = DesignOf(kSizeSlider).start;
    m.StampStrength = DesignOf(kPressSlider).start;
    m.BrushOpacity = DesignOf(kOpacitySlider).start;
    m.StampSpacing = DesignOf(kStepSlider).start;
    m.CaptionText = caption;
}
