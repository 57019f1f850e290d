#include "host/qt/dbus_form.h"

#include <QDBusError>
#include <exception>

DbusFormObject::DbusFormObject(HostCallbackTarget* window, QObject* parent)
    : QObject(parent),
      window_(window),
      windowObject_(dynamic_cast<QObject*>(window)),
      guarded_(windowObject_ != nullptr) {}

void DbusFormObject::PrefsCallback() {
    if (!window_ || (guarded_ && !windowObject_)) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::UnknownObject,
                           QStringLiteral("the canvas window is closed"));
        return;
    }
    try {
        window_->PrefsCallback();
    } catch (const std::exception& e) {
        if (calledFromDBus()) sendErrorReply(QDBusError::Failed, QString::fromStdString(e.what()));
    }
}
