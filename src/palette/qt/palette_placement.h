// Where the palette stands: beside the canvas window, never over it.
#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

// Top-left corner of the palette's frame: at the canvas frame's right edge, or at its left
// edge when the screen has no room on the right; when neither side has room, the side with
// more of it, partly off the screen. The top is the canvas's, kept on the screen vertically.
QPoint PlaceBeside(const QRect& canvasFrame, const QSize& paletteFrame, const QRect& screen);
