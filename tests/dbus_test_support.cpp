#include "dbus_test_support.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QUuid>
#include <gtest/gtest.h>

#include "host/dbus_interface.h"

namespace {

QString FreshConnectionName() { return QStringLiteral("test-host-") + QUuid::createUuid().toString(); }

QDBusConnection Connect(const QString& name) {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

}  // namespace

ServedHost::ServedHost(std::shared_ptr<Host> host) : name_(FreshConnectionName()) {
    service_ = new TarnwickService(std::move(host));
    service_->moveToThread(&thread_);
    thread_.start();
    QString error;
    const bool published = service_->Publish(Connect(name_), true, &error);
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

QString ScriptedHost::introspect(const QString&) const { return {}; }

bool ScriptedHost::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    QMutexLocker lock(&mutex_);
    const auto reply = replies_.constFind(message.member());
    if (reply != replies_.constEnd()) connection.send(message.createReply(*reply));
    return true;
}

std::shared_ptr<DbusHost> AttachDbusHost(DbusTimeouts timeouts) {
    QString error;
    auto host = std::dynamic_pointer_cast<DbusHost>(ConnectDbusHost(QDBusConnection::sessionBus(), timeouts, &error));
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
