#include "host/dbus_form.h"

#include <QDBusError>
#include <exception>

void DbusFormObject::PrefsCallback() {
    try {
        if (window_) window_->PrefsCallback();
    } catch (const std::exception& e) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, QString::fromStdString(e.what()));
    }
}
