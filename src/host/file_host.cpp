#include "host/file_host.h"

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
    if (!SaveImageDocument(doc_, &error)) throw HostError(error.toStdString());
}
