// Marlo's canvas window as the host sees it on the bus: the object /Form1 with the interface
// Marlo.Form1, whose one method hands the host's call-back to the window.
#pragma once
#include <QDBusContext>
#include <QObject>
#include <QPointer>

#include "host/host.h"

class DbusFormObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Marlo.Form1")

public:
    explicit DbusFormObject(HostCallbackTarget* window, QObject* parent = nullptr);

public slots:
    // Applies the host theme to the palette again. A failure goes back to the host as an
    // error reply; it never unwinds into the event loop.
    void PrefsCallback();

private:
    HostCallbackTarget* window_;
    // Set when the window is a QObject: a call-back after the window was destroyed is refused.
    QPointer<QObject> windowObject_;
    bool guarded_ = false;
};
