#include "host/qt/file_host.h"

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "core/errors.h"
#include "host/qt/file_name.h"
#include "host/qt/rescue_copy.h"

FileHost::FileHost(ImageDocument doc, Plane paper, QString wallpaper)
    : doc_(std::move(doc)),
      paper_(std::move(paper)),
      wallpaper_(std::move(wallpaper)),
      changed_(!doc_.stamp.exists()) {}  // a new canvas has no file: what comes back is written

void FileHost::Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) {
    (void)zero;
    window_ = window;
    if (window_) window_->ShowCanvas();
}

std::string FileHost::ImageName() { return Shown(QFileInfo(doc_.path).fileName()).toStdString(); }

void FileHost::Replace(Plane& target, const Plane& plane) {
    if (!plane.sizeIs(doc_.width(), doc_.height()))
        throw HostError("The image sent back has " + std::to_string(plane.width) + " x " +
                        std::to_string(plane.height) + " pixels; the file has " +
                        std::to_string(doc_.width()) + " x " + std::to_string(doc_.height()) + ".");
    if (plane.bytes == target.bytes) return;
    target = plane;
    changed_ = true;
}

void FileHost::Tell(const QString& line) {
    std::fprintf(stderr, "marlo: %s\n", qPrintable(Shown(line)));
    if (notice_) notice_(Shown(line));
}

std::string FileHost::Describe(bool sending) {
    return (sending ? QStringLiteral("writes %1") : QStringLiteral("reads %1"))
        .arg(Shown(QFileInfo(doc_.path).fileName()))
        .toStdString();
}

void FileHost::tarn_Refresh() {
    QString error;
    rescuedAs_.clear();
    bool written = !changed_;
    if (!written) {
        try {
            written = WriteBack(&error);
        } catch (const std::bad_alloc&) {
            error = QStringLiteral("%1: not enough memory to write it").arg(doc_.path);
        }
    }
    if (written) {
        changed_ = false;
        failure_.clear();
        return;
    }
    failure_ = Shown(Rescue(error));
    std::fprintf(stderr, "marlo: %s\n", qPrintable(failure_));
    throw HostError(failure_.toStdString());
}

// Where the bytes go: through the link Marlo opened, the file it points to (the link stays a
// link, even when its file has gone meanwhile).
QString FileHost::WritePath() const {
    const QString resolved = CanonicalPath(doc_.path);
    if (!resolved.isEmpty()) return resolved;
    const QFileInfo name(doc_.path);
    return name.isSymLink() ? name.symLinkTarget() : doc_.path;
}

bool FileHost::WriteBack(QString* error) {
    QByteArray bytes;
    if (!EncodeImageDocument(doc_, doc_.format, &bytes, error)) return false;
    FileStamp disk = StampOf(doc_.path, false);
    // Marlo writes only the file it opened or last wrote: a new link or another file under the
    // name is left alone, and the painting goes to a rescue copy instead.
    *error = Replacement(doc_.path, doc_.stamp, disk);
    if (!error->isEmpty()) return false;
    const QString path = WritePath();
    const FileIdentity& was = doc_.stamp.file;
    bool theirs = disk.exists() != doc_.stamp.exists() || disk.file.size != was.size ||
                  disk.file.modifiedNs != was.modifiedNs;
    if (disk.exists() && !theirs && !doc_.stamp.digest.isEmpty()) {
        disk = StampOf(doc_.path, true);
        theirs = !SameContent(disk, doc_.stamp);
    }
    if (disk.exists() && theirs) {
        // Someone else wrote the file since we read or wrote it: their version is kept, and it
        // stands for this session's backup (IMAGE~ may hold another session's original).
        const QString kept = FreeNumberedBackup(path);
        if (!KeepCopy(path, kept, error)) return false;
        backedUp_ = true;
        Tell(QStringLiteral(
                 "%1 was changed by another program while Marlo had it open; that version "
                 "is kept as %2")
                 .arg(path, kept));
    } else if (disk.exists() && !backedUp_) {
        if (!KeepCopy(path, path + QLatin1Char('~'), error)) return false;
        backedUp_ = true;
    }
    // A file deleted meanwhile comes back with the permission bits it had.
    const mode_t mode = disk.exists()         ? disk.mode
                        : doc_.stamp.exists() ? doc_.stamp.mode
                                              : NewFileMode();
    if (!WriteFileAtomically(path, bytes, mode, error)) return false;
    FileStamp written = StampOf(doc_.path, false);
    if (bytes.size() <= kDigestLimit) written.digest = ContentDigest(bytes);
    doc_.stamp = written;
    return true;
}

QString FileHost::Rescue(const QString& error) {
    QString why;
    const QString name = WriteRescueCopy(doc_, &why);
    rescuedAs_ = name;
    if (name.isEmpty()) return error + QStringLiteral(". No rescue copy could be %1").arg(why);
    return error + QStringLiteral(". The painting was saved as %1").arg(name);
}
