// tarnwick-host and marlo --dbus as real processes on one session bus.
#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "core/errors.h"
#include "dbus_test_support.h"
#include "qt_test_support.h"

namespace {

QString Binary(const char* name) {
    return qEnvironmentVariable("MARLO_BINARY_DIR") + QStringLiteral("/src/") + QLatin1String(name);
}

struct HostProcess {
    QProcess process;
    QByteArray output;
    explicit HostProcess(const QString& image, const QStringList& options = {}) {
        process.start(Binary("tarnwick-host"), QStringList{image} + options);
        EXPECT_TRUE(WaitForOutput(process, &output, "tarnwick-host: serving"))
            << output.toStdString();
    }
    ~HostProcess() {
        process.kill();
        process.waitForFinished();
    }
};

// Calls the canvas window back as a host would. The answer comes from Marlo's event loop, so
// once it is here Marlo has finished starting and closes gracefully on SIGTERM.
void WaitUntilMarloRuns(const HostProcess& host) {
    const QRegularExpressionMatch window =
        QRegularExpression(QStringLiteral("canvas window at (\\S+) (\\S+)"))
            .match(QString::fromUtf8(host.output));
    ASSERT_TRUE(window.hasMatch()) << host.output.toStdString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(window.captured(1), window.captured(2),
                                       QStringLiteral("Marlo.Form1"),
                                       QStringLiteral("PrefsCallback")),
        QDBus::Block, 120000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
}

// Straight colour with an alpha channel that varies: both must come back unchanged.
QImage Pattern(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgba(x & 255, y & 255, (3 * x + 5 * y) & 255, 64 + ((x ^ y) & 127));
    }
    return image;
}

// Opaque colour for formats without alpha.
QImage OpaquePattern(int w, int h) {
    QImage image = Pattern(w, h);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] |= 0xff000000u;
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

TEST(DbusEndToEnd, LargeImagesCrossToMarloAndBackExactly) {
    struct Case {
        const char* name;
        int size;
        const char* file;
        QStringList hostOptions;
    };
    // PPM keeps the 8192 x 8192 case quick to write and read; PNG carries the alpha channel.
    const std::vector<Case> cases = {
        {"4096 x 4096 with alpha, as arrays", 4096, "photo.png", {QStringLiteral("--arrays-only")}},
        {"8192 x 8192, as memory files", 8192, "photo.ppm", {}},
    };
    QImageReader::setAllocationLimit(0);  // the written file is read back whole
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QLatin1String(c.file));
        const bool alpha = QString::fromLatin1(c.file).endsWith(QLatin1String(".png"));
        const QImage original = alpha ? Pattern(c.size, c.size) : OpaquePattern(c.size, c.size);
        ASSERT_TRUE(original.save(path));
        HostProcess host(path, c.hostOptions);
        // The host holds the image now. A canvas closed without painting writes nothing back:
        // the file keeps what another program put there meanwhile, and no backup or kept copy
        // appears.
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("on disk before the write-back\n");
        }

        QProcess marlo;
        marlo.start(Binary("marlo"), {QStringLiteral("--dbus")});
        ASSERT_TRUE(WaitForOutput(host.process, &host.output, "tarnwick-host: canvas window at"))
            << host.output.toStdString() << marlo.readAllStandardError().toStdString();
        WaitUntilMarloRuns(host);
        SignalProcess(marlo, SIGTERM);
        ASSERT_TRUE(marlo.waitForFinished(120000));
        EXPECT_EQ(marlo.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(marlo.exitCode(), 0) << marlo.readAllStandardError().toStdString();
        host.output += host.process.readAllStandardOutput();
        EXPECT_FALSE(host.output.contains("tarnwick-host: wrote")) << host.output.toStdString();

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("on disk before the write-back\n"));
        EXPECT_FALSE(QFile::exists(path + QLatin1Char('~')));
        EXPECT_FALSE(QFile::exists(path + QStringLiteral(".1~")));
    }
}

// A host that stops answering a call: Marlo waits in it until a signal ends the wait. At
// start the start fails; while closing (the size the close asks for), the close goes on
// without writing back, the painting goes to a rescue copy and the canvas closes. Either way well
// before the call's own time-out (5 s and more).
TEST(DbusEndToEnd, ASignalEndsAHostCallThatDoesNotReturn) {
    struct Case {
        const char* name;
        const char* hangsIn;
        int answered;  // calls of it answered before it hangs
        int exitCode;
        const char* stderrText;
    };
    const std::vector<Case> cases = {
        {"at start", "Tarn_GetGBuffer", 0, 1,
         "marlo: host call Tarn_GetGBuffer: stopped by SIGTERM before the host answered"},
        {"while closing", "Tarn_BufferHeight", 1, 1, "The painting was saved as "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost scripted;
        const std::vector<std::pair<const char*, QVariantList>> answers = {
            {"Tarn_GetPaperWidth", {4}},
            {"tarn_GetPaperHeight", {3}},
            {"Tarn_GetPaper", {RawPlane(4, 3, 12)}},
            {"Tarn_BufferWidth", {3}},
            {"Tarn_BufferHeight", {2}},
            {"Tarn_GetRBuffer", {RawPlane(3, 2, 6)}},
            {"Tarn_GetGBuffer", {RawPlane(3, 2, 6)}},
            {"Tarn_GetBBuffer", {RawPlane(3, 2, 6)}},
            {"Tarn_SendFormObject", {}},
            {"Tarn_WallpaperFilename", {QString()}},
            {"Tarn_SaveUndo", {}},
            {"Tarn_SetRbuffer", {}},
            {"Tarn_SetGbuffer", {}},
            {"Tarn_SetBbuffer", {}},
            {"tarn_Refresh", {}},
        };
        const QLatin1String hangsIn(c.hangsIn);
        for (const auto& [method, args] : answers)
            if (QLatin1String(method) != QLatin1String(c.hangsIn) || c.answered > 0)
                scripted.Script(QLatin1String(method), args);
        QTemporaryDir data;
        QProcess marlo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        marlo.setProcessEnvironment(env);
        marlo.start(Binary("marlo"), {QStringLiteral("--dbus")});
        if (c.answered > 0) {
            // Started: ask the window for its call-back, then close it with a first signal.
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return !scripted.Caller(QStringLiteral("Tarn_WallpaperFilename")).isEmpty();
                },
                60000));
            const QDBusMessage reply = QDBusConnection::sessionBus().call(
                QDBusMessage::createMethodCall(
                    scripted.Caller(QStringLiteral("Tarn_SendFormObject")),
                    QStringLiteral("/Form1"), QStringLiteral("Marlo.Form1"),
                    QStringLiteral("PrefsCallback")),
                QDBus::Block, 60000);
            ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage)
                << reply.errorMessage().toStdString();
            scripted.Unscript(QLatin1String(c.hangsIn));
            SignalProcess(marlo, SIGTERM);
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return scripted.Calls(QLatin1String(c.hangsIn)) > c.answered; }, 60000))
            << marlo.readAllStandardError().toStdString();
        SignalProcess(marlo, SIGTERM);
        ASSERT_TRUE(marlo.waitForFinished(4000));
        EXPECT_EQ(marlo.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(marlo.exitCode(), c.exitCode);
        const QByteArray error = marlo.readAllStandardError();
        EXPECT_TRUE(error.contains(c.stderrText)) << error.toStdString();
        EXPECT_TRUE(
            scripted.Caller(QStringLiteral("Tarn_SetRbuffer")).isEmpty());  // nothing was sent
    }
}

TEST(DbusEndToEnd, AKilledHostFailsTheNextCallAtOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(Pattern(3, 2).save(path));
    auto host = std::make_unique<HostProcess>(path);
    auto link = AttachDbusHost();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->Tarn_BufferWidth(), 3);
    // Red 0, 1, 2 at alpha 64 + (x ^ y), shown over white.
    EXPECT_EQ(link->Tarn_GetRBuffer().bytes, (std::vector<uint8_t>{191, 190, 190, 190, 191, 189}));
    host.reset();
    ExpectHostError([&] { link->Tarn_BufferHeight(); }, "the host has left the bus",
                    "a call to a killed host succeeded");
}

// The painting outlives its host: the close saves it as a rescue copy and says where.
TEST(DbusEndToEnd, MarloKeepsThePaintingAfterItsHostWasKilled) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(Pattern(3, 2).save(path));
    auto host = std::make_unique<HostProcess>(path);
    QProcess marlo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    marlo.setProcessEnvironment(env);
    marlo.start(Binary("marlo"), {QStringLiteral("--dbus")});
    ASSERT_TRUE(WaitForOutput(host->process, &host->output, "tarnwick-host: canvas window at"));
    WaitUntilMarloRuns(*host);
    host.reset();
    SignalProcess(marlo, SIGTERM);
    ASSERT_TRUE(marlo.waitForFinished(60000));
    EXPECT_EQ(marlo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(marlo.exitCode(), 1);
    const QString rescue =
        dir.filePath(QStringLiteral("marlo/rescue/marlo-painting.marlo-rescue.png"));
    EXPECT_TRUE(QString::fromLocal8Bit(marlo.readAllStandardError())
                    .contains(QStringLiteral("The painting was saved as ") + rescue));
    EXPECT_EQ(QImage(rescue).size(), QSize(3, 2));
    EXPECT_FALSE(QFile::exists(path + QLatin1Char('~')));  // nothing was written back
}

TEST(DbusEndToEnd, StartsThatCannotWorkSayWhyAndExitNonZero) {
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(Pattern(3, 2).save(image));
    struct Case {
        const char* name;
        bool hostRunning;
        const char* program;
        QStringList args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"marlo without a host",
         false,
         "marlo",
         {"--dbus"},
         "marlo: no host owns the name Tarnwick.Tarnwick_Class"},
        {"host on a missing file",
         false,
         "tarnwick-host",
         {dir.filePath("missing.png")},
         "tarnwick-host: "},
        {"second host",
         true,
         "tarnwick-host",
         {image},
         "another host already owns the name Tarnwick.Tarnwick_Class"},
        // Told, rather than a bus daemon started that outlives it.
        {"no session bus", false, "marlo", {"--dbus"}, "there is no D-Bus session bus"},
        {"host without a session bus", false, "tarnwick-host", {image}, "no D-Bus session bus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<HostProcess> host;
        if (c.hostRunning) host = std::make_unique<HostProcess>(image);
        QProcess process;
        if (QLatin1String(c.name).contains(QLatin1String("session bus"))) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
            process.setProcessEnvironment(env);
        }
        process.start(Binary(c.program), c.args);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_NE(process.exitCode(), 0);
        const QByteArray error = process.readAllStandardError();
        EXPECT_TRUE(error.contains(c.message)) << error.toStdString();
    }
}

}  // namespace
