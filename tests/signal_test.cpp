// A real signal while a message box runs its own loop: the box ends, the canvas closes by its
// close rules, nothing is freed twice. Each case runs in a process of its own (this program,
// started again for one case): once a signal has come, a program is ending and its boxes no
// longer wait for answers.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <array>
#include <csignal>
#include <random>

#include "app/engine_reset.h"
#include "app/qt/application.h"
#include "canvas/dibs.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/report.h"
#include "canvas/qt/windows_state.h"
#include "core/module1.h"
#include "host/qt/file_host.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "qt_test_support.h"

namespace {

struct Case {
    const char* name;
    bool toFile;  // a file host whose write-back fails
    std::function<void(Form1*, RecordingHost*)>
        openBox;  // runs in the main loop; opens a modal box
};

const Case kCases[] = {
    {"Send image fails", true,
     [](Form1* window, RecordingHost*) {
         auto* palette = dynamic_cast<Form2*>(window->palette());
         Module1.RPlane.at(1, 1) = 0;
         QTest::mouseClick(palette->kt_button4, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
     }},
    {"zoom past the display's memory", false,
     [](Form1* window, RecordingHost*) {
         Dibs.MaxBitmapBytes = 0;       // no room even for the window's share
         Module1.RPlane.at(1, 1) ^= 1;  // painted: the close writes it back
         QTest::keyClick(window->view(), Qt::Key_Equal, Qt::ControlModifier);
     }},
    {"the size question at close", false,
     [](Form1* window, RecordingHost* host) {
         host->width = 61;
         window->close();
     }},
};

}  // namespace

// Started by the test below with MARLO_SIGNAL_CASE set: opens the case's box, says so on stdout
// and waits for the signal.
TEST(SignalDuringABox, OneCase) {
    const QByteArray which = qgetenv("MARLO_SIGNAL_CASE");
    if (which.isEmpty()) GTEST_SKIP() << "run by EndsTheProgramByTheCloseRules";
    const Case& c = kCases[which.toInt()];
    ResetEngine();
    const QString folder = QDir(TempDir()).filePath("signal");
    std::shared_ptr<RecordingHost> recording;
    std::shared_ptr<FileHost> file;
    std::shared_ptr<Host> host;
    QString error;
    if (c.toFile) {
        // The backup's name is taken by a folder: the write-back fails with a box.
        QDir().mkpath(folder + "/paint.png~");
        ASSERT_TRUE(SaveWhite(folder + "/paint.png", 40, 30));
        ImageDocument doc;
        ASSERT_TRUE(LoadImageDocument(folder + "/paint.png", &doc, &error));
        file = std::make_shared<FileHost>(std::move(doc), DefaultPaper(), QString());
        host = file;
    } else {
        host = recording = std::make_shared<RecordingHost>(40, 30);
    }
    CatchEndSignals();
    Form1* window = StartMarlo(host, &error);
    ASSERT_NE(window, nullptr) << error.toStdString();
    window->setAttribute(Qt::WA_DeleteOnClose);
    CloseOnEndSignals(window);
    const QPointer<Form1> alive(window);

    QTimer::singleShot(0, [&] { c.openBox(window, recording.get()); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!OpenMessageBox()) return;
        poll.stop();
        std::printf("box open\n");
        std::fflush(stdout);
    });
    poll.start(20);
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(alive.isNull()) << "the canvas did not close";
    EXPECT_FALSE(MessageBoxesOpen());
    if (file) {
        // Send image and then the close could not write: each time the painting went to a rescue
        // file.
        EXPECT_TRUE(file->WriteBackFailure().contains(folder + "/paint.marlo-rescue-1.png"));
        EXPECT_EQ(QImage(folder + "/paint.marlo-rescue-1.png").pixel(1, 1), qRgb(0, 255, 255));
    } else {
        const long saves =
            std::count(recording->calls.begin(), recording->calls.end(), "tarn_Refresh");
        EXPECT_EQ(saves, recording->width == 61 ? 0 : 1);  // no write-back to a resized host
        // Nobody chose to lose the changes: the painting is kept in a rescue copy.
        if (recording->width == 61) {
            EXPECT_TRUE(Windows.LostWriteBack.contains("The painting was saved as "))
                << Windows.LostWriteBack.toStdString();
        }
    }
    if (alive) delete window;
}

TEST(SignalDuringABox, EndsTheProgramByTheCloseRules) {
    for (size_t i = 0; i < std::size(kCases); ++i) {
        SCOPED_TRACE(kCases[i].name);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MARLO_SIGNAL_CASE", QString::number(i));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=SignalDuringABox.OneCase"});
        ASSERT_TRUE(child.waitForStarted());
        QByteArray out;
        ASSERT_TRUE(WaitForOutput(child, &out, "box open")) << out.toStdString();
        SignalProcess(child, SIGTERM);
        ASSERT_TRUE(child.waitForFinished(20000));
        out += child.readAllStandardOutput();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0)
            << out.toStdString() << child.readAllStandardError().toStdString();
    }
}

// Started by the test below with MARLO_WRITE_BACK_IMAGE set: a canvas on that file, painted.
TEST(SignalDuringAWriteBack, OneRun) {
    const QString image = qEnvironmentVariable("MARLO_WRITE_BACK_IMAGE");
    if (image.isEmpty()) GTEST_SKIP() << "run by LeavesNoTemporaryFile";
    ResetEngine();
    ImageDocument doc;
    QString error;
    ASSERT_TRUE(LoadImageDocument(image, &doc, &error)) << error.toStdString();
    CatchEndSignals();
    Form1* window =
        StartMarlo(std::make_shared<FileHost>(std::move(doc), DefaultPaper(), QString()), &error);
    ASSERT_NE(window, nullptr) << error.toStdString();
    CloseOnEndSignals(window);
    Module1.RPlane.at(1, 1) ^= 1;
    if (qEnvironmentVariableIsSet("MARLO_STROKE_HELD")) {  // and a stroke under way
        QTest::mousePress(window->view(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
        for (int x = 12; x <= 40; x += 2) QTest::mouseMove(window->view(), QPoint(x, 20));
    }
    std::printf("painted\n");
    std::fflush(stdout);
    QEventLoop loop;
    QObject::connect(window, &Form1::destroyed, &loop, &QEventLoop::quit);
    window->setAttribute(Qt::WA_DeleteOnClose);
    loop.exec();
}

// Each signal whose default would end the program comes once during a stroke (the button held),
// and once as the close that SIGTERM began makes its first temporary file (nothing else is made
// in the folder). Either way the canvas closes by its rules: the painting is written, and no
// temporary file is left.
TEST(SignalDuringAWriteBack, LeavesNoTemporaryFile) {
    const QString folder = QDir(TempDir()).filePath("write-back");
    QDir().mkpath(folder);
    const QString image = folder + "/noise.png";
    QImage noise(1200, 1200, QImage::Format_RGB32);  // some 4 MiB that deflate cannot shrink
    std::generate_n(reinterpret_cast<uint32_t*>(noise.bits()), 1200 * 1200, std::mt19937(1));
    ASSERT_TRUE(noise.save(image));
    const KeepEnv keep("MARLO_WRITE_BACK_IMAGE");
    qputenv("MARLO_WRITE_BACK_IMAGE", QFile::encodeName(image));
    const KeepEnv keepHeld("MARLO_STROKE_HELD");
    for (int run = 0; run < 8; ++run) {
        const int sig = std::array{SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}[run / 2];
        const bool duringStroke = run % 2 == 0;
        if (duringStroke)
            qputenv("MARLO_STROKE_HELD", "1");
        else
            qunsetenv("MARLO_STROKE_HELD");
        const int red = qRed(QImage(image).pixel(1, 1));
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ::inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_CREATE);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=SignalDuringAWriteBack.OneRun"});
        QByteArray out;
        ASSERT_TRUE(WaitForOutput(child, &out, "painted")) << out.toStdString();
        if (!duringStroke) {
            SignalProcess(child, SIGTERM);
            pollfd made{watch, POLLIN, 0};
            EXPECT_EQ(::poll(&made, 1, 60000), 1);
        }
        SignalProcess(child, sig);
        ::close(watch);
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1, 0)
            << sig << (duringStroke ? " during a stroke" : " during the write-back");
        EXPECT_EQ(qRed(QImage(image).pixel(1, 1)), red ^ 1)
            << sig << (duringStroke ? " during a stroke" : " during the write-back");
        EXPECT_TRUE(QDir(folder).entryList({".marlo-*"}, QDir::Files | QDir::Hidden).isEmpty())
            << sig << (duringStroke ? " during a stroke" : " during the write-back");
    }
}
