#include "host/qt/dbus_interface.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDBusMetaType>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Every seal: the file can neither shrink (a reader's mapping would fault), grow, change, nor
// lose these seals.
constexpr int kPlaneSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

namespace {

// A plane on the bus is the structure (width, height, what holds its bytes).
template <typename P, typename Bytes>
QDBusArgument& WritePlane(QDBusArgument& arg, const P& plane, Bytes P::*bytes) {
    arg.beginStructure();
    arg << plane.width << plane.height << plane.*bytes;
    arg.endStructure();
    return arg;
}

template <typename P, typename Bytes>
const QDBusArgument& ReadPlane(const QDBusArgument& arg, P& plane, Bytes P::*bytes) {
    arg.beginStructure();
    arg >> plane.width >> plane.height >> plane.*bytes;
    arg.endStructure();
    return arg;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const BusPlane& plane) {
    return WritePlane(arg, plane, &BusPlane::bytes);
}
const QDBusArgument& operator>>(const QDBusArgument& arg, BusPlane& plane) {
    return ReadPlane(arg, plane, &BusPlane::bytes);
}
QDBusArgument& operator<<(QDBusArgument& arg, const BusPlaneFd& plane) {
    return WritePlane(arg, plane, &BusPlaneFd::fd);
}
const QDBusArgument& operator>>(const QDBusArgument& arg, BusPlaneFd& plane) {
    return ReadPlane(arg, plane, &BusPlaneFd::fd);
}

void RegisterBusTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<BusPlane>();
        qDBusRegisterMetaType<BusPlaneFd>();
        return true;
    }();
    (void)registered;
}

QString BusPlaneFault(const BusPlane& plane) {
    if (plane.width < 0 || plane.height < 0)
        return QStringLiteral("a plane of negative size (%1 x %2)")
            .arg(plane.width)
            .arg(plane.height);
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

QString ArrayPlaneRefusal(qint64 width, qint64 height) {
    const qint64 bytes = width * height;
    if (bytes <= kMaxArrayPlaneBytes) return {};
    return QStringLiteral(
               "a %1 x %2 plane is %3 bytes, more than the %4 bytes a (iiay) message can carry "
               "over the session bus")
        .arg(width)
        .arg(height)
        .arg(bytes)
        .arg(kMaxArrayPlaneBytes);
}

BusPlaneFd SealedPlane(const Plane& plane, QString* error) {
    BusPlaneFd bus;
    bus.width = plane.width;
    bus.height = plane.height;
    const int fd = ::memfd_create("marlo-plane", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        *error = SystemError("cannot create a memory file for the plane");
        return bus;
    }
    const size_t size = plane.bytes.size();
    bool written = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (size_t done = 0; written && done < size;) {
        const ssize_t n =
            ::pwrite(fd, plane.bytes.data() + done, std::min<size_t>(size - done, size_t(1) << 30),
                     static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    if (!written) {
        *error = SystemError("cannot fill the plane's memory file");
        ::close(fd);
        return bus;
    }
    if (::fcntl(fd, F_ADD_SEALS, kPlaneSeals) != 0) {
        *error = SystemError("cannot seal the plane's memory file");
        ::close(fd);
        return bus;
    }
    bus.fd.giveFileDescriptor(fd);
    return bus;
}

bool ReadSealedPlane(const BusPlaneFd& bus, Plane* plane, QString* error) {
    if (bus.width < 0 || bus.height < 0) {
        *error =
            QStringLiteral("a plane of negative size (%1 x %2)").arg(bus.width).arg(bus.height);
        return false;
    }
    if (!bus.fd.isValid()) {
        *error = QStringLiteral("a %1 x %2 plane without a file descriptor")
                     .arg(bus.width)
                     .arg(bus.height);
        return false;
    }
    const int fd = bus.fd.fileDescriptor();
    // Seals first: once the size is sealed, the size read next is the size the file keeps.
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (seals < 0) {
        *error = QStringLiteral("a %1 x %2 plane in a file that is no sealed memory file")
                     .arg(bus.width)
                     .arg(bus.height);
        return false;
    }
    if ((seals & kPlaneSeals) != kPlaneSeals) {
        *error =
            QStringLiteral(
                "a %1 x %2 plane in a memory file that is not sealed against shrinking, growing, "
                "writing and further seals")
                .arg(bus.width)
                .arg(bus.height);
        return false;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("a %1 x %2 plane in a file that is no memory file")
                     .arg(bus.width)
                     .arg(bus.height);
        return false;
    }
    const qint64 expected = qint64(bus.width) * bus.height;
    if (qint64(st.st_size) != expected) {
        *error = QStringLiteral("a %1 x %2 plane in a memory file of %3 bytes instead of %4")
                     .arg(bus.width)
                     .arg(bus.height)
                     .arg(qint64(st.st_size))
                     .arg(expected);
        return false;
    }
    Plane result(bus.width, bus.height);
    const size_t size = result.bytes.size();
    for (size_t done = 0; done < size;) {
        const ssize_t n =
            ::pread(fd, result.bytes.data() + done, std::min<size_t>(size - done, size_t(1) << 30),
                    static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = n < 0 ? SystemError("cannot read the plane's memory file")
                           : QStringLiteral("the plane's memory file ended early");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    *plane = std::move(result);
    return true;
}
