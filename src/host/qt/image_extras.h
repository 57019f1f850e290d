// What an image file carries besides its pixels: the colour profile, the resolution, text and
// comments, the orientation (EXIF). PNG and JPEG keep them as the bytes they were read as (the
// PNG chunks, the JPEG segments), since the pixels are written back in the colours they were
// read in; other formats carry what QImage holds (colour space, dots per metre, text) and the
// writer's orientation.
#pragma once
#include <QByteArray>
#include <QColorSpace>
#include <QImageIOHandler>
#include <QMap>
#include <QString>
#include <QStringList>

class QImage;
class QImageReader;
class QImageWriter;

struct ImageExtras {
    QColorSpace colorSpace;  // as Qt read it: invalid when the file has none or an unusable one
    int dotsPerMeterX = 0, dotsPerMeterY = 0;
    QMap<QString, QString> text;
    QImageIOHandler::Transformations orientation = QImageIOHandler::TransformationNone;
    // PNG: the chunks kept, each as read (length, type, data, CRC), those that came before the
    // pixels and those after. JPEG: the segments kept, each as read (marker, length, data), in
    // their order, and the JFIF header (APP0) as read, or empty when the file had none.
    QByteArray before, after, jfif;
    bool splice = true;  // false: the file is written as Qt encodes it (a header Marlo cannot walk)
    // What the file carries that is not written back, in the painter's words ("the colour
    // profile", ...); told once at start.
    QStringList lost;
};

// Of `lost`: what follows the place a PNG is damaged. Not told for a file whose pixels are
// damaged too: that file's own notice says writing back replaces it with what is seen.
inline constexpr char kLostAfterDamage[] = "whatever follows its damaged part";

// What bytes (a file in format) carry besides the pixels; img and reader are what decoded them.
ImageExtras ReadExtras(const QByteArray& bytes, const QByteArray& format, const QImage& img,
                       const QImageReader& reader);
// Puts on img and writer what they carry for format: for PNG nothing (its chunks are spliced
// in), for JPEG the resolution, for the others all they can.
void PrepareExtras(const ImageExtras& extras, const QByteArray& format, QImage* img,
                   QImageWriter* writer);
// encoded (Qt's PNG or JPEG output for the same image) with the kept chunks or segments in
// place of what Qt wrote of the same kinds. Anything unexpected in encoded leaves it as it is.
QByteArray SpliceExtras(const QByteArray& encoded, const QByteArray& format,
                        const ImageExtras& extras);
// A line for the start when the file carries something that is not written back; empty
// otherwise.
QString ExtrasLossNote(const QString& path, const ImageExtras& extras);
