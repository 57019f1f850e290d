// Hosts on the session bus for the D-Bus tests. Each has a bus connection of its own, apart
// from the one Marlo's side uses, so that a synchronous call from the test thread is answered
// while that thread waits.
#pragma once
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QVariantList>
#include <functional>
#include <memory>
#include <string>

#include "host/qt/dbus_host.h"
#include "host/qt/tarnwick_service.h"

// A Host served under the name Tarnwick.Tarnwick_Class by TarnwickService, whose calls run on
// a thread of their own; without offerFds it serves planes only as (iiay).
class ServedHost {
public:
    explicit ServedHost(std::shared_ptr<Host> host, bool offerFds = true);
    ~ServedHost();
    TarnwickService* service() const { return service_; }
    QDBusConnection connection() const;
    // The host leaves the bus as if its process had ended.
    void Leave();

private:
    QString name_;
    QThread thread_;
    TarnwickService* service_;
    bool connected_ = true;
};

// Answers each method with a fixed reply, whatever it is; a method without one is never
// answered (a host that hangs). Its introspection (the method Introspect) answers an empty
// text unless scripted otherwise. It answers on a thread of its own.
class ScriptedHost : public QDBusVirtualObject {
public:
    ScriptedHost();
    ~ScriptedHost() override;
    // args become the reply to method.
    void Script(const QString& method, const QVariantList& args);
    // method is answered with an error (a host that refuses it).
    void ScriptError(const QString& method);
    // The method is answered no more: its next call waits for ever.
    void Unscript(const QString& method);
    // The unique name that called `method` first, once it has (empty before).
    QString Caller(const QString& method);
    // How many times `method` was called.
    int Calls(const QString& method);
    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QString name_;
    QThread thread_;
    QMutex mutex_;
    QMap<QString, QVariantList> replies_;
    QSet<QString> refused_;
    QMap<QString, QString> callers_;
    QMap<QString, int> calls_;
};

// A DbusHost on the test's own session-bus connection, attached to whoever owns the name.
std::shared_ptr<DbusHost> AttachDbusHost(DbusTimeouts timeouts = {});

// A (iiay) struct as a reply argument, with any content, consistent or not.
QVariant RawPlane(int width, int height, int byteCount);
// A (iih) struct as an argument: the sizes and a duplicate of fd (which stays the caller's).
QVariant FdPlane(int width, int height, int fd);
// A memory file holding byteCount bytes, with the given seals added; the caller closes it.
int MemoryFile(int byteCount, int seals);
// Introspection data offering every ...Fd method.
QString FdMethodsXml();
// call() throws a HostError whose text holds `words`; otherwise a failure saying `noError`.
void ExpectHostError(const std::function<void()>& call, const std::string& words,
                     const char* noError);
