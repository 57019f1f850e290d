// StartMarlo on a recording host: every failed start leaves no window and says why.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QTest>
#include <cstdlib>

#include "app/engine_reset.h"
#include "app/qt/application.h"
#include "canvas/dibs.h"
#include "canvas/qt/form1.h"
#include "core/errors.h"
#include "core/module1.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "qt_test_support.h"
#include "test_support.h"

TEST(Main, BadHostAnswersStopTheStartWithAReason) {
    struct Case {
        const char* name;
        std::function<void(RecordingHost&)> spoil;
        const char* expectedWords;
    };
    const Case cases[] = {
        {"zero width", [](RecordingHost& h) { h.width = 0; }, "nothing to paint on"},
        {"negative height", [](RecordingHost& h) { h.height = -3; }, "nothing to paint on"},
        {"short red plane", [](RecordingHost& h) { h.r.bytes.pop_back(); }, "red plane"},
        {"green plane of another size", [](RecordingHost& h) { h.g = Plane(3, 3); }, "green plane"},
        {"paper of the wrong length", [](RecordingHost& h) { h.paper.bytes.resize(5); }, "paper"},
        {"negative paper size", [](RecordingHost& h) { h.paper.width = -1; }, "paper"},
        {"a failing call", [](RecordingHost& h) { h.failOn = "Tarn_GetBBuffer"; },
         "Tarn_GetBBuffer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEngine();
        auto host = std::make_shared<RecordingHost>(6, 4);
        c.spoil(*host);
        QString error;
        Form1* window = StartMarlo(host, &error);
        EXPECT_EQ(window, nullptr);
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.expectedWords))) << error.toStdString();
        EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "Tarn_SendFormObject"), 0);
    }
}

TEST(Main, AHostThatFailsToTakeTheWindowLeavesNoWindow) {
    ResetEngine();
    auto host = std::make_shared<RecordingHost>(6, 4);
    host->failOn = "Tarn_SendFormObject";
    QString error;
    EXPECT_EQ(StartMarlo(host, &error), nullptr);
    EXPECT_TRUE(error.contains("Tarn_SendFormObject"));
    EXPECT_EQ(Dibs.View, nullptr);  // the window made for the host is gone again
}

TEST(Main, SizesTheMemoryLeftCannotHoldAreRefusedBeforeAnythingIsAllocated) {
    struct Case {
        const char* name;
        const char* memoryMb;
        int width, height, paperWidth, paperHeight;
        const char* refusal;  // null: the start succeeds
    };
    // Per image pixel the start commits 10 bytes of planes and 4 of display bitmap.
    const Case cases[] = {
        {"a host announcing 65536 x 65536", "4096", 65536, 65536, 4, 3,
         "Tarnwick's image of 65536 x 65536 pixels is too large: it needs about 56.0 GiB of memory "
         "and 4.0 GiB is available (the limit MARLO_MEMORY_MB sets)."},
        // The size arithmetic itself must not overflow into a size that passes.
        {"a host announcing 2147483647 x 2147483647", "4096", 2147483647, 2147483647, 4, 3,
         "Tarnwick's image of 2147483647 x 2147483647 pixels is too large"},
        {"an image just over the budget", "16", 1200, 1200, 4, 3,
         "image of 1200 x 1200 pixels is too large"},
        {"an image within the budget", "16", 1000, 1000, 4, 3, nullptr},
        {"a paper over the budget", "16", 6, 4, 2100, 2100,
         "paper of 2100 x 2100 pixels is too large"},
        {"paper and image together over the budget", "16", 1000, 1000, 2000, 2000,
         "image of 1000 x 1000"},
        // A setting that is no number is ignored: the memory measured is no MARLO_MEMORY_MB's.
        {"a limit with junk after it", "16abc", 2147483647, 2147483647, 4, 3, "GiB is available"},
        {"a limit in hexadecimal", "0x10", 1200, 1200, 4, 3, nullptr},
    };
    const KeepEnv keepMemory("MARLO_MEMORY_MB");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEngine();
        ASSERT_EQ(setenv("MARLO_MEMORY_MB", c.memoryMb, 1), 0);
        // The host's planes stay small: a refused start never asks for them.
        const bool starts = c.refusal == nullptr;
        auto host = std::make_shared<RecordingHost>(starts ? c.width : 6, starts ? c.height : 4,
                                                    c.paperWidth, c.paperHeight);
        host->width = c.width;
        host->height = c.height;
        QString error;
        Form1* window = StartMarlo(host, &error);
        if (starts) {
            EXPECT_NE(window, nullptr) << error.toStdString();
            delete window;
            continue;
        }
        EXPECT_EQ(window, nullptr);
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.refusal))) << error.toStdString();
        EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "Tarn_GetRBuffer"), 0);
        EXPECT_TRUE(Module1.RPlane.empty() && Module1.FXBuffer.empty() && Module1.BBase.empty());
    }
}

// Both windows carry the icon the theme installs, and the palette's host buttons keep their
// captions and name, in their tooltips, what the host says they reach.
TEST(Main, TheWindowsCarryTheIconAndTheHostButtonsNameTheHostsImage) {
    UseMarloIcon();
    const QIcon icon = QApplication::windowIcon();
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    // The frame of the drawing, at full size, is its solid slate grey.
    EXPECT_EQ(icon.pixmap(QSize(256, 256), 1.0).toImage().pixel(24, 128), qRgb(0x3a, 0x3f, 0x4a));

    const QString photo = QDir(TempDir()).filePath(QStringLiteral("photo.png"));
    ASSERT_TRUE(SaveWhite(photo, 8, 6));
    CommandLine cl;
    cl.image = photo;
    QString error, notice;
    struct Case {
        const char* name;
        std::shared_ptr<Host> host;
        const char *getTip, *sendTip;
    };
    const Case cases[] = {
        {"a file", MakeHost(cl, &error, &notice), "Get image from Tarnwick (reads photo.png)",
         "Send image to Tarnwick (writes photo.png)"},
        {"a host that does not say", std::make_shared<RecordingHost>(6, 4),
         "Get image from Tarnwick", "Send image to Tarnwick"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.host, nullptr) << error.toStdString();
        ResetEngine();
        std::unique_ptr<Form1> window(StartMarlo(c.host, &error));
        ASSERT_NE(window, nullptr) << error.toStdString();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        auto* palette = dynamic_cast<Form2*>(window->palette());
        ASSERT_NE(palette, nullptr);
        EXPECT_EQ(palette->kt_button3->toolTip().toStdString(), c.getTip);
        EXPECT_EQ(palette->kt_button4->toolTip().toStdString(), c.sendTip);
        for (QWidget* w : {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(palette)})
            EXPECT_EQ(w->windowIcon().cacheKey(), icon.cacheKey());
    }
}
