#include "dbus_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <QUuid>

#include "core/errors.h"
#include "host/qt/dbus_interface.h"

namespace {

QString FreshConnectionName() {
    return QStringLiteral("test-host-") + QUuid::createUuid().toString();
}

QDBusConnection Connect(const QString& name) {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

}  // namespace

ServedHost::ServedHost(std::shared_ptr<Host> host, bool offerFds) : name_(FreshConnectionName()) {
    service_ = new TarnwickService(std::move(host));
    service_->moveToThread(&thread_);
    thread_.start();
    QString error;
    const bool published = service_->Publish(Connect(name_), true, offerFds, &error);
    EXPECT_TRUE(published) << error.toStdString();
}

ServedHost::~ServedHost() {
    Leave();
    thread_.quit();
    thread_.wait();
    delete service_;
}

QDBusConnection ServedHost::connection() const { return QDBusConnection(name_); }

void ServedHost::Leave() {
    if (!connected_) return;
    connected_ = false;
    // The window handed to the host still holds the connection, so take the name and the
    // object off the bus first: that much is certain to be gone at once.
    {
        QDBusConnection bus(name_);
        bus.unregisterService(QLatin1String(kTarnwickService));
        bus.unregisterObject(QLatin1String(kTarnwickPath));
    }
    QDBusConnection::disconnectFromBus(name_);
}

ScriptedHost::ScriptedHost() : name_(FreshConnectionName()) {
    replies_[QStringLiteral("Introspect")] = {QString()};
    moveToThread(&thread_);
    thread_.start();
    QDBusConnection bus = Connect(name_);
    EXPECT_TRUE(bus.registerVirtualObject(QLatin1String(kTarnwickPath), this));
    EXPECT_TRUE(bus.registerService(QLatin1String(kTarnwickService)));
}

ScriptedHost::~ScriptedHost() {
    {
        QDBusConnection bus(name_);
        bus.unregisterService(QLatin1String(kTarnwickService));
        bus.unregisterObject(QLatin1String(kTarnwickPath));
    }
    QDBusConnection::disconnectFromBus(name_);
    thread_.quit();
    thread_.wait();
}

void ScriptedHost::Script(const QString& method, const QVariantList& args) {
    QMutexLocker lock(&mutex_);
    replies_[method] = args;
}

void ScriptedHost::ScriptError(const QString& method) {
    QMutexLocker lock(&mutex_);
    refused_.insert(method);
}

void ScriptedHost::Unscript(const QString& method) {
    QMutexLocker lock(&mutex_);
    replies_.remove(method);
}

int ScriptedHost::Calls(const QString& method) {
    QMutexLocker lock(&mutex_);
    return calls_.value(method);
}

QString ScriptedHost::introspect(const QString&) const { return {}; }

QString ScriptedHost::Caller(const QString& method) {
    QMutexLocker lock(&mutex_);
    return callers_.value(method);
}

bool ScriptedHost::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    QMutexLocker lock(&mutex_);
    if (!callers_.contains(message.member())) callers_[message.member()] = message.service();
    ++calls_[message.member()];
    const auto reply = replies_.constFind(message.member());
    if (refused_.contains(message.member()))
        connection.send(message.createErrorReply(QStringLiteral("Tarnwick.Error.Refused"),
                                                 QStringLiteral("the image is locked")));
    else if (reply != replies_.constEnd())
        connection.send(message.createReply(*reply));
    return true;
}

std::shared_ptr<DbusHost> AttachDbusHost(DbusTimeouts timeouts) {
    QString error;
    auto host = std::dynamic_pointer_cast<DbusHost>(
        ConnectDbusHost(QDBusConnection::sessionBus(), timeouts, &error));
    EXPECT_TRUE(host) << error.toStdString();
    return host;
}

QVariant RawPlane(int width, int height, int byteCount) {
    QDBusArgument arg;
    arg.beginStructure();
    arg << qint32(width) << qint32(height) << QByteArray(byteCount, '\x7f');
    arg.endStructure();
    return QVariant::fromValue(arg);
}

QVariant FdPlane(int width, int height, int fd) {
    RegisterBusTypes();
    return QVariant::fromValue(BusPlaneFd{width, height, QDBusUnixFileDescriptor(fd)});
}

int MemoryFile(int byteCount, int seals) {
    const int fd = ::memfd_create("test-plane", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    EXPECT_GE(fd, 0);
    const QByteArray bytes(byteCount, '\x7f');
    EXPECT_EQ(::write(fd, bytes.constData(), size_t(byteCount)), byteCount);
    if (seals) {
        EXPECT_EQ(::fcntl(fd, F_ADD_SEALS, seals), 0);
    }
    return fd;
}

QString FdMethodsXml() {
    QString methods;
    for (const char* get :
         {"Tarn_GetPaperFd", "Tarn_GetRBufferFd", "Tarn_GetGBufferFd", "Tarn_GetBBufferFd"})
        methods +=
            QStringLiteral("<method name=\"%1\"><arg type=\"(iih)\" direction=\"out\"/></method>")
                .arg(QLatin1String(get));
    for (const char* set : {"Tarn_SetRbufferFd", "Tarn_SetGbufferFd", "Tarn_SetBbufferFd"})
        methods +=
            QStringLiteral("<method name=\"%1\"><arg type=\"(iih)\" direction=\"in\"/></method>")
                .arg(QLatin1String(set));
    return QStringLiteral("<node><interface name=\"%1\">%2</interface></node>")
        .arg(QLatin1String(kTarnwickInterface), methods);
}

void ExpectHostError(const std::function<void()>& call, const std::string& words,
                     const char* noError) {
    try {
        call();
        ADD_FAILURE() << noError;
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
}
