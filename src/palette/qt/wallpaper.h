// The host's wallpaper tiled behind the palette window (Draw_Pattern) and behind one of its
// boxes (TileWallpaper), so that the pattern runs on under the box without a seam. Both draw
// nothing without a picture or for a hidden target.
#pragma once
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <vector>

class QPainter;
class QWidget;
class Host;

// The picture of the host's wallpaper file; a null image when the host has no such method,
// gives no name, or the file cannot be read.
QImage LoadWallpaper(Host* host);

// Tile corners of the window's tiling, in the target's coordinates: x = 0, iw, 2 iw, ... while
// x <= left + sw, the same for y, shifted by (-left, -top); only the tiles that reach into the
// sw x sh target are listed. A tile of width or height 0 gives none.
std::vector<QPoint> TileOrigins(QSize tile, QSize target, QPoint offset = QPoint(0, 0));

// Tiles the picture over the whole window (the window's backdrop), painting on the window.
void Draw_Pattern(QPainter& painter, const QWidget& target, const QImage& picture);
// Tiles the picture behind a box of the window, painting on the box's own drawing; the tiles
// fall where the window's tiling puts them. A box whose own visible flag is off gets nothing.
void TileWallpaper(QPainter& painter, const QWidget& box, const QImage& picture);
