// Where the palette stands: beside the canvas window, and always on the screen.
#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

// Top-left corner of the palette's frame: at the canvas frame's right edge, or at its left
// edge when the screen has no room on the right; when neither side has room, inside the
// screen at the edge of the side with more room, over the canvas only as far as it must be.
// The top is the canvas's, kept on the screen vertically.
QPoint PlaceBeside(const QRect& canvasFrame, const QSize& paletteFrame, const QRect& screen);
