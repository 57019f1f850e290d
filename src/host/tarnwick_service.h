// Serves a Host on the D-Bus session bus as the object /Tarnwick_Class, interface
// Tarnwick.Tarnwick_Class: each method forwards to the Host behind it, and a HostError (or any
// other failure) goes back to the caller as an error reply. The reference host serves an image
// file this way; tests serve a recording host.
#pragma once
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <memory>

#include "host/dbus_interface.h"
#include "host/host.h"

// The window Marlo handed over, as the host reaches it: /Form1 at the caller's unique name.
class RemoteForm : public QObject, public HostCallbackTarget {
    Q_OBJECT

public:
    RemoteForm(QDBusConnection connection, QString service, QString path, QObject* parent = nullptr);
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
    // The window of the last Tarn_SendFormObject, or null.
    RemoteForm* form() const { return form_.get(); }

signals:
    // After every call the host answered without error (not exported on the bus).
    void answered(const QString& method);
    void formReceived(const QString& service, const QString& path);

public slots:
    qint32 Tarn_GetPaperWidth();
    qint32 tarn_GetPaperHeight();
    BusPlane Tarn_GetPaper();
    qint32 Tarn_BufferWidth();
    qint32 Tarn_BufferHeight();
    BusPlane Tarn_GetRBuffer();
    BusPlane Tarn_GetGBuffer();
    BusPlane Tarn_GetBBuffer();
    void Tarn_SendFormObject(const QDBusObjectPath& window, qint16 zero);
    void Tarn_SaveUndo();
    void Tarn_SetRbuffer(const BusPlane& plane);
    void Tarn_SetGbuffer(const BusPlane& plane);
    void Tarn_SetBbuffer(const BusPlane& plane);
    void tarn_Refresh();
    QString Tarn_WallpaperFilename();

private:
    template <typename F>
    auto Forward(const char* method, F&& body) -> decltype(body());
    BusPlane PlaneReply(const char* method, Plane (Host::*get)());
    void SetPlane(const char* method, const BusPlane& plane, void (Host::*set)(const Plane&));

    std::shared_ptr<Host> host_;
    std::unique_ptr<RemoteForm> form_;
};
