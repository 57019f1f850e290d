#include "host/qt/dbus_host.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QXmlStreamReader>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "core/errors.h"
#include "core/termination.h"
#include "host/qt/dbus_form.h"
#include "host/qt/dbus_interface.h"
#include "host/qt/session_bus.h"

namespace {

[[noreturn]] void Fail(const char* method, const QString& why) {
    throw HostError(
        QStringLiteral("host call %1: %2").arg(QLatin1String(method), why).toStdString());
}

QString DescribeError(const QDBusMessage& reply) {
    const QDBusError error(reply);
    if (error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return QStringLiteral("the host has left the bus");
    switch (error.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::Disconnected: return QStringLiteral("the host has left the bus");
        case QDBusError::NoReply:
            // The bus says so at once when the host's process ends during the call.
            if (error.message().contains(QLatin1String("disconnected"), Qt::CaseInsensitive))
                return QStringLiteral("the host left the bus without answering (%1)")
                    .arg(error.message());
            [[fallthrough]];
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
            return QStringLiteral("the host did not answer (%1)").arg(error.message());
        default:
            return QStringLiteral("the host answered with an error: %1: %2")
                .arg(error.name(), error.message());
    }
}

// A number in any D-Bus integer or floating type, as a 32-bit integer (halves to even).
std::optional<int32_t> ToInt32(const QDBusMessage& reply) {
    if (reply.arguments().size() != 1) return std::nullopt;
    const QVariant v = reply.arguments().front();
    const QString sig = reply.signature();
    if (sig == QLatin1String("d")) {
        const double d = std::nearbyint(v.toDouble());
        if (!std::isfinite(d) || d < std::numeric_limits<int32_t>::min() ||
            d > std::numeric_limits<int32_t>::max())
            return std::nullopt;
        return static_cast<int32_t>(d);
    }
    if (sig == QLatin1String("t")) {
        const qulonglong u = v.toULongLong();
        if (u > qulonglong(std::numeric_limits<int32_t>::max())) return std::nullopt;
        return static_cast<int32_t>(u);
    }
    if (sig.size() != 1 || !QStringLiteral("ynqiux").contains(sig)) return std::nullopt;
    const qlonglong n = v.toLongLong();
    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(n);
}

// The optional methods the host's introspection lists: those that take or give a plane as (iih),
// and Tarn_DescribeImage.
std::set<QString> OptionalMethodsIn(const QString& xml) {
    std::set<QString> methods;
    QXmlStreamReader reader(xml);
    bool inInterface = false;
    QString method;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("interface"))
            inInterface = reader.attributes().value(QLatin1String("name")) ==
                          QLatin1String(kTarnwickInterface);
        else if (reader.isEndElement() && reader.name() == QLatin1String("interface"))
            inInterface = false;
        else if (inInterface && reader.isStartElement() &&
                 reader.name() == QLatin1String("method")) {
            method = reader.attributes().value(QLatin1String("name")).toString();
            if (method == QLatin1String("Tarn_DescribeImage")) methods.insert(method);
        } else if (inInterface && reader.isStartElement() &&
                   reader.name() == QLatin1String("arg") &&
                   reader.attributes().value(QLatin1String("type")) ==
                       QLatin1String(kPlaneFdSignature))
            methods.insert(method);
    }
    return methods;
}

}  // namespace

DbusHost::DbusHost(QDBusConnection connection, QString owner, DbusTimeouts timeouts)
    : connection_(std::move(connection)), owner_(std::move(owner)), timeouts_(timeouts) {
    RegisterBusTypes();
}

DbusHost::~DbusHost() { DropForm(); }

QDBusMessage DbusHost::Exchange(const char* method, const QDBusMessage& call, int timeoutMs) {
    const uint32_t signalsBefore = TerminationSignals();
    QDBusPendingCall pending = connection_.asyncCall(call, timeoutMs);
    // No event loop runs while we wait: no window event may run in the middle of a host call.
    // QtDBus takes the answer in on a thread of its own, so polling sees it; between polls a
    // SIGTERM or SIGINT ends the wait at once (within 10 ms) rather than at the time-out.
    for (auto pause = std::chrono::microseconds(20); !pending.isFinished();
         pause = std::min(pause * 2, std::chrono::microseconds(10000))) {
        if (TerminationSignals() != signalsBefore)
            Fail(method, QStringLiteral("stopped by %1 before the host answered")
                             .arg(QLatin1String(LastTerminationSignalName())));
        std::this_thread::sleep_for(pause);
    }
    return pending.reply();
}

QDBusMessage DbusHost::Call(const char* method, const QVariantList& args, int timeoutMs) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(owner_, QLatin1String(kTarnwickPath),
                                       QLatin1String(kTarnwickInterface), QLatin1String(method));
    call.setArguments(args);
    QDBusMessage reply = Exchange(method, call, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) Fail(method, DescribeError(reply));
    return reply;
}

bool DbusHost::Offers(const char* method) {
    if (!fdMethods_) {
        std::set<QString> offered;
        if (connection_.connectionCapabilities().testFlag(
                QDBusConnection::UnixFileDescriptorPassing)) {
            const QDBusMessage reply =
                Exchange("Introspect",
                         QDBusMessage::createMethodCall(
                             owner_, QLatin1String(kTarnwickPath),
                             QStringLiteral("org.freedesktop.DBus.Introspectable"),
                             QStringLiteral("Introspect")),
                         timeouts_.callMs);
            // A host that cannot say what it serves is served the (iiay) way.
            if (reply.type() == QDBusMessage::ReplyMessage &&
                reply.signature() == QLatin1String("s"))
                offered = OptionalMethodsIn(reply.arguments().front().toString());
        }
        fdMethods_ = std::move(offered);
    }
    return fdMethods_->count(QLatin1String(method)) != 0;
}

int DbusHost::ImageTimeout(std::optional<int32_t> width, std::optional<int32_t> height) const {
    // An unknown size is budgeted as the largest image we expect, 4096 x 4096.
    const qint64 pixels = width && height ? qint64(*width) * *height : qint64(4096) * 4096;
    const qint64 ms = timeouts_.callMs + timeouts_.perMegapixelMs * pixels / (1 << 20);
    return static_cast<int>(std::min<qint64>(ms, std::numeric_limits<int>::max()));
}

int32_t DbusHost::CallSize(const char* method, const char* what, std::optional<int32_t>* remember) {
    const QDBusMessage reply = Call(method, {}, timeouts_.callMs);
    const std::optional<int32_t> value = ToInt32(reply);
    if (!value)
        Fail(method, QStringLiteral("the %1 is not a 32-bit number (reply signature \"%2\")")
                         .arg(QLatin1String(what), reply.signature()));
    if (*value < 0)
        Fail(method, QStringLiteral("negative %1 %2").arg(QLatin1String(what)).arg(*value));
    *remember = *value;
    CheckCrossing(method);
    return *value;
}

void DbusHost::CheckCrossing(const char* method) {
    // Each size pair is judged once, as soon as it is known: at start, before anything is
    // fetched or allocated. Later a set call judges its own plane.
    const auto judge = [&](bool* judged, std::optional<int32_t> w, std::optional<int32_t> h,
                           const char* what, std::initializer_list<const char*> fdMethods) {
        if (*judged || !w || !h) return;
        *judged = true;
        const QString refusal = ArrayPlaneRefusal(*w, *h);
        if (refusal.isEmpty()) return;
        QStringList missing;
        for (const char* fdMethod : fdMethods)
            if (!Offers(fdMethod)) missing << QLatin1String(fdMethod);
        if (missing.isEmpty()) return;
        Fail(method,
             QStringLiteral(
                 "Tarnwick's %1 of %2 x %3 pixels cannot cross the session bus: %4, and the "
                 "host does not offer %5 to hand it over as a memory file")
                 .arg(QLatin1String(what))
                 .arg(*w)
                 .arg(*h)
                 .arg(refusal, missing.join(QStringLiteral(", "))));
    };
    judge(&paperJudged_, paperWidth_, paperHeight_, "paper", {"Tarn_GetPaperFd"});
    judge(&imageJudged_, bufferWidth_, bufferHeight_, "image",
          {"Tarn_GetRBufferFd", "Tarn_GetGBufferFd", "Tarn_GetBBufferFd", "Tarn_SetRbufferFd",
           "Tarn_SetGbufferFd", "Tarn_SetBbufferFd"});
}

namespace {

// A plane's size must be the one the host reported.
void CheckReportedSize(const char* method, const char* what, int32_t w, int32_t h,
                       std::optional<int32_t> width, std::optional<int32_t> height) {
    if ((width && w != *width) || (height && h != *height))
        Fail(method, QStringLiteral("the %1 is %2 x %3 but the host reported %4 x %5")
                         .arg(QLatin1String(what))
                         .arg(w)
                         .arg(h)
                         .arg(width ? QString::number(*width) : QStringLiteral("?"))
                         .arg(height ? QString::number(*height) : QStringLiteral("?")));
}

}  // namespace

Plane DbusHost::CallPlane(const char* method, const char* fdMethod, const char* what,
                          std::optional<int32_t> width, std::optional<int32_t> height) {
    if (Offers(fdMethod)) {
        const QDBusMessage reply = Call(fdMethod, {}, ImageTimeout(width, height));
        if (reply.signature() != QLatin1String(kPlaneFdSignature))
            Fail(fdMethod, QStringLiteral("the %1 came as \"%2\" instead of \"%3\"")
                               .arg(QLatin1String(what), reply.signature(),
                                    QLatin1String(kPlaneFdSignature)));
        const BusPlaneFd bus = qdbus_cast<BusPlaneFd>(reply.arguments().front());
        CheckReportedSize(fdMethod, what, bus.width, bus.height, width, height);
        Plane plane;
        QString fault;
        if (!ReadSealedPlane(bus, &plane, &fault))
            Fail(fdMethod, QStringLiteral("the %1 came as %2").arg(QLatin1String(what), fault));
        return plane;
    }
    if (width && height) {
        const QString refusal = ArrayPlaneRefusal(*width, *height);
        if (!refusal.isEmpty())
            Fail(method, QStringLiteral("the %1 cannot cross the session bus: %2")
                             .arg(QLatin1String(what), refusal));
    }
    const QDBusMessage reply = Call(method, {}, ImageTimeout(width, height));
    if (reply.signature() != QLatin1String(kPlaneSignature))
        Fail(method,
             QStringLiteral("the %1 came as \"%2\" instead of \"%3\"")
                 .arg(QLatin1String(what), reply.signature(), QLatin1String(kPlaneSignature)));
    const BusPlane bus = qdbus_cast<BusPlane>(reply.arguments().front());
    const QString fault = BusPlaneFault(bus);
    if (!fault.isEmpty())
        Fail(method, QStringLiteral("the %1 is %2").arg(QLatin1String(what), fault));
    CheckReportedSize(method, what, bus.width, bus.height, width, height);
    return ToPlane(bus);
}

void DbusHost::CallSet(const char* method, const char* fdMethod, const Plane& plane) {
    if (plane.width < 0 || plane.height < 0 || !plane.sizeIs(plane.width, plane.height))
        Fail(method, QStringLiteral("the plane is malformed (%1 x %2, %3 bytes)")
                         .arg(plane.width)
                         .arg(plane.height)
                         .arg(plane.bytes.size()));
    if (Offers(fdMethod)) {
        QString error;
        const BusPlaneFd bus = SealedPlane(plane, &error);
        if (!bus.fd.isValid()) Fail(fdMethod, error);
        Call(fdMethod, {QVariant::fromValue(bus)}, ImageTimeout(plane.width, plane.height));
        return;
    }
    const QString refusal = ArrayPlaneRefusal(plane.width, plane.height);
    if (!refusal.isEmpty())
        Fail(method, QStringLiteral("the plane cannot cross the session bus: %1").arg(refusal));
    // The plane is borrowed, not copied: it outlives this synchronous call.
    const QVariantList args{QVariant::fromValue(BorrowBusPlane(plane))};
    Call(method, args, ImageTimeout(plane.width, plane.height));
}

int32_t DbusHost::Tarn_GetPaperWidth() {
    return CallSize("Tarn_GetPaperWidth", "paper width", &paperWidth_);
}
int32_t DbusHost::tarn_GetPaperHeight() {
    return CallSize("tarn_GetPaperHeight", "paper height", &paperHeight_);
}
Plane DbusHost::Tarn_GetPaper() {
    return CallPlane("Tarn_GetPaper", "Tarn_GetPaperFd", "paper", paperWidth_, paperHeight_);
}
int32_t DbusHost::Tarn_BufferWidth() {
    return CallSize("Tarn_BufferWidth", "image width", &bufferWidth_);
}
int32_t DbusHost::Tarn_BufferHeight() {
    return CallSize("Tarn_BufferHeight", "image height", &bufferHeight_);
}
Plane DbusHost::Tarn_GetRBuffer() {
    return CallPlane("Tarn_GetRBuffer", "Tarn_GetRBufferFd", "red plane", bufferWidth_,
                     bufferHeight_);
}
Plane DbusHost::Tarn_GetGBuffer() {
    return CallPlane("Tarn_GetGBuffer", "Tarn_GetGBufferFd", "green plane", bufferWidth_,
                     bufferHeight_);
}
Plane DbusHost::Tarn_GetBBuffer() {
    return CallPlane("Tarn_GetBBuffer", "Tarn_GetBBufferFd", "blue plane", bufferWidth_,
                     bufferHeight_);
}
void DbusHost::Tarn_SaveUndo() {
    planesTaken_ = 0;
    Call("Tarn_SaveUndo", {}, ImageTimeout(bufferWidth_, bufferHeight_));
}

void DbusHost::SetPlane(int index, const char* method, const char* fdMethod, const Plane& plane) {
    // A plane set out of turn starts a write-back of its own.
    if (planesTaken_ != index) planesTaken_ = 0;
    try {
        CallSet(method, fdMethod, plane);
    } catch (const HostError& e) {
        if (planesTaken_ == 0) throw;
        // The host holds a half-written image: nothing more is coming, and its undo step (saved
        // first) takes it back.
        const char* taken = planesTaken_ == 1 ? "the red plane" : "the red and green planes";
        throw HostError(std::string(e.what()) + "; the host was left with only " + taken +
                        " of the painting and nothing more is coming (its Undo takes them back)");
    }
    planesTaken_ = index + 1;
}

void DbusHost::Tarn_SetRbuffer(const Plane& plane) {
    SetPlane(0, "Tarn_SetRbuffer", "Tarn_SetRbufferFd", plane);
}
void DbusHost::Tarn_SetGbuffer(const Plane& plane) {
    SetPlane(1, "Tarn_SetGbuffer", "Tarn_SetGbufferFd", plane);
}
void DbusHost::Tarn_SetBbuffer(const Plane& plane) {
    SetPlane(2, "Tarn_SetBbuffer", "Tarn_SetBbufferFd", plane);
}
// The host writes its file here, which for a large image takes a while.
void DbusHost::tarn_Refresh() {
    Call("tarn_Refresh", {}, ImageTimeout(bufferWidth_, bufferHeight_));
}

std::string DbusHost::Describe(bool sending) {
    // Asked only of a host that lists it, and only once its introspection was read for the
    // planes; a host that fails to say is simply not named.
    if (!fdMethods_ || !Offers("Tarn_DescribeImage")) return {};
    try {
        const QDBusMessage reply = Call("Tarn_DescribeImage", {sending}, timeouts_.callMs);
        if (reply.signature() != QLatin1String("s")) return {};
        return reply.arguments().front().toString().toStdString();
    } catch (const std::exception&) {
        return {};
    }
}

std::string DbusHost::Tarn_WallpaperFilename() {
    const QDBusMessage reply = Call("Tarn_WallpaperFilename", {}, timeouts_.callMs);
    if (reply.signature() != QLatin1String("s"))
        Fail(
            "Tarn_WallpaperFilename",
            QStringLiteral("the file name came as \"%1\" instead of \"s\"").arg(reply.signature()));
    return reply.arguments().front().toString().toStdString();
}

std::optional<std::pair<std::string, std::string>> DbusHost::Names() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        owner_, QLatin1String(kTarnwickPath), QLatin1String(kTarnwickInterface), "Tarn_GetNames");
    const QDBusMessage reply = Exchange("Tarn_GetNames", call, timeouts_.callMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("ss"))
        return std::nullopt;
    return std::pair{reply.arguments()[0].toString().toStdString(),
                     reply.arguments()[1].toString().toStdString()};
}

std::string DbusHost::HostName() {
    const auto names = Names();
    return names && !names->first.empty() ? names->first : Host::HostName();
}

std::string DbusHost::ImageName() {
    const auto names = Names();
    return names ? names->second : Host::ImageName();
}

void DbusHost::Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) {
    DropForm();
    form_ = std::make_unique<DbusFormObject>(window);
    if (!connection_.registerObject(QLatin1String(kFormPath), form_.get(),
                                    QDBusConnection::ExportAllSlots)) {
        form_.reset();
        Fail("Tarn_SendFormObject",
             QStringLiteral("cannot export the canvas window at %1: %2")
                 .arg(QLatin1String(kFormPath), connection_.lastError().message()));
    }
    try {
        Call("Tarn_SendFormObject",
             {QVariant::fromValue(QDBusObjectPath(QLatin1String(kFormPath))),
              QVariant::fromValue(qint16(zero))},
             timeouts_.callMs);
    } catch (...) {
        DropForm();
        throw;
    }
    // A host on the bus has no way to show a window of ours; the canvas shows itself.
    if (window) window->ShowCanvas();
}

void DbusHost::DropForm() {
    if (!form_) return;
    if (connection_.isConnected()) connection_.unregisterObject(QLatin1String(kFormPath));
    form_.reset();
}

std::shared_ptr<Host> ConnectDbusHost(QDBusConnection connection, DbusTimeouts timeouts,
                                      QString* error) {
    if (!connection.isConnected()) {
        *error = QStringLiteral("cannot reach the D-Bus session bus: %1")
                     .arg(connection.lastError().message());
        return nullptr;
    }
    const QDBusReply<QString> owner =
        connection.interface()->serviceOwner(QLatin1String(kTarnwickService));
    if (!owner.isValid()) {
        *error =
            QStringLiteral(
                "no host owns the name %1 on the session bus (start one, e.g. tarnwick-host IMAGE)")
                .arg(QLatin1String(kTarnwickService));
        return nullptr;
    }
    return std::make_shared<DbusHost>(connection, owner.value(), timeouts);
}

std::shared_ptr<Host> ConnectDbusHost(QString* error) {
    QString why;
    if (!FindSessionBus(&why)) {
        *error = QStringLiteral("cannot reach Tarnwick: %1").arg(why);
        return nullptr;
    }
    return ConnectDbusHost(QDBusConnection::sessionBus(), DbusTimeouts{}, error);
}
