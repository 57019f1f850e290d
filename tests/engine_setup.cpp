#include "app/engine_reset.h"
#include "engine_setup.h"

#include "core/module1.h"
#include "brush/tables.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"

void SetUpEngineState(int w, int h, CanvasSurface* view, const std::string& caption) {
    ResetEngine();
    Dibs.View = view;
    Module1State& m = Module1;
    m.UndoLimit = 32;
    BuildCoverageCurves();
    BuildBlendTable();
    m.BufferWidth = w;
    m.BufferHeight = h;
    AllocateBuffers();
    m.BrushSize = 2;
    m.StampStrength = 255;
    m.BrushOpacity = 255;
    m.StampSpacing = 15;
    m.CaptionText = caption;
}

