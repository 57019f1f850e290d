// Images for the undo memory figures: one with a photograph's statistics and one painted.
#pragma once
#include <cstdint>

#include "core/plane.h"

// Smooth light over the frame, textures at four scales, colour that drifts between regions,
// and sensor noise of a few levels in each channel: what a photograph looks like to a
// compressor. w x h planes, the same for the same seed.
void FillPhotoLike(Plane& r, Plane& g, Plane& b, int w, int h, uint32_t seed);

// A white sheet with a few hundred strokes of flat colour and soft edges, some wide, most thin.
void FillPainted(Plane& r, Plane& g, Plane& b, int w, int h, uint32_t seed);
