// The journal file: records come back whole or not at all, and the lock tells a live session.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "app/engine_reset.h"
#include "app/startup.h"
#include "canvas/dibs.h"
#include "canvas/image_exchange.h"
#include "canvas/undo.h"
#include "canvas/zoom.h"
#include "core/wiring.h"
#include "input/stroke_capture.h"
#include "journal/journal.h"
#include "journal/journal_file.h"
#include "journal/replay.h"
#include "test_support.h"

extern const uint32_t kRandSeed = 90210;

namespace {

std::string TempPath(const char* name) {
    return (testing::TempDir() + "/" + name + "-" + std::to_string(::getpid()));
}

std::vector<uint8_t> Body(size_t n, uint8_t seed) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t n) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(n));
}

// Three records written by a real writer (the second made on its thread); the file's bytes.
std::vector<uint8_t> ThreeRecords(const std::string& path) {
    std::remove(path.c_str());
    {
        JournalWriter w(path, nullptr);
        w.Append(1, Body(40, 1), false);
        w.AppendMade(
            2, [] { return Body(3000, 2); }, true);
        w.Append(3, Body(17, 3), true);
        w.Drain();
        EXPECT_FALSE(w.Failed());
    }
    return FileBytes(path);
}

}  // namespace

TEST(JournalFile, EveryCutOfTheLastRecordKeepsTheOnesBefore) {
    const std::string path = TempPath("journal-cut");
    const std::vector<uint8_t> whole = ThreeRecords(path);
    const size_t lastStart = whole.size() - (17 + 16);
    for (size_t n = lastStart; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        WriteBytes(path, whole, n);
        const JournalContents c = ReadJournal(path);
        const bool cut = n != lastStart && n != whole.size();
        ASSERT_EQ(c.records.size(), n == whole.size() ? 3u : 2u);
        EXPECT_EQ(c.torn, cut);
        EXPECT_FALSE(c.damaged);
        EXPECT_EQ(c.records[1].kind, 2u);
        EXPECT_EQ(c.records[1].body, Body(3000, 2));
    }
    std::remove(path.c_str());
}

TEST(JournalFile, AFlippedBitStopsAtItsRecordAndSaysSo) {
    const std::string path = TempPath("journal-flip");
    const std::vector<uint8_t> whole = ThreeRecords(path);
    const size_t second = sizeof kJournalMagic + 40 + 16;
    // A bit in the second record's length, kind, body and check in turn.
    for (size_t at : {second, second + 4, second + 8 + 1500, second + 8 + 3000 + 7}) {
        SCOPED_TRACE(at);
        std::vector<uint8_t> bad = whole;
        bad[at] ^= 0x10;
        WriteBytes(path, bad, bad.size());
        const JournalContents c = ReadJournal(path);
        ASSERT_EQ(c.records.size(), 1u);
        EXPECT_EQ(c.records[0].body, Body(40, 1));
        EXPECT_TRUE(c.damaged || c.torn);
        EXPECT_FALSE(c.problem.empty());
    }
    // A flip in the body of a record with more after it is damage, named by its number.
    std::vector<uint8_t> bad = whole;
    bad[second + 8 + 10] ^= 1;
    WriteBytes(path, bad, bad.size());
    const JournalContents c = ReadJournal(path);
    EXPECT_TRUE(c.damaged);
    EXPECT_NE(c.problem.find("record 2"), std::string::npos) << c.problem;
    // Not a journal at all.
    WriteBytes(path, Body(64, 9), 64);
    EXPECT_THROW(ReadJournal(path), std::runtime_error);
    std::remove(path.c_str());
}

TEST(JournalFile, TheLockTellsALiveSessionAndTheFileIsPrivate) {
    const std::string path = TempPath("journal-lock");
    std::remove(path.c_str());
    {
        JournalWriter w(path, nullptr);
        EXPECT_TRUE(JournalInUse(path));
        EXPECT_THROW(JournalWriter(path, nullptr), std::runtime_error);  // never two writers
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_FALSE(JournalInUse(path));  // the writer ended without removing: left behind
    EXPECT_EQ(ReadJournal(path).records.size(), 0u);
    std::remove(path.c_str());
    JournalWriter gone(path, nullptr);
    gone.Append(1, Body(8, 1), true);
    gone.Remove();
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
}

namespace {

struct Planes {
    std::vector<uint8_t> r, g, b;
    bool operator==(const Planes&) const = default;
};

Planes PlanesNow() { return {Module1.RPlane.bytes, Module1.GPlane.bytes, Module1.BPlane.bytes}; }

// One stroke through the pointer handlers at the view as it is: n moves along a wave, with the
// pen's pressure and, halfway, a setting changed as a slider would between two moves.
void PaintStroke(float x0, float y0, int n, float* setting, float value) {
    Module1State& m = Module1;
    auto at = [&](int i, float& X, float& Y) {
        X = (x0 + 3.1f * i) * m.Zoom + m.ScrollX;
        Y = (y0 + 9 * std::sin(0.4f * i)) * m.Zoom + m.ScrollY;
        m.PenPressure = 0.3f + 0.7f * static_cast<float>(Rand(0, 100)) / 100;
    };
    float X, Y;
    at(0, X, Y);
    Form_MouseDown(kLeftButton, 0, X, Y);
    for (int i = 1; i < n; ++i) {
        if (i == n / 2 && setting) *setting = value;
        at(i, X, Y);
        Form_MouseMove(kLeftButton, 0, X, Y);
    }
    at(n, X, Y);
    Form_MouseUp(kLeftButton, 0, X, Y);
}

}  // namespace

// A session painted through the real handlers at a zoom and scroll, with every brush kind,
// blend modes, settings changed within strokes, undo, clear, Get image and Get paper; its
// journal replayed on a fresh engine gives the same planes, and the same undo history.
TEST(JournalReplay, RebuildsTheSessionByteForByte) {
    const std::string path = TempPath("journal-replay");
    std::remove(path.c_str());
    ResetEngine();
    RecordingSurface view;
    Dibs.View = &view;
    DetachView detach;
    auto host = std::make_shared<RecordingHost>(150, 110, 13, 11);
    host->showOnSend = false;
    Main(host, nullptr);
    Module1State& m = Module1;
    m.BrushSize = 5, m.StampStrength = 255, m.BrushOpacity = 255, m.StampSpacing = 15;
    m.PaperStrength = 90;
    ApplyZoom(1.75f, -13, 7);
    Journal journal(path, SessionRecord{1, 2, "file", "/tmp/x.png", {}, 0}, nullptr);
    Wiring.Journal = &journal;
    const Restore<JournalTap*> forget(Wiring.Journal);

    struct Kind {
        int curve, relief, mode;
        float r, g, b;
    };
    const Kind kinds[] = {{0, 0, 0, 200, 10, 40},  {1, 0, 7, 20, 90, 240}, {2, 0, 7, 0, 0, 0},
                          {1, 1, 0, 250, 250, 20}, {0, 0, 3, 60, 160, 60}, {0, 1, 10, 9, 99, 199}};
    Planes beforeLast;
    int strokes = 0;
    for (int k = 0; k < 6; ++k) {
        const Kind& c = kinds[k];
        m.BrushCurve = c.curve, m.BrushRelief = c.relief, m.BlendMode = c.mode;
        m.ColorR = c.r, m.ColorG = c.g, m.ColorB = c.b;
        float* settings[] = {&m.BrushSize, &m.BrushOpacity, &m.StampSpacing, &m.StampStrength};
        PaintStroke(8 + 11.0f * k, 20 + 13.0f * k, 25 + 4 * k, settings[k % 4], 3 + 40.0f * k);
        ++strokes;
        if (k == 1) PopUndo();
        if (k == 2) ClearImage();
        if (k == 3) {
            host->r = Plane(150, 110, 77);
            GetImage();
            host->paper = Plane(5, 4, 200);
            GetPaperMenu_Click();
        }
        if (k == 4) beforeLast = PlanesNow();
    }
    journal.Drain();
    ASSERT_FALSE(journal.Failed());
    Wiring.Journal = nullptr;
    const Planes live = PlanesNow();
    const size_t liveHistory = m.UndoList.size();

    ResetEngine();
    const JournalContents contents = ReadJournal(path);
    Main(std::make_shared<JournalHost>(contents), nullptr);
    const ReplayResult result = ReplayOperations(contents);
    EXPECT_EQ(result.problem, "");
    EXPECT_EQ(result.strokes, strokes);
    EXPECT_TRUE(PlanesNow() == live);
    EXPECT_EQ(m.RBase.bytes, live.r);
    EXPECT_EQ(m.UndoList.size(), liveHistory);
    PopUndo();
    EXPECT_TRUE(PlanesNow() == beforeLast);
    std::remove(path.c_str());
}
