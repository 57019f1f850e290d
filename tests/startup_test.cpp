// Main on a recording host: the calling order, the state it leaves, and every failed start.
#include <cstdlib>
#include <gtest/gtest.h>

#include "app/engine_reset.h"
#include "app/qt/application.h"
#include "core/errors.h"
#include "core/module1.h"
#include "app/startup.h"
#include "canvas/dibs.h"
#include "canvas/qt/form1.h"
#include "test_support.h"

namespace {

struct NullWindow : HostCallbackTarget {
    void PrefsCallback() override {}
    void ShowCanvas() override { shown = true; }
    bool shown = false;
};

}  // namespace

TEST(Main, CallsTheHostInOrderAndTakesItsImage) {
    ResetEngine();
    auto host = std::make_shared<RecordingHost>(7, 5, 3, 2);
    host->showOnSend = false;
    NullWindow window;
    Main(host, [&]() -> HostCallbackTarget* { return &window; });
    const std::vector<std::string> order = {
        "Tarn_GetPaperWidth", "tarn_GetPaperHeight", "Tarn_GetPaper", "Tarn_BufferWidth",
        "Tarn_BufferHeight",  "Tarn_GetRBuffer",     "Tarn_GetGBuffer", "Tarn_GetBBuffer",
        "Tarn_SendFormObject"};
    EXPECT_EQ(host->calls, order);
    const Module1State& m = Module1;
    EXPECT_EQ(m.Zoom, 1.0f);
    EXPECT_EQ(m.UndoLimit, 32);
    EXPECT_EQ(m.BufferWidth, 7);
    EXPECT_EQ(m.PaperWidth, 3);
    EXPECT_EQ(m.PaperHeight, 2);
    EXPECT_EQ(m.RPlane.bytes, host->r.bytes);
    EXPECT_EQ(m.BBase.bytes, host->b.bytes);
    EXPECT_EQ(m.FXBuffer.bytes, std::vector<uint8_t>(35, 0));
    EXPECT_EQ(m.CaptionText, "Marlo for Tarnwick Artist - Spline based paint engine");
    EXPECT_EQ(m.BlendTable.size(), 655360u);
    EXPECT_EQ(Dibs.DisplayInfo.biWidth, 8);
    EXPECT_EQ(host->window, &window);
}

TEST(Main, OneByOneImage) {
    ResetEngine();
    auto host = std::make_shared<RecordingHost>(1, 1);
    NullWindow window;
    Main(host, [&]() -> HostCallbackTarget* { return &window; });
    EXPECT_EQ(Module1.RPlane.bytes.size(), 1u);
    EXPECT_EQ(Dibs.DisplayInfo.biWidth, 4);
    EXPECT_EQ(Dibs.DisplayInfo.biHeight, -1);
}

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
        {"a failing call", [](RecordingHost& h) { h.failOn = "Tarn_GetBBuffer"; }, "Tarn_GetBBuffer"},
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
         "Tarnwick's image of 65536 x 65536 pixels is too large: it needs about 56.0 GiB of memory and 4.0 GiB is "
         "available."},
        {"an image just over the budget", "16", 1200, 1200, 4, 3, "image of 1200 x 1200 pixels is too large"},
        {"an image within the budget", "16", 1000, 1000, 4, 3, nullptr},
        {"a paper over the budget", "16", 6, 4, 2100, 2100, "paper of 2100 x 2100 pixels is too large"},
        {"paper and image together over the budget", "16", 1000, 1000, 2000, 2000, "image of 1000 x 1000"},
    };
    const KeepEnv keepMemory("MARLO_MEMORY_MB");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEngine();
        ASSERT_EQ(setenv("MARLO_MEMORY_MB", c.memoryMb, 1), 0);
        // The host's planes stay small: a refused start never asks for them.
        const bool starts = c.refusal == nullptr;
        auto host = std::make_shared<RecordingHost>(starts ? c.width : 6, starts ? c.height : 4, c.paperWidth,
                                                    c.paperHeight);
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
