#include <QApplication>
#include <csignal>
#include <cstdio>

#include "app/qt/application.h"
#include "app/qt/command_line.h"
#include "host/qt/file_name.h"

int main(int argc, char** argv) {
    // Before the first message: with stderr a pipe nobody reads, a write fails and is dropped
    // instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << NameFromNative(argv[i]);
    const CommandLine cl = ParseCommandLine(arguments);
    if (cl.exitNow) {
        std::fputs(qPrintable(Shown(cl.output)), cl.exitCode == 0 ? stdout : stderr);
        return cl.exitCode;
    }
    // Every pointer and tablet move is a stroke point: no merging of high-rate events.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QCoreApplication::setAttribute(Qt::AA_CompressTabletEvents, false);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marlo"));
    // Wayland names the window's application by its desktop entry, marlo.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("marlo"));
    UseMarloIcon();
    return RunMarlo(cl);
}
