// The settings stores: the host theme's (tarnwick.ini) and Marlo's own (marlo.conf). QSettings
// reads whatever is at a store's path as soon as it is made, so a FIFO or a device there would
// hold the start for ever: a store is opened only when its path holds a regular file or nothing
// yet.
#pragma once
#include <QSettings>
#include <QString>
#include <memory>

// Where QSettings keeps the user's store of that name, found without opening it.
QString SettingsStorePath(QSettings::Format format, const QString& name);
// The store, or nullptr when its path holds something other than a regular file (said once a
// path on stderr; the caller goes on with its built-in values).
std::unique_ptr<QSettings> OpenSettingsStore(QSettings::Format format, const QString& name);

// The program's own store (organisation and application name), apart from Tarnwick's theme.
inline constexpr const char* kSettingsName = "marlo";
inline std::unique_ptr<QSettings> MarloSettings() {
    return OpenSettingsStore(QSettings::NativeFormat, QLatin1String(kSettingsName));
}
