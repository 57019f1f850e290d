// Whole-image operations: the undo copies of the whole image and the full redraw of the window.
#pragma once

// Each returns the median time of one call in milliseconds over the given number of calls,
// on the 4096 x 4096 image with the 1920 x 1080 window at zoom 1 (redraw: at the given zoom).
double UndoPushMs(int calls);
double UndoPopMs(int calls);
double RedrawMs(float zoom, int calls);
// The display bitmap's bytes for the 1920 x 1080 window on the 4096 x 4096 image at zoom.
double DisplayBitmapBytes(float zoom);
