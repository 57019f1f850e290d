#include "host/qt/tarnwick_service.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <exception>
#include <type_traits>

#include "core/errors.h"

RemoteForm::RemoteForm(QDBusConnection connection, QString service, QString path, QObject* parent)
    : QObject(parent),
      connection_(std::move(connection)),
      service_(std::move(service)),
      path_(std::move(path)) {}

void RemoteForm::PrefsCallback() {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        service_, path_, QLatin1String(kFormInterface), QStringLiteral("PrefsCallback"));
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        emit prefsCallbackAnswered(w->isError() ? w->error().message() : QString());
        w->deleteLater();
    });
}

TarnwickService::TarnwickService(std::shared_ptr<Host> host, QObject* parent)
    : QObject(parent), host_(std::move(host)) {
    RegisterBusTypes();
}

TarnwickService::~TarnwickService() = default;

bool TarnwickService::Publish(QDBusConnection connection, bool claimName, QString* error) {
    return Publish(std::move(connection), claimName, true, error);
}

bool TarnwickService::Publish(QDBusConnection connection, bool claimName, bool offerFds,
                              QString* error) {
    if (!connection.isConnected()) {
        *error = QStringLiteral("cannot reach the D-Bus session bus: %1")
                     .arg(connection.lastError().message());
        return false;
    }
    const QDBusConnection::RegisterOptions exported =
        offerFds ? QDBusConnection::ExportAllSlots : QDBusConnection::ExportScriptableSlots;
    if (!connection.registerObject(QLatin1String(kTarnwickPath), this, exported)) {
        *error = QStringLiteral("cannot serve the object %1: %2")
                     .arg(QLatin1String(kTarnwickPath), connection.lastError().message());
        return false;
    }
    if (!claimName) return true;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        connection.interface()->registerService(QLatin1String(kTarnwickService),
                                                QDBusConnectionInterface::DontQueueService,
                                                QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        connection.unregisterObject(QLatin1String(kTarnwickPath));
        *error = reply.isValid()
                     ? QStringLiteral("another host already owns the name %1")
                           .arg(QLatin1String(kTarnwickService))
                     : QStringLiteral("cannot own the name %1: %2")
                           .arg(QLatin1String(kTarnwickService), reply.error().message());
        return false;
    }
    return true;
}

template <typename F>
auto TarnwickService::Forward(const char* method, F&& body) -> decltype(body()) {
    using Result = decltype(body());
    try {
        if constexpr (std::is_void_v<Result>) {
            body();
            emit answered(QLatin1String(method));
            return;
        } else {
            Result result = body();
            emit answered(QLatin1String(method));
            return result;
        }
    } catch (const std::exception& e) {
        sendErrorReply(QDBusError::Failed, QString::fromStdString(e.what()));
        if constexpr (!std::is_void_v<Result>) return Result{};
    }
}

BusPlane TarnwickService::PlaneReply(const char* method, const char* fdMethod,
                                     Plane (Host::*get)()) {
    return Forward(method, [&] {
        const Plane plane = (host_.get()->*get)();
        // A reply the bus would choke on is refused now, not left to time out at the caller.
        const QString refusal = ArrayPlaneRefusal(plane.width, plane.height);
        if (!refusal.isEmpty())
            throw HostError(QStringLiteral("%1: %2; take it with %3")
                                .arg(QLatin1String(method), refusal, QLatin1String(fdMethod))
                                .toStdString());
        // A deep copy: the reply is marshalled after this slot has returned.
        BusPlane bus = BorrowBusPlane(plane);
        bus.bytes = QByteArray(bus.bytes.constData(), bus.bytes.size());
        return bus;
    });
}

BusPlaneFd TarnwickService::PlaneFdReply(const char* method, Plane (Host::*get)()) {
    return Forward(method, [&] {
        QString error;
        BusPlaneFd bus = SealedPlane((host_.get()->*get)(), &error);
        if (!bus.fd.isValid())
            throw HostError(
                QStringLiteral("%1: %2").arg(QLatin1String(method), error).toStdString());
        return bus;
    });
}

void TarnwickService::SetPlane(const char* method, const BusPlane& plane,
                               void (Host::*set)(const Plane&)) {
    const QString fault = BusPlaneFault(plane);
    if (!fault.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("%1: refused %2").arg(QLatin1String(method), fault));
        return;
    }
    Forward(method, [&] { (host_.get()->*set)(ToPlane(plane)); });
}

void TarnwickService::SetPlaneFd(const char* method, const BusPlaneFd& bus,
                                 void (Host::*set)(const Plane&)) {
    Plane plane;
    QString fault;
    // The caller's descriptor is checked like any other input before a byte is read.
    if (!ReadSealedPlane(bus, &plane, &fault)) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("%1: refused %2").arg(QLatin1String(method), fault));
        return;
    }
    Forward(method, [&] { (host_.get()->*set)(plane); });
}

qint32 TarnwickService::Tarn_GetPaperWidth() {
    return Forward("Tarn_GetPaperWidth", [&] { return host_->Tarn_GetPaperWidth(); });
}
qint32 TarnwickService::tarn_GetPaperHeight() {
    return Forward("tarn_GetPaperHeight", [&] { return host_->tarn_GetPaperHeight(); });
}
BusPlane TarnwickService::Tarn_GetPaper() {
    return PlaneReply("Tarn_GetPaper", "Tarn_GetPaperFd", &Host::Tarn_GetPaper);
}
BusPlaneFd TarnwickService::Tarn_GetPaperFd() {
    return PlaneFdReply("Tarn_GetPaperFd", &Host::Tarn_GetPaper);
}
qint32 TarnwickService::Tarn_BufferWidth() {
    return Forward("Tarn_BufferWidth", [&] { return host_->Tarn_BufferWidth(); });
}
qint32 TarnwickService::Tarn_BufferHeight() {
    return Forward("Tarn_BufferHeight", [&] { return host_->Tarn_BufferHeight(); });
}
BusPlane TarnwickService::Tarn_GetRBuffer() {
    return PlaneReply("Tarn_GetRBuffer", "Tarn_GetRBufferFd", &Host::Tarn_GetRBuffer);
}
BusPlane TarnwickService::Tarn_GetGBuffer() {
    return PlaneReply("Tarn_GetGBuffer", "Tarn_GetGBufferFd", &Host::Tarn_GetGBuffer);
}
BusPlane TarnwickService::Tarn_GetBBuffer() {
    return PlaneReply("Tarn_GetBBuffer", "Tarn_GetBBufferFd", &Host::Tarn_GetBBuffer);
}
BusPlaneFd TarnwickService::Tarn_GetRBufferFd() {
    return PlaneFdReply("Tarn_GetRBufferFd", &Host::Tarn_GetRBuffer);
}
BusPlaneFd TarnwickService::Tarn_GetGBufferFd() {
    return PlaneFdReply("Tarn_GetGBufferFd", &Host::Tarn_GetGBuffer);
}
BusPlaneFd TarnwickService::Tarn_GetBBufferFd() {
    return PlaneFdReply("Tarn_GetBBufferFd", &Host::Tarn_GetBBuffer);
}

void TarnwickService::Tarn_SendFormObject(const QDBusObjectPath& window, qint16 zero) {
    // The window lives in the calling process: reach it at the caller's unique name.
    auto form = std::make_unique<RemoteForm>(connection(), message().service(), window.path());
    Forward("Tarn_SendFormObject", [&] {
        int16_t z = zero;
        host_->Tarn_SendFormObject(form.get(), z);
        form_ = std::move(form);
        emit formReceived(form_->service(), form_->path());
    });
}

void TarnwickService::Tarn_SaveUndo() {
    Forward("Tarn_SaveUndo", [&] { host_->Tarn_SaveUndo(); });
}
void TarnwickService::Tarn_SetRbuffer(const BusPlane& plane) {
    SetPlane("Tarn_SetRbuffer", plane, &Host::Tarn_SetRbuffer);
}
void TarnwickService::Tarn_SetGbuffer(const BusPlane& plane) {
    SetPlane("Tarn_SetGbuffer", plane, &Host::Tarn_SetGbuffer);
}
void TarnwickService::Tarn_SetBbuffer(const BusPlane& plane) {
    SetPlane("Tarn_SetBbuffer", plane, &Host::Tarn_SetBbuffer);
}
void TarnwickService::Tarn_SetRbufferFd(const BusPlaneFd& plane) {
    SetPlaneFd("Tarn_SetRbufferFd", plane, &Host::Tarn_SetRbuffer);
}
void TarnwickService::Tarn_SetGbufferFd(const BusPlaneFd& plane) {
    SetPlaneFd("Tarn_SetGbufferFd", plane, &Host::Tarn_SetGbuffer);
}
void TarnwickService::Tarn_SetBbufferFd(const BusPlaneFd& plane) {
    SetPlaneFd("Tarn_SetBbufferFd", plane, &Host::Tarn_SetBbuffer);
}
void TarnwickService::tarn_Refresh() {
    Forward("tarn_Refresh", [&] { host_->tarn_Refresh(); });
}
QString TarnwickService::Tarn_DescribeImage(bool sending) {
    return Forward("Tarn_DescribeImage",
                   [&] { return QString::fromStdString(host_->Describe(sending)); });
}
QString TarnwickService::Tarn_GetNames(QString& image) {
    return Forward("Tarn_GetNames", [&] {
        image = QString::fromStdString(host_->ImageName());
        return QString::fromStdString(host_->HostName());
    });
}

QString TarnwickService::Tarn_WallpaperFilename() {
    return Forward("Tarn_WallpaperFilename",
                   [&] { return QString::fromStdString(host_->Tarn_WallpaperFilename()); });
}
