// Main on a recording host: the calling order and the state it leaves (every failed start:
// start_marlo_test.cpp).
#include <gtest/gtest.h>

#include "app/engine_reset.h"
#include "app/startup.h"
#include "canvas/dibs.h"
#include "core/cpu_level.h"
#include "core/module1.h"
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
        "Tarn_GetPaperWidth", "tarn_GetPaperHeight", "Tarn_GetPaper",
        "Tarn_BufferWidth",   "Tarn_BufferHeight",   "Tarn_GetRBuffer",
        "Tarn_GetGBuffer",    "Tarn_GetBBuffer",     "Tarn_SendFormObject"};
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

TEST(CpuLevel, MarloCpuChoosesALevelUpToTheMachinesAndNamesWhatItCannotTake) {
    struct Case {
        const char* setting;
        CpuLevel machine, chosen;
        const char* complaint;  // "" when there is none
    };
    const Case cases[] = {
        {nullptr, CpuLevel::Avx2, CpuLevel::Avx2, ""},
        {"", CpuLevel::Sse2, CpuLevel::Sse2, ""},
        {"plain", CpuLevel::Avx2, CpuLevel::Plain, ""},
        {"sse2", CpuLevel::Avx2, CpuLevel::Sse2, ""},
        {"avx2", CpuLevel::Sse2, CpuLevel::Sse2,
         "MARLO_CPU=avx2: this processor runs only plain, sse2; using sse2"},
        {"AVX512", CpuLevel::Avx2, CpuLevel::Avx2,
         "MARLO_CPU=AVX512: not a level (plain, sse2, avx2); using avx2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting ? c.setting : "unset");
        std::string complaint = "left over";
        EXPECT_EQ(CpuLevelFromSetting(c.setting, c.machine, &complaint), c.chosen);
        EXPECT_EQ(complaint, c.complaint);
    }
}
