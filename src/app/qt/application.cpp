#include "app/qt/application.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <exception>
#include <optional>

#include "app/qt/make_host.h"
#include "app/qt/session_journal.h"
#include "app/startup.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/report.h"
#include "canvas/qt/windows_state.h"
#include "core/module1.h"
#include "core/termination.h"
#include "core/wiring.h"
#include "host/host.h"
#include "host/qt/dbus_host.h"
#include "host/qt/file_host.h"
#include "host/qt/file_name.h"
#include "palette/qt/form2.h"

namespace {

// The self-pipe of the end signals: the handler may only write to a descriptor, so it stays a
// plain file-level pair, written from the handler and read by Windows.EndSignalNotifier.
int signalFds[2] = {-1, -1};

void OnTerminate(int sig) {
    NoteTerminationSignal(sig);  // a host call in progress gives up at once
    const char c = 1;
    if (::write(signalFds[0], &c, 1) < 0) {
    }
}

}  // namespace

// SIGTERM, SIGINT, SIGHUP (the terminal closed), and the other signals whose default would end
// the program at once (SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM) close the canvas window as its close
// box would: the image is written back. SIGPIPE is ignored: a write to a closed stderr fails and
// is dropped, and the painter still sees the message in its box.
// The handler is installed before the start, so a signal that arrives while the host is being
// handed the window waits in the socket until the window can act on it.
void CatchEndSignals() {
    if (signalFds[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) != 0) return;
    struct sigaction sa = {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// One notifier for the program, owned by the application rather than the window, so that a
// signal that comes while a box is open after the window has gone still ends that box.
void CloseOnEndSignals(Form1* window) {
    Windows.EndSignalTarget = window;
    QSocketNotifier*& notifier = Windows.EndSignalNotifier;
    if (notifier || signalFds[1] < 0) return;
    notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char c;
        if (::read(signalFds[1], &c, 1) < 0) return;
        EndMessageBoxes();
        if (Windows.EndSignalTarget) Windows.EndSignalTarget->close();
    });
}

namespace {

// The palette, made by the canvas window as it loads; colour samples go to its sliders while
// it lives.
PaletteWindow* MakePalette() {
    auto* palette = new Form2;
    ColourSampleTarget* target = palette;
    Wiring.SampleTarget = target;
    QObject::connect(palette, &QObject::destroyed, [target] {
        if (Wiring.SampleTarget == target) Wiring.SampleTarget = nullptr;
    });
    return palette;
}

// The canvas window, wired in: it compresses the undo history in idle turns.
Form1* MakeCanvas() {
    auto* window = new Form1;
    const QPointer<Form1> canvas(window);
    Wiring.UndoPackingWanted = [canvas] {
        if (canvas) canvas->WantUndoPacking();
    };
    return window;
}

}  // namespace

// The composition root: the hooks of Wiring (core/wiring.h) are set here and nowhere else.
Form1* StartMarlo(std::shared_ptr<Host> host, QString* error) {
    Wiring.CreatePaletteWindow = MakePalette;
    Form1* window = nullptr;
    try {
        Main(std::move(host), [&window]() -> HostCallbackTarget* {
            window = MakeCanvas();
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
bool OnRealDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void ReportStartFailure(const QString& failure) {
    const QString error = Shown(failure);
    std::fprintf(stderr, "marlo: %s\n", qPrintable(error));
    if (OnRealDisplay()) ShowMessage(nullptr, QStringLiteral("Marlo could not start: ") + error);
}

}  // namespace

namespace {

// marlo --recover [--list]: every painting left in a journal, saved (or listed) without a canvas.
int RecoverAll(bool listOnly) {
    QStringList problems;
    const std::vector<LeftJournal> left = FindLeftJournals(&problems);
    for (const QString& p : problems) std::fprintf(stderr, "marlo: %s\n", qPrintable(p));
    if (left.empty())
        std::printf("No painting is waiting in a journal (%s).\n", qPrintable(JournalFolder()));
    for (const LeftJournal& l : left) {
        if (listOnly) {
            std::printf("%s\t%s\t%s\t%d %s (%d not written back)\n", qPrintable(l.path),
                        l.summary.session.image.c_str(), qPrintable(l.ended), l.summary.strokes,
                        l.summary.strokes == 1 ? "stroke" : "strokes", l.summary.strokesNotSent);
            continue;
        }
        const QString line = RescueLeftJournal(l);
        std::printf(
            "%s\n",
            qPrintable(line.isEmpty()
                           ? QStringLiteral("%1: nothing to bring back; removed").arg(l.path)
                           : line));
    }
    return 0;
}

// The journals earlier sessions left: the one of this very file, unchanged since, is offered
// back (returned when the painter says Yes); every other one is saved as a rescue copy, and
// what was saved is added to *told.
std::optional<LeftJournal> SortLeftJournals(const CommandLine& cl, QStringList* told) {
    QStringList problems;
    std::vector<LeftJournal> left = FindLeftJournals(&problems);
    for (const QString& p : problems) std::fprintf(stderr, "marlo: %s\n", qPrintable(p));
    const QString target = cl.dbus || cl.image.isEmpty() ? QString() : AbsoluteName(cl.image);
    std::optional<LeftJournal> resume;
    for (LeftJournal& l : left) {
        const JournalSummary& s = l.summary;
        const bool same = !resume && !target.isEmpty() && s.session.host == "file" &&
                          NameFromNative(QByteArray::fromStdString(s.session.image)) == target &&
                          IdentityOfFile(s.session.image) == s.lastFile;
        if (same && s.changedSinceSent && AskYesNo(nullptr, RecoveryQuestion(l))) {
            resume = std::move(l);
            continue;
        }
        const QString line = Shown(RescueLeftJournal(l));
        if (line.isEmpty()) continue;
        std::fprintf(stderr, "marlo: %s\n", qPrintable(line));
        told->append(line);
    }
    return resume;
}

}  // namespace

void UseMarloIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/marlo/%1x%1/marlo.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

int RunMarlo(const CommandLine& cl) {
    if (cl.recover) return RecoverAll(cl.listOnly);
    QStringList told;
    const std::optional<LeftJournal> resume = SortLeftJournals(cl, &told);
    QString error, notice;
    std::shared_ptr<Host> host;
    std::shared_ptr<FileHost> fileHost;
    if (cl.dbus) {
        host = ConnectDbusHost(&error);
    } else {
        host = fileHost = MakeHost(cl, &error, &notice);
    }
    if (!host) {
        ReportStartFailure(error);
        return 1;
    }
    RemoveTemporaryFilesLeftInRescuePlaces();
    notice = Shown(notice);
    if (!notice.isEmpty()) std::fprintf(stderr, "marlo: %s\n", qPrintable(notice));
    CatchEndSignals();
    Form1* window = StartMarlo(host, &error);
    if (!window) {
        ReportStartFailure(error);
        return 1;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    CloseOnEndSignals(window);
    // What the painter should know about the file (a lossy format, another program's version
    // kept aside) is shown over the canvas too, not only on stderr.
    const QPointer<Form1> canvas(window);
    if (!notice.isEmpty()) ShowNotice(window, notice);
    for (const QString& line : told) ShowNotice(window, line);
    const auto tell = [canvas](const QString& text) {
        const QString line = Shown(text);
        std::fprintf(stderr, "marlo: %s\n", qPrintable(line));
        if (canvas) ShowNotice(canvas, line);
    };
    std::unique_ptr<Journal> journal;
    if (resume) {
        journal = ResumeLeftJournal(*resume, tell, &error);
        if (!journal)
            tell(QStringLiteral("The painting could not be brought back (%1); its journal is kept "
                                "as %2")
                     .arg(error, resume->path));
    }
    if (!journal)
        journal = StartSessionJournal(
            cl.dbus ? QStringLiteral("dbus") : QStringLiteral("file"),
            cl.dbus ? QStringLiteral("the host's image") : fileHost->document().path, tell);
    if (fileHost)
        fileHost->SetNoticeSink([canvas](const QString& line) {
            if (canvas) ShowNotice(canvas, line);
        });
    QApplication::setQuitOnLastWindowClosed(true);
    QObject::connect(window, &QObject::destroyed, qApp, &QCoreApplication::quit);
    // With MARLO_SAY_READY set, one line on stderr tells whoever started Marlo (the tests, the
    // screenshot script) that the windows are shown and the event loop runs.
    if (qEnvironmentVariableIsSet("MARLO_SAY_READY"))
        QTimer::singleShot(0, qApp, [] {
            std::fputs("marlo: ready\n", stderr);
            std::fflush(stderr);
        });
    QApplication::exec();
    const QString kept = EndSessionJournal(std::move(journal));
    if (!kept.isEmpty()) std::fprintf(stderr, "marlo: %s\n", qPrintable(Shown(kept)));
    // The close's write-back failed: the painting went to a rescue file, and the message says
    // where. It was printed when it happened; a real display shows it too.
    if (!Windows.LostWriteBack.isEmpty()) {
        if (OnRealDisplay()) ShowMessage(nullptr, Windows.LostWriteBack);
        return 1;
    }
    if (fileHost && !fileHost->WriteBackFailure().isEmpty()) {
        if (OnRealDisplay()) ShowMessage(nullptr, fileHost->WriteBackFailure());
        return 1;
    }
    return 0;
}
