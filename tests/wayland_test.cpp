// Marlo on a real Wayland compositor: a headless weston, and this program started again as a
// Wayland client running a real session on a file. The palette is docked in the canvas window
// (the compositor places windows where it likes); the session paints through the docked
// palette's controls and the canvas with events, closes, and the file holds the stroke.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "app/qt/application.h"
#include "app/qt/command_line.h"
#include "canvas/qt/form1.h"
#include "core/module1.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "qt_test_support.h"

namespace {

Form1* Canvas() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<Form1*>(w)) return f;
    return nullptr;
}

}  // namespace

// Run by the test below with MARLO_WAYLAND_IMAGE set, on the compositor.
TEST(Wayland, Session) {
    const QString image = qEnvironmentVariable("MARLO_WAYLAND_IMAGE");
    if (image.isEmpty()) GTEST_SKIP() << "run by Wayland.PaintsThroughTheDockedPalette";
    CommandLine cl;
    cl.image = image;
    QTimer::singleShot(0, [] {
        Form1* window = Canvas();
        auto* palette = window ? dynamic_cast<Form2*>(window->palette()) : nullptr;
        if (!palette) return;
        std::printf("platform %s docked %d inside %d\n",
                    qPrintable(QGuiApplication::platformName()), window->ToolsDocked(),
                    palette->window() == window);
        QTest::mouseClick(palette->kt_button6, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        std::printf("ink %d\n", Module1.BlendMode);
        QWidget* view = window->view();
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
        for (int i = 1; i <= 20; ++i) QTest::mouseMove(view, QPoint(10 + 3 * i, 20));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(70, 20));
        std::fflush(stdout);
        window->close();
    });
    RunMarlo(cl);
}

TEST(Wayland, PaintsThroughTheDockedPalette) {
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    if (weston.isEmpty()) GTEST_SKIP() << "weston is not installed (apt-get install weston)";
    const QString folder = QDir(TempDir()).filePath(QStringLiteral("wayland"));
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/runtime")));
    QFile::setPermissions(folder + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString image = folder + QStringLiteral("/paint.png");
    ASSERT_TRUE(SaveWhite(image, 100, 40));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder + QStringLiteral("/runtime"));
    QProcess compositor;
    compositor.setProcessEnvironment(env);
    compositor.setProcessChannelMode(QProcess::MergedChannels);
    compositor.start(weston, {QStringLiteral("--backend=headless-backend.so"),
                              QStringLiteral("--socket=marlo-test"), QStringLiteral("--width=1280"),
                              QStringLiteral("--height=800"), QStringLiteral("--idle-time=0")});
    const QString socket = folder + QStringLiteral("/runtime/marlo-test");
    if (!compositor.waitForStarted() ||
        !QTest::qWaitFor([&] { return QFile::exists(socket) || !compositor.isOpen(); }, 30000) ||
        !QFile::exists(socket))
        GTEST_SKIP() << "weston could not start here: " << compositor.readAll().toStdString();

    QProcess marlo;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("marlo-test"));
    env.insert(QStringLiteral("MARLO_WAYLAND_IMAGE"), image);
    env.insert(QStringLiteral("XDG_STATE_HOME"), folder + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
    marlo.setProcessEnvironment(env);
    marlo.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=Wayland.Session"});
    const bool ended = marlo.waitForFinished(120000);
    const QByteArray said = marlo.readAllStandardOutput() + marlo.readAllStandardError();
    compositor.kill();
    compositor.waitForFinished();
    ASSERT_TRUE(ended) << said.toStdString();
    EXPECT_EQ(marlo.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.contains("platform wayland docked 1 inside 1")) << said.toStdString();
    EXPECT_TRUE(said.contains("ink 3")) << said.toStdString();  // Ink multiplies (kBlendMultiply)
    const QImage painted(image);
    ASSERT_EQ(painted.size(), QSize(100, 40));
    EXPECT_NE(painted.pixel(40, 20) & 0xFFFFFF, 0xFFFFFFu);  // the stroke
    EXPECT_EQ(painted.pixel(40, 38) & 0xFFFFFF, 0xFFFFFFu);  // and the rest as it was
}
