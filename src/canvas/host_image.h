// The host's image as Marlo last fetched or wrote it (Module1.HostImage), and the merge that
// writes back only what the painter changed: a pixel the painter changed (the canvas differs
// from the remembered image in any channel) takes the canvas's colour, every other pixel the
// host's colour as the host has it now.
#pragma once
#include "core/packed_plane.h"
#include "core/plane.h"

// Files the canvas's planes as they are now as the host's image: at start, after Get image and
// after each write-back. The copies are plain until the idle turns compress them (PackUndo).
void RememberHostImage();
// Whether the canvas differs from the remembered image; true when none of the canvas's size is
// held (every pixel then counts as the painter's).
bool PaintedSinceHostImage();

struct PaintingMerge {
    bool hostChanged = false;  // the host changed pixels the painter left alone
    bool overlap = false;      // the host changed pixels the painter painted too, to other colours
};
// r, g, b: the host's planes now, of the canvas's size; they become what is to be written.
PaintingMerge MergePainting(Plane& r, Plane& g, Plane& b);

// The next remembered plane whose compression is not finished, or null.
PackedPlane* HostImageToPack();
