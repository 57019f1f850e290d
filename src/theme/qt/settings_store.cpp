#include "theme/qt/settings_store.h"

#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <cstdio>

QString SettingsStorePath(QSettings::Format format, const QString& name) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + name + QLatin1Char('/') + name +
           (format == QSettings::IniFormat ? QLatin1String(".ini") : QLatin1String(".conf"));
}

std::unique_ptr<QSettings> OpenSettingsStore(QSettings::Format format, const QString& name) {
    const QString path = SettingsStorePath(format, name);
    const QFileInfo file(path);  // a link counts as what it points to
    if (file.exists() && !file.isFile()) {
        static QSet<QString> told;
        if (!told.contains(path)) {
            told.insert(path);
            std::fprintf(stderr,
                         "marlo: the settings file %s is not a regular file; it is left alone "
                         "and the built-in settings are used\n",
                         qPrintable(QFileInfo(path).absoluteFilePath()));
        }
        return nullptr;
    }
    return std::make_unique<QSettings>(path, format);
}
