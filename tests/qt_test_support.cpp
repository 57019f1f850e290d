#include "qt_test_support.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <csignal>

#include "canvas/qt/form1.h"

QString TempDir() {
    static QTemporaryDir dir;
    return dir.path();
}

void SignalProcess(const QProcess& process, int sig) {
    const qint64 pid = process.processId();
    if (pid > 0) ::kill(static_cast<pid_t>(pid), sig);
}

bool WaitForOutput(QProcess& process, QByteArray* seen, const char* text,
                   QProcess::ProcessChannel channel, int timeoutMs) {
    const auto read = [&] {
        *seen += channel == QProcess::StandardOutput ? process.readAllStandardOutput()
                                                     : process.readAllStandardError();
    };
    // waitForReadyRead wakes for the current read channel only.
    const QProcess::ProcessChannel before = process.readChannel();
    process.setReadChannel(channel);
    const QDeadlineTimer deadline(timeoutMs);
    read();
    while (!seen->contains(text) && !deadline.hasExpired()) {
        if (!process.waitForReadyRead(100) && process.state() == QProcess::NotRunning) {
            read();
            break;
        }
        read();
    }
    process.setReadChannel(before);
    return seen->contains(text);
}

void ExpectCloseRefusedOverSize(Form1* window, const QStringList& messages) {
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(
        messages[0],
        QStringLiteral(
            "Can't copy buffer back to Project Tarnwick because the buffer size has changed") +
            QChar(13) + QStringLiteral("Loose all changes?"));
}

namespace {

bool CanMount() {
    static const bool ok = [] {
        if (::unshare(CLONE_NEWNS) != 0) return false;
        return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return ok;
}

}  // namespace

bool SaveWhite(const QString& path, int w, int h) {
    QImage white(w, h, QImage::Format_RGB32);
    white.fill(Qt::white);
    return white.save(path);
}

bool MountTmpfs(const QString& folder, const char* size) {
    QDir().mkpath(folder);
    return CanMount() &&
           ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, size) == 0;
}

bool MakeReadOnly(const QString& folder) {
    return ::mount(nullptr, QFile::encodeName(folder).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                   nullptr) == 0;
}
