// The host reached over the D-Bus session bus: every Host method is one synchronous call to
// the object /Tarnwick_Class (interface Tarnwick.Tarnwick_Class) of the process that owned
// the name Tarnwick.Tarnwick_Class when we connected. Planes travel as sealed memory files
// (the ...Fd methods) when the host's introspection offers them, else as (iiay) arrays.
// An error reply, a timeout, a host that has left the bus, an answer we cannot use, a plane
// too large for the way it would travel, or a SIGTERM / SIGINT during the wait throws
// HostError and changes nothing here.
#pragma once
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <memory>
#include <optional>
#include <set>

#include "host/host.h"

class DbusFormObject;

struct DbusTimeouts {
    int callMs = 5000;          // any call
    int perMegapixelMs = 1000;  // added for calls that move or write a whole image
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
    // The host's Tarn_DescribeImage, when its introspection lists it; else empty.
    std::string Describe(bool sending) override;
    // From Tarn_GetNames; a host that does not serve it has the defaults.
    std::string HostName() override;
    std::string ImageName() override;

    const QString& owner() const { return owner_; }
    // Whether the host offers `method` (one of the optional methods: the ...Fd ones,
    // Tarn_DescribeImage) and this connection can pass file descriptors. The host's
    // introspection is asked once, at the first need.
    bool Offers(const char* method);

private:
    // Sends `call` and waits for its answer, whatever it is; only a termination signal during
    // the wait throws.
    QDBusMessage Exchange(const char* method, const QDBusMessage& call, int timeoutMs);
    QDBusMessage Call(const char* method, const QVariantList& args, int timeoutMs);
    int32_t CallSize(const char* method, const char* what, std::optional<int32_t>* remember);
    Plane CallPlane(const char* method, const char* fdMethod, const char* what,
                    std::optional<int32_t> width, std::optional<int32_t> height);
    void CallSet(const char* method, const char* fdMethod, const Plane& plane);
    // CallSet for the plane at `index` (0 red, 1 green, 2 blue) of a write-back; a failure
    // after earlier planes of it arrived says what the host was left with.
    void SetPlane(int index, const char* method, const char* fdMethod, const Plane& plane);
    int ImageTimeout(std::optional<int32_t> width, std::optional<int32_t> height) const;
    // Refuses, at the size call that completes it, an image or paper that cannot cross.
    void CheckCrossing(const char* method);
    void DropForm();
    // The host's and the image's names, or none when the host does not give them.
    std::optional<std::pair<std::string, std::string>> Names();

    QDBusConnection connection_;
    QString owner_;
    DbusTimeouts timeouts_;
    // The sizes the host reported last; planes and paper must agree with them.
    std::optional<int32_t> paperWidth_, paperHeight_, bufferWidth_, bufferHeight_;
    std::unique_ptr<DbusFormObject> form_;
    // The optional methods the host offers, once asked.
    std::optional<std::set<QString>> fdMethods_;
    // Whether the paper's and the image's sizes were judged for crossing the bus.
    bool paperJudged_ = false, imageJudged_ = false;
    // The planes of the write-back under way (since Tarn_SaveUndo) the host has taken.
    int planesTaken_ = 0;
};

// Attaches to the host that owns Tarnwick.Tarnwick_Class on the session bus. On failure
// returns null with a one-line reason in *error.
std::shared_ptr<Host> ConnectDbusHost(QString* error);
std::shared_ptr<Host> ConnectDbusHost(QDBusConnection connection, DbusTimeouts timeouts,
                                      QString* error);
