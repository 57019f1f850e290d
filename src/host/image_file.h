// An image file as a host serves it: three straight colour planes, the alpha channel kept
// aside, and the rules for writing back (a backup beside the file, atomic replacement).
#pragma once
#include <QImage>
#include <QString>

#include "canvas/plane.h"

struct ImageDocument {
    QString path;
    Plane r, g, b;
    Plane alpha;          // empty when the file has no alpha channel
    bool deeper = false;  // more than 8 bits a channel: written back at 8 bits
    int width() const { return r.width; }
    int height() const { return r.height; }
};

// Loads path. Returns false with a one-line reason in *error (missing, unreadable, unsupported,
// empty, too large for memory).
bool LoadImageDocument(const QString& path, ImageDocument* doc, QString* error);
// A new white canvas of w x h.
ImageDocument NewWhiteDocument(const QString& path, int w, int h);
// Writes doc to its path in the format of its name: a temporary file, then a rename.
bool SaveImageDocument(const ImageDocument& doc, QString* error);
// Copies the file's current content to path + "~". A missing file is not an error.
bool BackupImageFile(const QString& path, QString* error);
// The first free untitled.png, untitled-1.png, ... in folder.
QString NewUntitledPath(const QString& folder);
// A line to announce at start when the file's format cannot hold the painted colours exactly
// (lossy or fewer colours); empty otherwise.
QString FormatLossNote(const QString& path);
// Where an image that could not be written to its own file is saved instead.
QString RescuePath(const QString& path);
// A grey plane from a picture file (the paper), or the built-in paper grain.
bool LoadGreyPlane(const QString& path, Plane* plane, QString* error);
Plane DefaultPaper();
