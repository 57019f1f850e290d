#include "host/file_host.h"

#include <cstdio>

#include "app/errors.h"

FileHost::FileHost(ImageDocument doc, Plane paper, QString wallpaper)
    : doc_(std::move(doc)), paper_(std::move(paper)), wallpaper_(std::move(wallpaper)) {}

void FileHost::Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) {
    (void)zero;
    window_ = window;
    if (window_) window_->ShowCanvas();
}

void FileHost::Tarn_SaveUndo() {
    // The backup of a file deeper than 8 bits a channel is its original: never overwritten.
    if (doc_.deeper && backedUpDeeper_) return;
    QString error;
    if (!BackupImageFile(doc_.path, &error)) throw HostError(error.toStdString());
    backedUpDeeper_ = doc_.deeper;
}

void FileHost::Replace(Plane& target, const Plane& plane) {
    if (!plane.sizeIs(doc_.width(), doc_.height()))
        throw HostError("The image sent back has " + std::to_string(plane.width) + " x " +
                        std::to_string(plane.height) + " pixels; the file has " +
                        std::to_string(doc_.width()) + " x " + std::to_string(doc_.height()) + ".");
    target = plane;
}

void FileHost::tarn_Refresh() {
    QString error;
    if (SaveImageDocument(doc_, &error)) return;
    // The painting must not be lost: it goes into a rescue file beside the image (or at home).
    ImageDocument rescue = doc_;
    rescue.path = RescuePath(doc_.path);
    QString rescueError;
    QString message = error;
    if (SaveImageDocument(rescue, &rescueError))
        message += QStringLiteral("; the painting was saved as %1 instead").arg(rescue.path);
    else
        message += QStringLiteral("; saving it as %1 failed too (%2)").arg(rescue.path, rescueError);
    std::fprintf(stderr, "marlo: %s\n", qPrintable(message));
    throw HostError(message.toStdString());
}
