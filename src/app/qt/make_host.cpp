#include "app/qt/make_host.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QStringList>
#include <cerrno>
#include <cstdio>

#include "app/startup.h"
#include "core/errors.h"
#include "host/qt/file_name.h"
#include "host/qt/rescue_copy.h"
#include "host/qt/temp_files.h"

namespace {

// IMAGE as an absolute path. A relative name needs the working folder's path, which the
// system cannot give when it is longer than PATH_MAX.
bool AbsoluteImagePath(const QString& image, QString* path, QString* error) {
    if (QDir::isAbsolutePath(image)) {
        *path = QDir::cleanPath(image);
        return true;
    }
    const QString here = CurrentFolder();
    if (here.isEmpty()) {
        *error = QStringLiteral(
                     "%1: the current folder's path is too long for the system to name; "
                     "start Marlo from a shorter folder or give IMAGE as an absolute path")
                     .arg(image);
        return false;
    }
    *path = QDir(here).absoluteFilePath(image);
    return true;
}

// A new white canvas at path, of the command line's size. Refused when the memory left cannot
// hold it, or when its folder could not take the file at close.
bool NewCanvas(const CommandLine& cl, const QString& path, ImageDocument* doc, QString* error) {
    const int w = cl.width > 0 ? cl.width : kNewCanvasWidth;
    const int h = cl.height > 0 ? cl.height : kNewCanvasHeight;
    const QString folder = QFileInfo(path).absolutePath();
    struct stat st;
    if (::stat(NativeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = QStringLiteral("%1: the folder %2 does not exist").arg(path, folder);
        return false;
    }
    if (::access(NativeName(folder).constData(), W_OK) != 0) {
        *error = QStringLiteral(
                     "%1: the folder %2 is not writable, so the new canvas could not "
                     "be written there")
                     .arg(path, folder);
        return false;
    }
    // Written in the format its name says (PNG when the name says none Qt writes).
    QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format == "jpg") format = "jpeg";
    if (!QImageWriter::supportedImageFormats().contains(format)) {
        if (!format.isEmpty() && format != "png") {
            *error = QStringLiteral("%1: Marlo cannot write %2 files; name the new canvas .png")
                         .arg(path, QString::fromLatin1(format.toUpper()));
            return false;
        }
        format = "png";
    }
    try {
        CheckNewCanvasRoom(w, h);
        *doc = NewWhiteDocument(path, w, h);
    } catch (const MarloError& e) {
        *error = QString::fromStdString(e.what());
        return false;
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral(
                     "a new canvas of %1 x %2 pixels is too large for this computer's "
                     "memory")
                     .arg(w)
                     .arg(h);
        return false;
    }
    doc->format = format;
    return true;
}

void SayRemoved(const QStringList& removed) {
    for (const QString& left : removed)
        std::fprintf(stderr,
                     "marlo: removed %s, a temporary file that a Marlo which ended while "
                     "writing left there\n",
                     qPrintable(Shown(left)));
}

// A Marlo killed while it wrote (SIGKILL, a crash) leaves its temporary file beside the image,
// or beside the file a link names: removed at the next start on it (host/qt/temp_files.h).
void RemoveTemporaryFilesLeftBeside(const QString& image) {
    const auto folderOf = [](const QString& name) {
        const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
        return slash <= 0 ? QStringLiteral("/") : name.left(slash);
    };
    QStringList folders{folderOf(AbsoluteName(image))};
    const QString target = CanonicalPath(image);
    if (!target.isEmpty()) folders << folderOf(target);
    folders.removeDuplicates();
    for (const QString& folder : folders) SayRemoved(RemoveLeftTemporaryFiles(folder));
}

}  // namespace

std::shared_ptr<FileHost> MakeHost(const CommandLine& cl, QString* error, QString* notice) {
    ImageDocument doc;
    if (cl.image.isEmpty()) {
        const QString here = CurrentFolder();
        if (here.isEmpty()) {
            *error = QStringLiteral(
                "the current folder's path is too long for the system to name; start "
                "Marlo from a shorter folder");
            return nullptr;
        }
        const QString path = NewUntitledPath(here);
        if (!NewCanvas(cl, path, &doc, error)) return nullptr;
        *notice = QStringLiteral("new canvas %1").arg(path);
    } else {
        QString path;
        if (!AbsoluteImagePath(cl.image, &path, error)) return nullptr;
        // For marlo, a name that holds nothing yet (not even a dangling link) is a new canvas;
        // tarnwick-host serves only files that exist.
        struct stat st;
        if (cl.newIfMissing && ::lstat(NativeName(path).constData(), &st) != 0 && errno == ENOENT) {
            if (!NewCanvas(cl, path, &doc, error)) return nullptr;
            const QString loss = FormatLossNote(doc);
            *notice = QStringLiteral("new canvas %1").arg(path) +
                      (loss.isEmpty() ? QString() : QStringLiteral("; ") + loss);
        } else if (cl.width > 0) {
            *error = QStringLiteral("%1 exists; --size is for a new canvas").arg(cl.image);
            return nullptr;
        } else if (!LoadImageDocument(path, &doc, error)) {
            return nullptr;
        }
    }
    RemoveTemporaryFilesLeftBeside(doc.path);
    if (doc.stamp.exists()) {
        QStringList notes{FormatLossNote(doc)};
        if (doc.deeper)
            notes = {QStringLiteral(
                         "%1 has more than 8 bits a channel; it is painted and written back at "
                         "8 bits, and the original is kept as %1~")
                         .arg(cl.image)};
        notes << ExtrasLossNote(doc.path, doc.extras);
        notes.removeAll(QString());
        // The damage first: a sentence of its own.
        *notice = QStringList({DamageNote(doc), notes.join(QStringLiteral("; "))})
                      .join(QLatin1Char(' '))
                      .trimmed();
    }
    Plane paper;
    if (cl.paper.isEmpty()) {
        paper = DefaultPaper();
    } else if (!LoadGreyPlane(cl.paper, &paper, error)) {
        return nullptr;
    }
    if (paper.empty()) {
        *error = QStringLiteral("the paper must be a non-empty picture");
        return nullptr;
    }
    // Marlo's palette may be shown from another folder: the wallpaper by its absolute path.
    QString wallpaper;
    if (!cl.wallpaper.isEmpty() && !AbsoluteImagePath(cl.wallpaper, &wallpaper, error))
        return nullptr;
    return std::make_shared<FileHost>(std::move(doc), std::move(paper), wallpaper);
}

void RemoveTemporaryFilesLeftInRescuePlaces() {
    for (const QString& folder : {RescueFolderOfData(), QDir::tempPath()})
        if (!folder.isEmpty()) SayRemoved(RemoveLeftTemporaryFiles(folder));
}
