#include "palette/qt/wallpaper.h"

#include <QPainter>
#include <QWidget>
#include <cstdio>
#include <exception>

#include "core/memory_budget.h"
#include "host/host.h"
#include "host/qt/file_name.h"
#include "host/qt/image_file.h"

QImage LoadWallpaper(Host* host) {
    if (!host) return {};
    try {
        const std::string name = host->Tarn_WallpaperFilename();
        if (name.empty()) return {};
        // A name that is no picture (a pipe, a folder, a huge image) is told and left out: the
        // palette goes without. The tiles may take a small share of the memory available.
        QString error;
        QImage picture = LoadPictureFile(NameFromNative(QByteArray::fromStdString(name)), 4,
                                         AvailableMemoryBytes() / 8, &error);
        if (picture.isNull()) {
            std::fprintf(stderr, "marlo: %s; the palette has its plain background\n",
                         qPrintable(Shown(error)));
            return {};
        }
        picture.setDevicePixelRatio(1);  // tiles step in pixels, whatever the file's name says
        return picture;
    } catch (...) {
        // A host without wallpaper, or one that fails to say: the palette shows its back colour.
        return {};
    }
}

std::vector<QPoint> TileOrigins(QSize tile, QSize target, QPoint offset) {
    std::vector<QPoint> origins;
    const int iw = tile.width(), ih = tile.height();
    if (iw <= 0 || ih <= 0) return origins;
    const long long left = offset.x(), top = offset.y();
    const long long sw = target.width(), sh = target.height();
    // The window's loops run from 0 while x <= left + sw; a tile starting at left + sw, or
    // ending at or before left, draws nothing inside the target and is left out.
    const long long y0 = top > ih ? (top / ih - 1) * ih : 0;
    const long long x0 = left > iw ? (left / iw - 1) * iw : 0;
    for (long long y = y0; y < top + sh; y += ih) {
        if (y + ih <= top) continue;
        for (long long x = x0; x < left + sw; x += iw) {
            if (x + iw <= left) continue;
            origins.emplace_back(static_cast<int>(x - left), static_cast<int>(y - top));
        }
    }
    return origins;
}

void Draw_Pattern(QPainter& painter, const QWidget& target, const QImage& picture) {
    if (picture.isNull() || !target.isVisible()) return;
    for (const QPoint& at : TileOrigins(picture.size(), target.size()))
        painter.drawImage(at, picture);
}

void TileWallpaper(QPainter& painter, const QWidget& box, const QImage& picture) {
    if (picture.isNull() || box.isHidden()) return;
    for (const QPoint& at : TileOrigins(picture.size(), box.size(), box.pos()))
        painter.drawImage(at, picture);
}
