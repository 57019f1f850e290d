// An image file as a host serves it: three colour planes as the painter sees them, the alpha
// channel and the colours under transparent pixels kept aside, the format the file really has,
// and what the file looked like when it was read.
#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

#include "core/plane.h"
#include "host/qt/file_ops.h"
#include "host/qt/image_extras.h"

struct ImageDocument {
    QString path;
    QByteArray format = "png";  // by content, as QImageReader names it ("png", "jpeg", ...)
    // The colours the canvas is handed: where alpha < 255, composited over white, so the painter
    // sees what other programs show.
    Plane r, g, b;
    // Empty when the file has no alpha channel. Otherwise the alpha and the original colours:
    // a pixel the painter leaves alone is written back with exactly these.
    Plane alpha;
    Plane underR, underG, underB;
    bool deeper = false;  // more than 8 bits a channel: written back at 8 bits
    FileStamp stamp;      // the file as read (exists = false for a new canvas)
    QString damage;       // why the reader read only part of the file; empty when it read all
    ImageExtras extras;   // what the file carries besides the pixels, written back with them
    int width() const { return r.width; }
    int height() const { return r.height; }
};

// Bytes the whole program can take at its peak for an image file of pixels and fileBytes,
// opened and written back after a change: the estimate checked before anything of that size
// is allocated. See image_file.cpp for the measured figures it follows.
int64_t OpenImageBytes(int64_t pixels, int64_t fileBytes, bool alpha);

// Loads path. Returns false with a one-line reason in *error that names the file and says what
// is wrong in the user's words (missing, not a regular file, damaged, unsupported, too large
// for the memory available, with both sizes).
bool LoadImageDocument(const QString& path, ImageDocument* doc, QString* error);
// A new white canvas of w x h, written as PNG.
ImageDocument NewWhiteDocument(const QString& path, int w, int h);
// The file's bytes for doc's pixels in format ("png" for rescue copies): pixels whose colour
// differs from what the canvas was handed get alpha 255, the others their original RGBA.
// Lossy formats are written at quality 95. Written in doc's own format, the file carries
// doc.extras too.
bool EncodeImageDocument(const ImageDocument& doc, const QByteArray& format, QByteArray* bytes,
                         QString* error);
// The first free untitled.png, untitled-1.png, ... in folder.
QString NewUntitledPath(const QString& folder);
// A line to announce at start when the file's format cannot hold the painted colours exactly
// (lossy or fewer colours); empty otherwise.
QString FormatLossNote(const ImageDocument& doc);
// A line to announce at start when the file could be read only in part; empty otherwise.
QString DamageNote(const ImageDocument& doc);
// A picture file (the paper, the wallpaper): a regular file whose header size fits within
// budgetBytes at bytesPerPixel. Returns a null image with a one-line reason on failure.
QImage LoadPictureFile(const QString& path, int64_t bytesPerPixel, int64_t budgetBytes,
                       QString* error);
// A grey plane from a picture file (the paper), or the built-in paper grain.
bool LoadGreyPlane(const QString& path, Plane* plane, QString* error);
Plane DefaultPaper();
