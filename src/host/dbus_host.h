// The host reached over the D-Bus session bus: every Host method is one synchronous call to
// the object /Tarnwick_Class (interface Tarnwick.Tarnwick_Class) of the process that owned
// the name Tarnwick.Tarnwick_Class when we connected. An error reply, a timeout, a host that
// has left the bus or an answer we cannot use throws HostError and changes nothing here.
#pragma once
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <memory>
#include <optional>

#include "host/host.h"

class DbusFormObject;

struct DbusTimeouts {
    int callMs = 5000;            // any call
    int perMegapixelMs = 1000;    // added for calls that move or write a whole image
};

class DbusHost : public Host {
public:
    // owner: the unique name (":1.42") of the host process.
    DbusHost(QDBusConnection connection, QString owner, DbusTimeouts timeouts = {});
    ~DbusHost() override;
    DbusHost(const DbusHost&) = delete;
    DbusHost& operator=(const DbusHost&) = delete;

    int32_t Tarn_GetPaperWidth() override;
    int32_t tarn_GetPaperHeight() override;
    Plane Tarn_GetPaper() override;
    int32_t Tarn_BufferWidth() override;
    int32_t Tarn_BufferHeight() override;
    Plane Tarn_GetRBuffer() override;
    Plane Tarn_GetGBuffer() override;
    Plane Tarn_GetBBuffer() override;
    // Exports `window` at /Form1, tells the host, then shows the canvas window.
    void Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) override;
    void Tarn_SaveUndo() override;
    void Tarn_SetRbuffer(const Plane& plane) override;
    void Tarn_SetGbuffer(const Plane& plane) override;
    void Tarn_SetBbuffer(const Plane& plane) override;
    void tarn_Refresh() override;
    std::string Tarn_WallpaperFilename() override;

    const QString& owner() const { return owner_; }

private:
    QDBusMessage Call(const char* method, const QVariantList& args, int timeoutMs);
    int32_t CallSize(const char* method, const char* what, std::optional<int32_t>* remember);
    Plane CallPlane(const char* method, const char* what, std::optional<int32_t> width,
                    std::optional<int32_t> height);
    void CallSet(const char* method, const Plane& plane);
    int ImageTimeout(std::optional<int32_t> width, std::optional<int32_t> height) const;
    void DropForm();

    QDBusConnection connection_;
    QString owner_;
    DbusTimeouts timeouts_;
    // The sizes the host reported last; planes and paper must agree with them.
    std::optional<int32_t> paperWidth_, paperHeight_, bufferWidth_, bufferHeight_;
    std::unique_ptr<DbusFormObject> form_;
};

// Attaches to the host that owns Tarnwick.Tarnwick_Class on the session bus. On failure
// returns null with a one-line reason in *error.
std::shared_ptr<Host> ConnectDbusHost(QString* error);
std::shared_ptr<Host> ConnectDbusHost(QDBusConnection connection, DbusTimeouts timeouts,
                                      QString* error);
