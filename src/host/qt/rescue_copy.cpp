#include "host/qt/rescue_copy.h"

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "host/qt/file_ops.h"

namespace {

// $XDG_DATA_HOME/marlo/rescue, or ~/.local/share/marlo/rescue.
QString DataRescueFolder() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/marlo/rescue");
}

// A rescue name that fits any file system's name limit, whatever the image's name.
QString RescueName(const QString& folder, const QString& imagePath) {
    QString base = QFileInfo(imagePath).completeBaseName();
    if (base.isEmpty()) base = QStringLiteral("painting");
    while (base.toUtf8().size() > 180) base.chop(1);
    const QDir dir(folder);
    QString name = base + QStringLiteral(".marlo-rescue.png");
    for (int n = 1; QFileInfo::exists(dir.filePath(name)); ++n)
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
    QStringList tried;
    for (const QString& folder :
         {QFileInfo(doc.path).absolutePath(), dataFolder, QDir::tempPath()}) {
        if (folder == dataFolder) QDir().mkpath(folder);
        const QString name = RescueName(folder, doc.path);
        if (WriteFileAtomically(name, png, mode, &reason)) return name;
        tried << reason;
    }
    *why = QStringLiteral("written either (%1)").arg(tried.join(QStringLiteral("; ")));
    return {};
}

QString RescueFolderOfData() { return DataRescueFolder(); }
