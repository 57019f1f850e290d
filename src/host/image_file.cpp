#include "host/image_file.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <cstdint>
#include <new>

namespace {

// Planes, display and undo together need well over ten bytes a pixel; refuse beyond this.
constexpr qint64 kMaxPixels = qint64(1) << 28;

bool IsDeeper(const QImage& img) {
    switch (img.format()) {
        case QImage::Format_RGBX64:
        case QImage::Format_RGBA64:
        case QImage::Format_RGBA64_Premultiplied:
        case QImage::Format_Grayscale16:
        case QImage::Format_BGR30:
        case QImage::Format_A2BGR30_Premultiplied:
        case QImage::Format_RGB30:
        case QImage::Format_A2RGB30_Premultiplied:
        case QImage::Format_RGBX16FPx4:
        case QImage::Format_RGBA16FPx4:
        case QImage::Format_RGBA16FPx4_Premultiplied:
        case QImage::Format_RGBX32FPx4:
        case QImage::Format_RGBA32FPx4:
        case QImage::Format_RGBA32FPx4_Premultiplied:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool LoadImageDocument(const QString& path, ImageDocument* doc, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("%1: the file cannot be read").arg(path);
        return false;
    }
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!reader.canRead()) {
        *error = QStringLiteral("%1: not an image file in a format Marlo can read").arg(path);
        return false;
    }
    // The painting goes back into this file: refuse what cannot be written before any work is done.
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(suffix.isEmpty() ? reader.format() : suffix)) {
        *error = QStringLiteral("%1: Marlo can read this format but cannot write it back; convert the "
                                "image to PNG first").arg(path);
        return false;
    }
    if (size.isValid() && (size.width() <= 0 || size.height() <= 0)) {
        *error = QStringLiteral("%1: the image has no pixels (%2 x %3)").arg(path).arg(size.width()).arg(size.height());
        return false;
    }
    if (size.isValid() && qint64(size.width()) * size.height() > kMaxPixels) {
        *error = QStringLiteral("%1: the image of %2 x %3 pixels is too large for memory")
                     .arg(path).arg(size.width()).arg(size.height());
        return false;
    }
    QImageReader::setAllocationLimit(4096);  // megabytes; the pixel limit above is the real bound
    QImage img;
    try {
        img = reader.read();
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("%1: the image is too large for memory").arg(path);
        return false;
    }
    if (img.isNull()) {
        *error = QStringLiteral("%1: the image cannot be decoded (%2)").arg(path, reader.errorString());
        return false;
    }
    if (img.width() <= 0 || img.height() <= 0 || qint64(img.width()) * img.height() > kMaxPixels) {
        *error = QStringLiteral("%1: unusable image size %2 x %3").arg(path).arg(img.width()).arg(img.height());
        return false;
    }
    ImageDocument d;
    d.path = path;
    d.deeper = IsDeeper(img);
    const bool alpha = img.hasAlphaChannel();
    const QImage argb = img.convertToFormat(QImage::Format_ARGB32);  // straight, not premultiplied
    const int w = argb.width(), h = argb.height();
    try {
        d.r = Plane(w, h);
        d.g = Plane(w, h);
        d.b = Plane(w, h);
        if (alpha) d.alpha = Plane(w, h);
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("%1: the image is too large for memory").arg(path);
        return false;
    }
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            d.r.at(x, y) = static_cast<uint8_t>(qRed(line[x]));
            d.g.at(x, y) = static_cast<uint8_t>(qGreen(line[x]));
            d.b.at(x, y) = static_cast<uint8_t>(qBlue(line[x]));
            if (alpha) d.alpha.at(x, y) = static_cast<uint8_t>(qAlpha(line[x]));
        }
    }
    *doc = std::move(d);
    return true;
}

ImageDocument NewWhiteDocument(const QString& path, int w, int h) {
    ImageDocument d;
    d.path = path;
    d.r = Plane(w, h, 255);
    d.g = Plane(w, h, 255);
    d.b = Plane(w, h, 255);
    return d;
}

bool SaveImageDocument(const ImageDocument& doc, QString* error) {
    const int w = doc.width(), h = doc.height();
    const bool alpha = doc.alpha.sizeIs(w, h) && w > 0;
    QImage img(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (img.isNull()) {
        *error = QStringLiteral("%1: not enough memory to write the image").arg(doc.path);
        return false;
    }
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgba(doc.r.at(x, y), doc.g.at(x, y), doc.b.at(x, y), alpha ? doc.alpha.at(x, y) : 255);
    }
    QSaveFile file(doc.path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("%1: cannot write (%2)").arg(doc.path, file.errorString());
        return false;
    }
    const QByteArray format = QFileInfo(doc.path).suffix().toLower().toLatin1();
    QImageWriter writer(&file, format.isEmpty() ? QByteArray("png") : format);
    if (!writer.write(img)) {
        file.cancelWriting();
        *error = QStringLiteral("%1: cannot write the image (%2)").arg(doc.path, writer.errorString());
        return false;
    }
    if (!file.commit()) {
        *error = QStringLiteral("%1: cannot write (%2)").arg(doc.path, file.errorString());
        return false;
    }
    return true;
}

bool BackupImageFile(const QString& path, QString* error) {
    if (!QFileInfo::exists(path)) return true;
    const QString backup = path + QLatin1Char('~');
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read for the backup (%2)").arg(path, source.errorString());
        return false;
    }
    QSaveFile target(backup);
    if (!target.open(QIODevice::WriteOnly) || target.write(source.readAll()) < 0 || !target.commit()) {
        *error = QStringLiteral("%1: cannot write the backup (%2)").arg(backup, target.errorString());
        return false;
    }
    return true;
}

QString NewUntitledPath(const QString& folder) {
    const QDir dir(folder);
    QString name = QStringLiteral("untitled.png");
    for (int n = 1; dir.exists(name); ++n) name = QStringLiteral("untitled-%1.png").arg(n);
    return dir.absoluteFilePath(name);
}

QString FormatLossNote(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "jpg" || suffix == "jpeg" || suffix == "webp")
        return QStringLiteral("%1 is written back with lossy compression; the painted pixels will "
                              "not come back exactly").arg(path);
    if (suffix == "pbm" || suffix == "xbm")
        return QStringLiteral("%1 holds only black and white; colours are lost when it is written "
                              "back").arg(path);
    if (suffix == "pgm")
        return QStringLiteral("%1 holds only grey; colours are lost when it is written back").arg(path);
    return {};
}

QString RescuePath(const QString& path) {
    const QFileInfo info(path);
    for (const QString& folder : {info.absolutePath(), QDir::homePath(), QDir::tempPath()}) {
        const QFileInfo dir(folder);
        if (!dir.isDir() || !dir.isWritable()) continue;
        QString name = info.completeBaseName() + QStringLiteral(".marlo-rescue.png");
        for (int n = 1; QFileInfo::exists(QDir(folder).filePath(name)); ++n)
            name = info.completeBaseName() + QStringLiteral(".marlo-rescue-%1.png").arg(n);
        return QDir(folder).filePath(name);
    }
    return QDir::temp().filePath(QStringLiteral("marlo-rescue.png"));
}

bool LoadGreyPlane(const QString& path, Plane* plane, QString* error) {
    QImageReader reader(path);
    const QImage img = reader.read();
    if (img.isNull()) {
        *error = QStringLiteral("%1: cannot read the picture (%2)").arg(path, reader.errorString());
        return false;
    }
    if (qint64(img.width()) * img.height() > kMaxPixels) {
        *error = QStringLiteral("%1: the picture is too large").arg(path);
        return false;
    }
    const QImage grey = img.convertToFormat(QImage::Format_Grayscale8);
    Plane p(grey.width(), grey.height());
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        std::copy(line, line + grey.width(), p.row(y));
    }
    *plane = std::move(p);
    return true;
}

Plane DefaultPaper() {
    // A fine grain: hashed lattice noise at two scales, smoothed, in 40..200. Deterministic.
    constexpr int kSize = 256;
    auto hash = [](uint32_t x, uint32_t y) {
        uint32_t h = x * 374761393u + y * 668265263u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return (h ^ (h >> 16)) & 0xFF;
    };
    auto lattice = [&](int x, int y, int cell) {
        const int cx = x / cell, cy = y / cell, n = kSize / cell;
        const int fx = x % cell, fy = y % cell;
        auto v = [&](int i, int j) { return static_cast<int>(hash((i % n) + cell * 977u, (j % n))); };
        const int top = v(cx, cy) * (cell - fx) + v(cx + 1, cy) * fx;
        const int bottom = v(cx, cy + 1) * (cell - fx) + v(cx + 1, cy + 1) * fx;
        return (top * (cell - fy) + bottom * fy) / (cell * cell);
    };
    Plane p(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int grain = (lattice(x, y, 2) * 3 + lattice(x, y, 8)) / 4;  // 0..255
            p.at(x, y) = static_cast<uint8_t>(40 + grain * 160 / 255);
        }
    return p;
}
