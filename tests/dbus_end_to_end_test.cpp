// tarnwick-host and marlo --dbus as real processes on one session bus.
#include <QFile>
#include <QImage>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

#include "app/errors.h"
#include "dbus_test_support.h"

namespace {

QString Binary(const char* name) {
    return qEnvironmentVariable("MARLO_BINARY_DIR") + QStringLiteral("/src/") + QLatin1String(name);
}

// Reads the process's standard output until it holds `text`; false if the process ends or
// the time runs out first.
bool WaitForOutput(QProcess& process, QByteArray* seen, const char* text, int timeoutMs = 120000) {
    for (int waited = 0; !seen->contains(text); waited += 100) {
        if (waited > timeoutMs) return false;
        if (!process.waitForReadyRead(100) && process.state() == QProcess::NotRunning) {
            *seen += process.readAllStandardOutput();
            return seen->contains(text);
        }
        *seen += process.readAllStandardOutput();
    }
    return true;
}

struct HostProcess {
    QProcess process;
    QByteArray output;
    explicit HostProcess(const QString& image) {
        process.start(Binary("tarnwick-host"), {image});
        EXPECT_TRUE(WaitForOutput(process, &output, "tarnwick-host: serving")) << output.toStdString();
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
        QRegularExpression(QStringLiteral("canvas window at (\\S+) (\\S+)")).match(QString::fromUtf8(host.output));
    ASSERT_TRUE(window.hasMatch()) << host.output.toStdString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(window.captured(1), window.captured(2), QStringLiteral("Marlo.Form1"),
                                       QStringLiteral("PrefsCallback")),
        QDBus::Block, 120000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
}

// Straight colour with an alpha channel that varies: both must come back unchanged.
QImage Pattern(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] = qRgba(x & 255, y & 255, (3 * x + 5 * y) & 255, 64 + ((x ^ y) & 127));
    }
    return image;
}

TEST(DbusEndToEnd, ALargeImageCrossesToMarloAndBackExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.png"));
    ASSERT_TRUE(Pattern(4096, 4096).save(path));
    HostProcess host(path);
    // The host holds the image now. Planes that come back exactly equal what the host served
    // are not written: the file keeps what another program put there meanwhile, and no backup
    // or kept copy appears. Any byte changed on the way would have been written.
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
    ::kill(static_cast<pid_t>(marlo.processId()), SIGTERM);
    ASSERT_TRUE(marlo.waitForFinished(120000));
    EXPECT_EQ(marlo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(marlo.exitCode(), 0) << marlo.readAllStandardError().toStdString();
    ASSERT_TRUE(WaitForOutput(host.process, &host.output, "tarnwick-host: wrote")) << host.output.toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("on disk before the write-back\n"));
    EXPECT_FALSE(QFile::exists(path + QLatin1Char('~')));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".1~")));
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
    try {
        link->Tarn_BufferHeight();
        ADD_FAILURE() << "a call to a killed host succeeded";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("the host has left the bus"), std::string::npos) << e.what();
    }
}

TEST(DbusEndToEnd, MarloClosesQuietlyAfterItsHostWasKilled) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(Pattern(3, 2).save(path));
    auto host = std::make_unique<HostProcess>(path);
    QProcess marlo;
    marlo.start(Binary("marlo"), {QStringLiteral("--dbus")});
    ASSERT_TRUE(WaitForOutput(host->process, &host->output, "tarnwick-host: canvas window at"));
    WaitUntilMarloRuns(*host);
    host.reset();
    ::kill(static_cast<pid_t>(marlo.processId()), SIGTERM);
    ASSERT_TRUE(marlo.waitForFinished(60000));
    EXPECT_EQ(marlo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(marlo.exitCode(), 0);
    EXPECT_FALSE(marlo.readAllStandardError().contains("marlo:"));
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
        {"marlo without a host", false, "marlo", {"--dbus"}, "marlo: no host owns the name Tarnwick.Tarnwick_Class"},
        {"host on a missing file", false, "tarnwick-host", {dir.filePath("missing.png")}, "tarnwick-host: "},
        {"second host", true, "tarnwick-host", {image}, "another host already owns the name Tarnwick.Tarnwick_Class"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<HostProcess> host;
        if (c.hostRunning) host = std::make_unique<HostProcess>(image);
        QProcess process;
        process.start(Binary(c.program), c.args);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_NE(process.exitCode(), 0);
        const QByteArray error = process.readAllStandardError();
        EXPECT_TRUE(error.contains(c.message)) << error.toStdString();
    }
}

}  // namespace
