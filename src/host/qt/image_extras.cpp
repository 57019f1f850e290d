#include "host/qt/image_extras.h"

#include <zlib.h>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include "host/qt/png_chunks.h"

namespace {

bool IsJpeg(const QByteArray& format) { return format == "jpeg" || format == "jpg"; }

int Get16(const QByteArray& b, qsizetype p) {
    const auto* u = reinterpret_cast<const uchar*>(b.constData()) + p;
    return u[0] << 8 | u[1];
}

// The chunks that describe the picture rather than the coding of its pixels, which Marlo keeps
// as read: the colour chunks (the pixels are written back in the colours they were read in)
// and every ancillary chunk marked safe to copy (pHYs, tEXt, zTXt, iTXt, eXIf, ...). The others
// (tRNS, bKGD, sBIT, tIME, the animation's) belong to the pixels' former coding.
bool CarriedChunk(const QByteArray& type) {
    if (type.size() != 4 || !(type[0] & 0x20)) return false;  // a critical chunk
    return type == "iCCP" || type == "sRGB" || type == "gAMA" || type == "cHRM" || (type[3] & 0x20);
}

bool CrcHolds(const QByteArray& png, const PngChunk& c) {
    const auto* data = reinterpret_cast<const Bytef*>(png.constData()) + c.at + 4;
    return crc32(0, data, static_cast<uInt>(c.size - 8)) == PngNumber(png, c.at + c.size - 4);
}

void ReadPng(const QByteArray& bytes, const QImage& img, ImageExtras* e) {
    QList<PngChunk> chunks;
    const bool whole = PngChunks(bytes, &chunks);
    bool pixelsSeen = false;
    for (const PngChunk& c : chunks) {
        if (c.type == "IDAT") pixelsSeen = true;
        if (c.type == "acTL") e->lost << QStringLiteral("the other frames of its animation");
        // A chunk whose CRC fails was passed over by the decoder too.
        if (!CarriedChunk(c.type) || !CrcHolds(bytes, c)) continue;
        // The pixels are written as RGB: a profile Qt cannot take as one (grey, damaged) would
        // not fit them.
        if (c.type == "iCCP" && !img.colorSpace().isValid()) {
            e->lost << QStringLiteral("its colour profile");
            continue;
        }
        (pixelsSeen ? e->after : e->before).append(bytes.mid(c.at, c.size));
    }
    if (!whole) e->lost << QLatin1String(kLostAfterDamage);
}

void ReadJpeg(const QByteArray& bytes, const QImage& img, ImageExtras* e) {
    QStringList others;
    bool profileLost = false, whole = false;
    qsizetype p = 2;
    while (p + 2 <= bytes.size() && uchar(bytes[p]) == 0xFF) {
        const int m = uchar(bytes[p + 1]);
        if (m == 0xFF) {  // a fill byte
            ++p;
            continue;
        }
        if (m == 0xDA || m == 0xD9) {  // the pixels start (or the file ends): the header is read
            whole = true;
            break;
        }
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD8)) {  // markers without a length
            p += 2;
            continue;
        }
        if (p + 4 > bytes.size()) break;
        const int n = Get16(bytes, p + 2);
        if (n < 2 || n > bytes.size() - p - 2) break;
        const QByteArray segment = bytes.mid(p, 2 + n);
        const QByteArray data = segment.mid(4);
        p += 2 + n;
        if (m == 0xE0) {
            // JFIF: the resolution. Kept when well formed (its thumbnail's size agrees).
            if (!data.startsWith(QByteArray("JFIF\0", 5)) || !e->jfif.isEmpty()) continue;
            if (n >= 16 && n == 16 + 3 * uchar(data[12]) * uchar(data[13]))
                e->jfif = segment;
            else
                e->lost << QStringLiteral("its resolution");
        } else if (m == 0xE1 || m == 0xED || m == 0xFE) {  // EXIF and XMP, IPTC, comments
            e->before += segment;
        } else if (m == 0xE2 && data.startsWith(QByteArray("ICC_PROFILE\0", 12))) {
            // The pixels are written as RGB: a profile Qt cannot take as one (CMYK, grey,
            // damaged) would not fit them.
            if (img.colorSpace().isValid())
                e->before += segment;
            else
                profileLost = true;
        } else if (m == 0xE2 && data.startsWith(QByteArray("MPF\0", 4))) {
            e->lost << QStringLiteral("the further pictures it holds");
        } else if (m >= 0xE2 && m <= 0xEF && m != 0xEE) {
            // APP14 (Adobe) tells how the pixels were coded; the writer puts its own.
            const QString name = QStringLiteral("APP%1").arg(m - 0xE0);
            if (!others.contains(name)) others << name;
        }
    }
    if (profileLost) e->lost << QStringLiteral("its colour profile");
    if (!others.isEmpty())
        e->lost << QStringLiteral("other programs' data in its header (%1)")
                       .arg(others.join(QStringLiteral(", ")));
    if (!whole) {
        // A header Marlo cannot walk: nothing of it is copied, the file gets what Qt writes.
        e->before.clear();
        e->jfif.clear();
        e->splice = false;
        e->lost =
            QStringList{QStringLiteral("its data besides the pixels (the header is damaged)")};
    }
}

// What format's writer keeps of the image's colour space, text and orientation: a 2 x 2 image
// carrying each is written and read back.
struct WriterKeeps {
    bool profile = false, text = false, orientation = false;
};

WriterKeeps WhatWriterKeeps(const QByteArray& format) {
    QImage img(2, 2, QImage::Format_RGB888);
    img.fill(Qt::white);
    img.setColorSpace(QColorSpace::DisplayP3);
    img.setText(QStringLiteral("Marlo"), QStringLiteral("kept"));
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, format);
    if (writer.supportsOption(QImageIOHandler::ImageTransformation))
        writer.setTransformation(QImageIOHandler::TransformationRotate90);
    if (!writer.write(img)) return {};
    out.close();
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    QImageReader reader(&in, format);
    reader.setAutoTransform(false);
    const QImage back = reader.read();
    return {back.colorSpace() == img.colorSpace(), back.text(QStringLiteral("Marlo")) == "kept",
            reader.transformation() == QImageIOHandler::TransformationRotate90};
}

QByteArray SplicePng(const QByteArray& encoded, const ImageExtras& e) {
    QList<PngChunk> chunks;
    if (!PngChunks(encoded, &chunks) || chunks.first().type != "IHDR") return encoded;
    QByteArray out;
    out.reserve(encoded.size() + e.before.size() + e.after.size());
    out.append(kPngSignature, 8);
    for (const PngChunk& c : chunks) {
        if (c.type == "IEND") out += e.after;
        if (!CarriedChunk(c.type)) out += encoded.mid(c.at, c.size);  // Qt's pHYs goes
        if (c.type == "IHDR") out += e.before;
    }
    return out;
}

QByteArray SpliceJpeg(const QByteArray& encoded, const ImageExtras& e) {
    if (!e.splice || !encoded.startsWith("\xFF\xD8")) return encoded;
    qsizetype rest = 2;
    QByteArray app0 = e.jfif;
    // Qt writes SOI, then its JFIF header with the image's dots per metre.
    if (encoded.size() >= 20 && encoded.mid(2, 4) == QByteArray("\xFF\xE0\x00\x10", 4) &&
        encoded.mid(6, 5) == QByteArray("JFIF\0", 5)) {
        rest = 20;
        if (app0.isEmpty()) {
            // The file gave no resolution: none is written (unit 0, aspect ratio 1:1).
            app0 = encoded.mid(2, 18);
            app0.replace(11, 5, QByteArray("\x00\x00\x01\x00\x01", 5));
        }
    }
    return encoded.left(2) + app0 + e.before + encoded.mid(rest);
}

}  // namespace

ImageExtras ReadExtras(const QByteArray& bytes, const QByteArray& format, const QImage& img,
                       const QImageReader& reader) {
    ImageExtras e;
    e.colorSpace = img.colorSpace();
    e.dotsPerMeterX = img.dotsPerMeterX();
    e.dotsPerMeterY = img.dotsPerMeterY();
    for (const QString& key : img.textKeys()) e.text.insert(key, img.text(key));
    e.orientation = reader.transformation();
    if (format == "png") {
        ReadPng(bytes, img, &e);
    } else if (IsJpeg(format)) {
        ReadJpeg(bytes, img, &e);
    } else if (e.colorSpace.isValid() || !e.text.isEmpty() ||
               e.orientation != QImageIOHandler::TransformationNone) {
        const WriterKeeps keeps = WhatWriterKeeps(format);
        if (e.colorSpace.isValid() && !keeps.profile)
            e.lost << QStringLiteral("its colour profile");
        if (!e.text.isEmpty() && !keeps.text) e.lost << QStringLiteral("its text");
        if (e.orientation != QImageIOHandler::TransformationNone && !keeps.orientation)
            e.lost << QStringLiteral("its orientation");
    }
    e.lost.removeDuplicates();
    return e;
}

void PrepareExtras(const ImageExtras& extras, const QByteArray& format, QImage* img,
                   QImageWriter* writer) {
    if (format == "png") return;
    if (extras.dotsPerMeterX > 0) img->setDotsPerMeterX(extras.dotsPerMeterX);
    if (extras.dotsPerMeterY > 0) img->setDotsPerMeterY(extras.dotsPerMeterY);
    if (IsJpeg(format)) return;  // the profile and the comments go in as the segments read
    if (extras.colorSpace.isValid()) img->setColorSpace(extras.colorSpace);
    for (auto it = extras.text.begin(); it != extras.text.end(); ++it)
        img->setText(it.key(), it.value());
    if (extras.orientation != QImageIOHandler::TransformationNone &&
        writer->supportsOption(QImageIOHandler::ImageTransformation))
        writer->setTransformation(extras.orientation);
}

QByteArray SpliceExtras(const QByteArray& encoded, const QByteArray& format,
                        const ImageExtras& extras) {
    if (format == "png") return SplicePng(encoded, extras);
    if (IsJpeg(format)) return SpliceJpeg(encoded, extras);
    return encoded;
}

QString ExtrasLossNote(const QString& path, const ImageExtras& extras) {
    const QStringList& lost = extras.lost;
    if (lost.isEmpty()) return {};
    QString what = lost.first();
    for (qsizetype i = 1; i < lost.size(); ++i)
        what += (i + 1 == lost.size() ? QStringLiteral(" and ") : QStringLiteral(", ")) + lost[i];
    return QStringLiteral(
               "%1: %2 cannot be written back; the original is kept as %1~ at the first write")
        .arg(path, what);
}
