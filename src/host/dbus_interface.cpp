#include "host/dbus_interface.h"

#include <QDBusMetaType>
#include <cstring>

QDBusArgument& operator<<(QDBusArgument& arg, const BusPlane& plane) {
    arg.beginStructure();
    arg << plane.width << plane.height << plane.bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, BusPlane& plane) {
    arg.beginStructure();
    arg >> plane.width >> plane.height >> plane.bytes;
    arg.endStructure();
    return arg;
}

void RegisterBusTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<BusPlane>();
        return true;
    }();
    (void)registered;
}

QString BusPlaneFault(const BusPlane& plane) {
    if (plane.width < 0 || plane.height < 0)
        return QStringLiteral("a plane of negative size (%1 x %2)").arg(plane.width).arg(plane.height);
    const qint64 expected = qint64(plane.width) * plane.height;
    if (expected != plane.bytes.size())
        return QStringLiteral("a %1 x %2 plane with %3 bytes instead of %4")
            .arg(plane.width)
            .arg(plane.height)
            .arg(plane.bytes.size())
            .arg(expected);
    return {};
}

BusPlane BorrowBusPlane(const Plane& plane) {
    BusPlane bus;
    bus.width = plane.width;
    bus.height = plane.height;
    bus.bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(plane.bytes.data()),
                                        static_cast<qsizetype>(plane.bytes.size()));
    return bus;
}

Plane ToPlane(const BusPlane& bus) {
    Plane plane;
    plane.width = bus.width;
    plane.height = bus.height;
    plane.bytes.resize(static_cast<size_t>(bus.bytes.size()));
    if (!bus.bytes.isEmpty())
        std::memcpy(plane.bytes.data(), bus.bytes.constData(), plane.bytes.size());
    return plane;
}
