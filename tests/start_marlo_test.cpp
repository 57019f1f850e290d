// StartMarlo on a recording host: every failed start leaves no window and says why.
#include <gtest/gtest.h>
#include <cstdlib>

#include "app/engine_reset.h"
#include "app/qt/application.h"
#include "canvas/dibs.h"
#include "canvas/qt/form1.h"
#include "core/errors.h"
#include "core/module1.h"
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
         "and 4.0 GiB is "
         "available."},
        {"an image just over the budget", "16", 1200, 1200, 4, 3,
         "image of 1200 x 1200 pixels is too large"},
        {"an image within the budget", "16", 1000, 1000, 4, 3, nullptr},
        {"a paper over the budget", "16", 6, 4, 2100, 2100,
         "paper of 2100 x 2100 pixels is too large"},
        {"paper and image together over the budget", "16", 1000, 1000, 2000, 2000,
         "image of 1000 x 1000"},
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
