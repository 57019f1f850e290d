#include "host/qt/png_chunks.h"

#include <algorithm>

uint32_t PngNumber(const QByteArray& b, qsizetype p) {
    const auto* u = reinterpret_cast<const uchar*>(b.constData()) + p;
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
}

bool PngChunks(const QByteArray& png, QList<PngChunk>* chunks, bool toPixels) {
    if (!png.startsWith(QByteArray(kPngSignature, 8))) return false;
    for (qsizetype p = 8; p + 8 <= png.size();) {
        const uint32_t n = PngNumber(png, p);
        const QByteArray type = png.mid(p + 4, 4);
        // The first pixels are reached even when the file ends inside them.
        if (toPixels && type == "IDAT") {
            chunks->append({type, p, std::min<qsizetype>(12 + qsizetype(n), png.size() - p)});
            return true;
        }
        if (n > 0x7FFFFFFFu || qsizetype(n) > png.size() - p - 12) return false;
        chunks->append({type, p, 12 + qsizetype(n)});
        p += 12 + qsizetype(n);
        if (type == "IEND") return true;
    }
    return false;
}
