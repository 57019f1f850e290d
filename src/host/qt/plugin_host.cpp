#include "host/qt/plugin_host.h"

#include <fcntl.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "core/errors.h"
#include "core/memory_budget.h"
#include "host/qt/dbus_interface.h"
#include "host/qt/image_file.h"
#include "host/qt/session_bus.h"
#include "host/qt/tarnwick_service.h"

LayerHost::LayerHost(PaintLayer& layer, Plane paper) : layer_(layer), paper_(std::move(paper)) {}

void LayerHost::Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) {
    (void)zero;
    if (window) window->ShowCanvas();
}

void LayerHost::ReadAhead() {
    read_ = layer_.Read();
    handedOut_ = 0;
}

Plane LayerHost::Channel(int c) {
    if (read_.empty() || (handedOut_ & (1u << c))) ReadAhead();
    handedOut_ |= 1u << c;
    // A grey layer's one plane is all three. A plane no other channel still needs is handed
    // over rather than copied, and once all three are out nothing of the layer stays here.
    const bool grey = read_.size() == 1;
    if (grey && handedOut_ != 7) return read_[0];
    Plane plane = std::move(read_[grey ? 0 : c]);
    if (handedOut_ == 7) read_.clear();
    return plane;
}

void LayerHost::Keep(int c, const Plane& plane) {
    try {
        const int32_t w = layer_.Width(), h = layer_.Height();
        if (!plane.sizeIs(w, h))
            throw HostError("The image sent back has " + std::to_string(plane.width) + " x " +
                            std::to_string(plane.height) + " pixels; the layer has " +
                            std::to_string(w) + " x " + std::to_string(h) + ".");
        sent_[c] = plane;
    } catch (...) {
        // Marlo abandons this write-back: its undo step must not swallow what the user does next.
        for (Plane& p : sent_) p = Plane();
        Finish();
        throw;
    }
}

void LayerHost::Tarn_SaveUndo() {
    // Marlo's write-back always starts here. A second call while the step is open (a write-back
    // that broke off between the set calls) adds to that step.
    if (undoOpen_) return;
    layer_.BeginUndoStep();
    undoOpen_ = true;
}

void LayerHost::tarn_Refresh() {
    if (!undoOpen_) Tarn_SaveUndo();  // a caller that skipped Tarn_SaveUndo still gets one step
    struct Close {
        LayerHost* host;
        ~Close() { host->Finish(); }
    } close{this};
    try {
        Store();
    } catch (const std::exception& e) {
        // Marlo says so too, except when it is closing: the application's message area always does.
        layer_.Message(std::string("Marlo's image was not stored in the layer: ") + e.what());
        throw;
    }
}

void LayerHost::Store() {
    std::vector<Plane> planes(3);
    for (int c = 0; c < 3; ++c) planes[c] = std::exchange(sent_[c], Plane());
    read_.clear();
    const int32_t w = layer_.Width(), h = layer_.Height();
    std::vector<Plane> current;
    for (Plane& plane : planes) {
        if (plane.empty()) {
            // A plane Marlo did not send this time is the layer's own.
            if (current.empty()) current = layer_.Read();
            plane = current[current.size() == 1 ? 0 : &plane - planes.data()];
        } else if (!plane.sizeIs(w, h)) {
            throw HostError("The layer was resized to " + std::to_string(w) + " x " +
                            std::to_string(h) +
                            " before the image came back; nothing was written.");
        }
    }
    if (layer_.Channels() == 1) {
        // A grey layer takes back the mean of the three planes, rounded to the nearest.
        Plane grey(w, h);
        for (size_t i = 0; i < grey.bytes.size(); ++i)
            grey.bytes[i] = static_cast<uint8_t>(
                (planes[0].bytes[i] + planes[1].bytes[i] + planes[2].bytes[i] + 1) / 3);
        planes.assign(1, std::move(grey));
    }
    layer_.Write(planes);
}

void LayerHost::Finish() {
    if (!undoOpen_) return;
    undoOpen_ = false;
    layer_.EndUndoStep();
}

Plane PatternPaper(const std::vector<uint8_t>& pixels, int32_t width, int32_t height,
                   int32_t channels) {
    if (width <= 0 || height <= 0 || channels < 1 || channels > 4 ||
        pixels.size() != static_cast<size_t>(width) * height * channels)
        return {};
    Plane paper(width, height);
    if (channels <= 2) {  // grey, maybe with alpha: the grey
        for (size_t i = 0; i < paper.bytes.size(); ++i) paper.bytes[i] = pixels[i * channels];
        return paper;
    }
    // Colour turned to grey as Marlo turns a paper file to grey.
    const QImage image(pixels.data(), width, height, width * channels,
                       channels == 3 ? QImage::Format_RGB888 : QImage::Format_RGBA8888);
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    for (int32_t y = 0; y < height; ++y) std::copy_n(grey.constScanLine(y), width, paper.row(y));
    return paper;
}

namespace {

QString MarloExecutable() {
    const QString chosen = qEnvironmentVariable("MARLO_EXECUTABLE");
    if (!chosen.isEmpty()) return chosen;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/marlo");
    if (QFileInfo(beside).isExecutable()) return beside;
    return QStandardPaths::findExecutable(QStringLiteral("marlo"));
}

// A session bus of our own, for an application that runs without one. It ends with the session.
class PrivateBus {
public:
    ~PrivateBus() {
        if (daemon_.state() == QProcess::NotRunning) return;
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000)) daemon_.kill();
        daemon_.waitForFinished(3000);
    }
    bool Start(QString* address, QString* error) {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(10000)) {
            *error =
                QStringLiteral("there is no session bus, and dbus-daemon cannot be started (%1)")
                    .arg(daemon_.errorString());
            return false;
        }
        QByteArray out;
        while (!out.contains('\n') && daemon_.waitForReadyRead(10000))
            out += daemon_.readAllStandardOutput();
        *address = QString::fromUtf8(out.left(out.indexOf('\n')).trimmed());
        if (address->isEmpty()) {
            *error = QStringLiteral("there is no session bus, and dbus-daemon gave no address");
            return false;
        }
        return true;
    }

private:
    QProcess daemon_;
};

SessionResult Failed(const QString& message) { return {false, message}; }

// What the plug-in holds of a layer, a pixel: the planes read for Marlo (three, or one for grey),
// and at a write-back the three planes Marlo sends with one more in transit (the memory file
// being read, or a grey layer's mean). The layer itself stays in the application.
constexpr int64_t kLayerBytesPerPixel = 4;
// The paper, a pixel: kept for the session, with a copy and its memory file while it is sent.
constexpr int64_t kPaperBytesPerPixel = 3;

// Sizes that do not fit count as more than any memory.
int64_t Needed(int32_t w, int32_t h, int64_t perPixel) {
    int64_t pixels = 0, bytes = 0;
    if (w < 0 || h < 0 || __builtin_mul_overflow(int64_t(w), int64_t(h), &pixels) ||
        __builtin_mul_overflow(pixels, perPixel, &bytes))
        return INT64_MAX;
    return bytes;
}

// Why the memory left cannot hold `what`: its size, what it needs, what is available and where
// that figure came from. Empty when it fits.
QString MemoryRefusal(const QString& what, int32_t w, int32_t h, int64_t needed,
                      const AvailableMemory& available) {
    if (needed <= available.bytes) return {};
    return QStringLiteral(
               "%1 of %2 x %3 pixels is too large: the plug-in needs about %4 of memory "
               "for it and %5")
        .arg(what)
        .arg(w)
        .arg(h)
        .arg(QString::fromStdString(MemoryText(needed)),
             QString::fromStdString(AvailableMemoryText(available)));
}

// The application hands its plug-in the ends of its own pipes; the programs started from here
// must not hold them open, or the application would not see the plug-in end.
void KeepDescriptorsFromChildren() {
    QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& entry : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        bool number = false;
        const int fd = entry.toInt(&number);
        if (!number || fd <= 2) continue;
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

}  // namespace

SessionResult RunMarloSession(PaintLayer& layer) {
    // Qt's own event dispatcher rather than GLib's: the application's plug-in library keeps its
    // link to the application on GLib's default main context, and a D-Bus call served here must
    // never run that context's sources from inside a call into the application. Marlo itself
    // is started with the environment as it was.
    const QByteArray noGlib = qgetenv("QT_NO_GLIB");
    const bool hadNoGlib = qEnvironmentVariableIsSet("QT_NO_GLIB");
    qputenv("QT_NO_GLIB", "1");
    static int argc = 1;
    static char name[] = "marlo-plug-in";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    if (hadNoGlib)
        qputenv("QT_NO_GLIB", noGlib);
    else
        qunsetenv("QT_NO_GLIB");

    // Measured once: the paper's share is taken out before the layer is judged. Memory files
    // carry a plane of any size to Marlo, so the memory is the only limit.
    AvailableMemory available = MeasureAvailableMemory();
    Plane paper;
    {
        int32_t pw = 0, ph = 0, channels = 0;
        const std::vector<uint8_t> pattern = layer.Pattern(&pw, &ph, &channels);
        const QString refusal = MemoryRefusal(QStringLiteral("The pattern"), pw, ph,
                                              Needed(pw, ph, kPaperBytesPerPixel), available);
        if (refusal.isEmpty())
            paper = PatternPaper(pattern, pw, ph, channels);
        else
            layer.Message((refusal + QStringLiteral("; Marlo paints on its own grain instead."))
                              .toStdString());
    }
    if (paper.empty()) paper = DefaultPaper();
    available.bytes -= Needed(paper.width, paper.height, kPaperBytesPerPixel);
    const int32_t width = layer.Width(), height = layer.Height();
    const QString refusal = MemoryRefusal(QStringLiteral("The layer"), width, height,
                                          Needed(width, height, kLayerBytesPerPixel), available);
    if (!refusal.isEmpty()) return Failed(refusal + QLatin1Char('.'));

    KeepDescriptorsFromChildren();
    QString error;
    PrivateBus privateBus;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString noBus;
    QDBusConnection bus = FindSessionBus(&noBus) ? QDBusConnection::sessionBus()
                                                 : QDBusConnection(QStringLiteral("no-bus"));
    if (!bus.isConnected()) {
        QString address;
        if (!privateBus.Start(&address, &error)) return Failed(error);
        bus = QDBusConnection::connectToBus(address, QStringLiteral("marlo-private-bus"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    }
    auto host = std::make_shared<LayerHost>(layer, std::move(paper));
    TarnwickService service(host);
    if (!service.Publish(bus, true, &error))
        return Failed(
            QStringLiteral("Marlo cannot start: %1. Close the Marlo session that is open first.")
                .arg(error));
    struct Unpublish {
        QDBusConnection& bus;
        ~Unpublish() {
            bus.unregisterService(QLatin1String(kTarnwickService));
            bus.unregisterObject(QLatin1String(kTarnwickPath));
        }
    } unpublish{bus};

    const QString program = MarloExecutable();
    if (program.isEmpty())
        return Failed(
            QStringLiteral(
                "Marlo is neither beside the plug-in (%1) nor on PATH; set MARLO_EXECUTABLE "
                "to the marlo program.")
                .arg(QCoreApplication::applicationDirPath()));
    // Read before Marlo starts, so that the memory Marlo finds left is what the plug-in left it.
    try {
        host->ReadAhead();
    } catch (const std::bad_alloc&) {
        return Failed(QStringLiteral("The layer of %1 x %2 pixels cannot be read: out of memory.")
                          .arg(width)
                          .arg(height));
    }
    QProcess marlo;
    marlo.setProcessEnvironment(environment);
    marlo.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QByteArray errors;  // Marlo's standard error is passed on; its end is kept for the message
    QObject::connect(&marlo, &QProcess::readyReadStandardError, [&] {
        const QByteArray chunk = marlo.readAllStandardError();
        std::fwrite(chunk.constData(), 1, static_cast<size_t>(chunk.size()), stderr);
        errors = (errors + chunk).right(4096);
    });
    QEventLoop loop;
    QObject::connect(&marlo, &QProcess::finished, &loop, &QEventLoop::quit);
    marlo.start(program, {QStringLiteral("--dbus")});
    if (!marlo.waitForStarted(30000))
        return Failed(
            QStringLiteral("Marlo (%1) cannot be started: %2").arg(program, marlo.errorString()));
    if (marlo.state() != QProcess::NotRunning) loop.exec();
    errors += marlo.readAllStandardError();
    host->Finish();

    if (marlo.exitStatus() == QProcess::CrashExit)
        return Failed(
            QStringLiteral("Marlo (%1) ended abnormally: %2").arg(program, marlo.errorString()));
    if (marlo.exitCode() != 0) {
        const QStringList lines = QString::fromLocal8Bit(errors).trimmed().split(QLatin1Char('\n'));
        return Failed(
            QStringLiteral("Marlo ended with exit code %1%2")
                .arg(marlo.exitCode())
                .arg(lines.back().isEmpty() ? QString() : QStringLiteral(": ") + lines.back()));
    }
    return {true, {}};
}
