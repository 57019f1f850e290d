#include "app/qt/make_host.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

// IMAGE as an absolute path. A relative name needs the working folder's path, which the
// system cannot give when it is longer than PATH_MAX.
bool AbsoluteImagePath(const QString& image, QString* path, QString* error) {
    if (QDir::isAbsolutePath(image)) {
        *path = QDir::cleanPath(image);
        return true;
    }
    const QString here = QDir::currentPath();
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

}  // namespace

std::shared_ptr<FileHost> MakeHost(const CommandLine& cl, QString* error, QString* notice) {
    ImageDocument doc;
    if (cl.image.isEmpty()) {
        const QString here = QDir::currentPath();
        if (here.isEmpty()) {
            *error = QStringLiteral(
                "the current folder's path is too long for the system to name; start "
                "Marlo from a shorter folder");
            return nullptr;
        }
        const QString path = NewUntitledPath(here);
        doc = NewWhiteDocument(path, kNewCanvasWidth, kNewCanvasHeight);
        *notice = QStringLiteral("new canvas %1").arg(path);
    } else {
        QString path;
        if (!AbsoluteImagePath(cl.image, &path, error) || !LoadImageDocument(path, &doc, error))
            return nullptr;
        QStringList notes{FormatLossNote(doc)};
        if (doc.deeper)
            notes = {QStringLiteral(
                         "%1 has more than 8 bits a channel; it is painted and written back at "
                         "8 bits, and the original is kept as %1~")
                         .arg(cl.image)};
        notes << ExtrasLossNote(doc.path, doc.extras);
        notes.removeAll(QString());
        *notice = notes.join(QStringLiteral("; "));
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
    const QString wallpaper =
        cl.wallpaper.isEmpty() ? QString() : QFileInfo(cl.wallpaper).absoluteFilePath();
    return std::make_shared<FileHost>(std::move(doc), std::move(paper), wallpaper);
}
