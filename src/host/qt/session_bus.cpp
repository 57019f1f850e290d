#include "host/qt/session_bus.h"

#include <sys/stat.h>

#include <QFile>

bool FindSessionBus(QString* why) {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    struct stat st {};
    if (!runtime.isEmpty() && ::stat(QFile::encodeName(socket).constData(), &st) == 0 &&
        S_ISSOCK(st.st_mode)) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(socket));
        return true;
    }
    *why = QStringLiteral(
        "there is no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is not set and there is no "
        "user bus at $XDG_RUNTIME_DIR/bus)");
    return false;
}
