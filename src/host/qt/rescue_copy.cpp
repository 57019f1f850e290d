#include "host/qt/rescue_copy.h"

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>

#include "host/qt/file_name.h"
#include "host/qt/file_ops.h"

namespace {

// $XDG_DATA_HOME/marlo/rescue, or ~/.local/share/marlo/rescue.
QString DataRescueFolder() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/marlo/rescue");
}

// Makes folder and the folders above it that are missing; "" or why it cannot be (QDir::mkpath
// gives no reason).
QString MakeFolder(const QString& folder) {
    QStringList missing;
    for (QString f = folder; !QFileInfo(f).isDir() && QFileInfo(f).path() != f;
         f = QFileInfo(f).path())
        missing.prepend(f);
    for (const QString& level : missing)
        if (::mkdir(QFile::encodeName(level).constData(), 0777) != 0 && errno != EEXIST)
            return QStringLiteral("%1: cannot make the folder (%2)")
                .arg(folder, SystemReason(errno));
    return {};
}

// A rescue name that fits any file system's name limit, whatever the image's name.
QString RescueName(const QString& folder, const QString& imagePath) {
    QString base = QFileInfo(imagePath).completeBaseName();
    if (base.isEmpty()) base = QStringLiteral("painting");
    while (NativeName(base).size() > 180) base.chop(1);
    const QDir dir(folder);
    QString name = base + QStringLiteral(".marlo-rescue.png");
    struct stat st;
    for (int n = 1; ::lstat(NativeName(dir.filePath(name)).constData(), &st) == 0; ++n)
        name = base + QStringLiteral(".marlo-rescue-%1.png").arg(n);
    return dir.filePath(name);
}

}  // namespace

QString WriteRescueCopy(const ImageDocument& doc, QString* why) {
    QByteArray png;
    QString reason;
    if (!EncodeImageDocument(doc, "png", &png, &reason)) {
        *why = QStringLiteral("made either (%1)").arg(reason);
        return {};
    }
    const mode_t mode = doc.stamp.exists() ? doc.stamp.mode : NewFileMode();
    const QString dataFolder = DataRescueFolder();
    // QDir::tempPath is empty when $TMPDIR names nothing: the attempt there then says so.
    const QString temp =
        QDir::tempPath().isEmpty() ? qEnvironmentVariable("TMPDIR") : QDir::tempPath();
    QStringList folders{QFileInfo(doc.path).absolutePath(), dataFolder, temp};
    folders.removeDuplicates();  // a painting of no file is named in the data folder
    QStringList tried;
    for (const QString& folder : folders) {
        if (folder == dataFolder) {
            const QString unmade = MakeFolder(folder);
            if (!unmade.isEmpty()) {
                tried << unmade;
                continue;
            }
        }
        const QString name = RescueName(folder, doc.path);
        if (WriteFileAtomically(name, png, mode, &reason)) return name;
        tried << reason;
    }
    *why = QStringLiteral("written either (%1)").arg(tried.join(QStringLiteral("; ")));
    return {};
}

QString RescueFolderOfData() { return DataRescueFolder(); }
