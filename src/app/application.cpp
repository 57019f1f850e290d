#include "app/application.h"

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

#include "app/module1.h"
#include "app/startup.h"
#include "app/termination.h"
#include "canvas/form1.h"
#include "canvas/report.h"
#include "host/dbus_host.h"
#include "host/file_host.h"
#include "palette/form2.h"

namespace {

int signalFds[2] = {-1, -1};

void OnTerminate(int sig) {
    NoteTerminationSignal(sig);  // a host call in progress gives up at once
    const char c = 1;
    if (::write(signalFds[0], &c, 1) < 0) {
    }
}

// SIGTERM and SIGINT close the canvas window as its close box would: the image is written back.
// The handler is installed before the start, so a signal that arrives while the host is being
// handed the window waits in the socket until the window can act on it.
void CatchTerminate() {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) != 0) return;
    struct sigaction sa = {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

void CloseOnTerminate(Form1* window) {
    if (signalFds[1] < 0) return;
    auto* notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char c;
        if (::read(signalFds[1], &c, 1) < 0) return;
        window->close();
    });
}

}  // namespace

std::shared_ptr<Host> MakeHost(const CommandLine& cl, QString* error, QString* notice) {
    ImageDocument doc;
    if (cl.image.isEmpty()) {
        const QString path = NewUntitledPath(QDir::currentPath());
        doc = NewWhiteDocument(path, 1024, 768);
        *notice = QStringLiteral("marlo: new canvas %1").arg(path);
    } else {
        if (!LoadImageDocument(QDir(QDir::currentPath()).absoluteFilePath(cl.image), &doc, error)) return nullptr;
        const QString loss = FormatLossNote(cl.image);
        if (!loss.isEmpty()) *notice = QStringLiteral("marlo: ") + loss;
        if (doc.deeper)
            *notice = QStringLiteral("marlo: %1 has more than 8 bits a channel; it is painted and written "
                                     "back at 8 bits, and the original is kept as %1~")
                          .arg(cl.image);
    }
    Plane paper;
    if (cl.paper.isEmpty()) {
        paper = DefaultPaper();
    } else if (!LoadGreyPlane(cl.paper, &paper, error)) {
        return nullptr;
    }
    return std::make_shared<FileHost>(std::move(doc), std::move(paper), cl.wallpaper);
}

Form1* StartMarlo(std::shared_ptr<Host> host, QString* error) {
    CreatePaletteWindow = [] { return CreateForm2(); };
    Form1* window = nullptr;
    try {
        Main(std::move(host), [&window]() -> HostCallbackTarget* {
            window = new Form1;
            return window;
        });
        return window;
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("the image is too large for this computer's memory");
    } catch (const std::exception& e) {
        *error = QString::fromStdString(e.what());
    }
    delete window;
    return nullptr;
}

namespace {

// A start that fails is told on stderr and, on a real display, in a message box too: a host may
// start Marlo where no terminal shows stderr. (The offscreen platform of the tests shows none.)
void ReportStartFailure(const QString& error) {
    std::fprintf(stderr, "marlo: %s\n", qPrintable(error));
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        ShowMessage(nullptr, QStringLiteral("Marlo could not start: ") + error);
}

}  // namespace

int RunMarlo(const CommandLine& cl) {
    QString error, notice;
    std::shared_ptr<Host> host;
    if (cl.dbus) {
        host = ConnectDbusHost(&error);
    } else {
        host = MakeHost(cl, &error, &notice);
    }
    if (!host) {
        ReportStartFailure(error);
        return 1;
    }
    if (!notice.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(notice));
    CatchTerminate();
    Form1* window = StartMarlo(host, &error);
    if (!window) {
        ReportStartFailure(error);
        return 1;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    CloseOnTerminate(window);
    QApplication::setQuitOnLastWindowClosed(true);
    QObject::connect(window, &QObject::destroyed, qApp, &QCoreApplication::quit);
    return QApplication::exec();
}
