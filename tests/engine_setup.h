// The engine without a host, as the tests and the benchmark start from it.
#pragma once
#include <string>

#include "canvas/canvas_surface.h"

// The program state reset, the tables built, seven planes of w x h bytes 0, the undo history
// empty and limited to 33 steps, the brush at the palette's design values (Size 2, Press 255,
// Opacity 255, Step 15, black), the view attached at zoom 1, no display bitmap yet.
void SetUpEngineState(int w, int h, CanvasSurface* view, const std::string& caption);

// DisplayCopyFollowsImage (canvas/buffers.h) makes the display copy the image.
#include "canvas/buffers.h"
