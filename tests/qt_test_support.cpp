#include "qt_test_support.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <csignal>

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
