#include "palette/qt/palette_placement.h"

#include <algorithm>

QPoint PlaceBeside(const QRect& canvasFrame, const QSize& paletteFrame, const QRect& screen) {
    const int rightX = canvasFrame.right() + 1;
    const int leftX = canvasFrame.left() - paletteFrame.width();
    const int roomRight = screen.right() + 1 - rightX;
    const int roomLeft = canvasFrame.left() - screen.left();
    const int lastX = screen.right() + 1 - paletteFrame.width();  // flush with the right edge
    int x;
    if (roomRight >= paletteFrame.width())
        x = rightX;
    else if (roomLeft >= paletteFrame.width())
        x = leftX;
    else
        x = roomRight >= roomLeft ? lastX : screen.left();  // over the canvas as little as can be
    x = std::max(std::min(x, lastX), screen.left());
    int y = canvasFrame.top();
    y = std::min(y, screen.bottom() + 1 - paletteFrame.height());
    y = std::max(y, screen.top());
    return QPoint(x, y);
}
