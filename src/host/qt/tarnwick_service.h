// Serves a Host on the D-Bus session bus as the object /Tarnwick_Class, interface
// Tarnwick.Tarnwick_Class: each method forwards to the Host behind it, and a HostError (or any
// other failure) goes back to the caller as an error reply. Planes go both ways as (iiay) and,
// through the ...Fd methods, as sealed memory files. The reference host serves an image file
// this way; tests serve a recording host.
#pragma once
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <memory>

#include "host/host.h"
#include "host/qt/dbus_interface.h"

// The window Marlo handed over, as the host reaches it: /Form1 at the caller's unique name.
class RemoteForm : public QObject, public HostCallbackTarget {
    Q_OBJECT

public:
    RemoteForm(QDBusConnection connection, QString service, QString path,
               QObject* parent = nullptr);
    // Calls PrefsCallback without waiting: Marlo may be inside a call to us right now.
    // The outcome arrives as prefsCallbackAnswered.
    void PrefsCallback() override;
    // Marlo shows its canvas window itself.
    void ShowCanvas() override {}
    const QString& service() const { return service_; }
    const QString& path() const { return path_; }

signals:
    void prefsCallbackAnswered(const QString& error);  // empty when it succeeded

private:
    QDBusConnection connection_;
    QString service_;
    QString path_;
};

class TarnwickService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Tarnwick.Tarnwick_Class")

public:
    explicit TarnwickService(std::shared_ptr<Host> host, QObject* parent = nullptr);
    ~TarnwickService() override;

    // Registers the object on `connection`, and the name too when claimName is set.
    // Returns false with the reason in *error.
    bool Publish(QDBusConnection connection, bool claimName, QString* error);
    // The same; without offerFds only the (iiay) methods are served (and introspected), as by
    // a host that cannot pass file descriptors.
    bool Publish(QDBusConnection connection, bool claimName, bool offerFds, QString* error);
    // The window of the last Tarn_SendFormObject, or null.
    RemoteForm* form() const { return form_.get(); }

signals:
    // After every call the host answered without error (not exported on the bus).
    void answered(const QString& method);
    void formReceived(const QString& service, const QString& path);

    // The scriptable slots are the methods every host serves; the others, the ...Fd methods,
    // are left out when publishing without file descriptors.
public slots:
    Q_SCRIPTABLE qint32 Tarn_GetPaperWidth();
    Q_SCRIPTABLE qint32 tarn_GetPaperHeight();
    Q_SCRIPTABLE BusPlane Tarn_GetPaper();
    BusPlaneFd Tarn_GetPaperFd();
    Q_SCRIPTABLE qint32 Tarn_BufferWidth();
    Q_SCRIPTABLE qint32 Tarn_BufferHeight();
    Q_SCRIPTABLE BusPlane Tarn_GetRBuffer();
    Q_SCRIPTABLE BusPlane Tarn_GetGBuffer();
    Q_SCRIPTABLE BusPlane Tarn_GetBBuffer();
    BusPlaneFd Tarn_GetRBufferFd();
    BusPlaneFd Tarn_GetGBufferFd();
    BusPlaneFd Tarn_GetBBufferFd();
    Q_SCRIPTABLE void Tarn_SendFormObject(const QDBusObjectPath& window, qint16 zero);
    Q_SCRIPTABLE void Tarn_SaveUndo();
    Q_SCRIPTABLE void Tarn_SetRbuffer(const BusPlane& plane);
    Q_SCRIPTABLE void Tarn_SetGbuffer(const BusPlane& plane);
    Q_SCRIPTABLE void Tarn_SetBbuffer(const BusPlane& plane);
    void Tarn_SetRbufferFd(const BusPlaneFd& plane);
    void Tarn_SetGbufferFd(const BusPlaneFd& plane);
    void Tarn_SetBbufferFd(const BusPlaneFd& plane);
    Q_SCRIPTABLE void tarn_Refresh();
    Q_SCRIPTABLE QString Tarn_WallpaperFilename();
    // Optional: what Get image reads (sending false) or Send image writes, for Marlo's tooltips.
    Q_SCRIPTABLE QString Tarn_DescribeImage(bool sending);
    Q_SCRIPTABLE QString Tarn_GetNames(QString& image);

private:
    template <typename F>
    auto Forward(const char* method, F&& body) -> decltype(body());
    BusPlane PlaneReply(const char* method, const char* fdMethod, Plane (Host::*get)());
    BusPlaneFd PlaneFdReply(const char* method, Plane (Host::*get)());
    void SetPlane(const char* method, const BusPlane& plane, void (Host::*set)(const Plane&));
    void SetPlaneFd(const char* method, const BusPlaneFd& plane, void (Host::*set)(const Plane&));

    std::shared_ptr<Host> host_;
    std::unique_ptr<RemoteForm> form_;
};
