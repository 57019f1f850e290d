// The release in one pass over the rows against its three steps one after the other: the undo
// save, the merge into the image, the coverage clear.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <string>

#include "brush/brush.h"
#include "brush/commit_stroke.h"
#include "canvas/buffers.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "cpu_levels.h"
#include "engine_setup.h"
#include "test_support.h"

extern const uint32_t kRandSeed = 5113;

namespace {

struct CommitCase {
    const char* name;
    int curve, relief, mode, paper;
    float radius;
    float x1, y1, x2, y2;
    int stepsBefore;      // undo steps already saved
    bool packed = false;  // and compressed before the last of them is undone
};

void PrintTo(const CommitCase& c, std::ostream* os) { *os << c.name; }

class Commit : public ::testing::TestWithParam<CommitCase> {};

void ExpectSameState(const Module1State& want, const Module1State& got) {
    ExpectPlanes(got, want.RPlane, want.GPlane, want.BPlane, want.RBase, want.GBase, want.BBase,
                 want.FXBuffer);
    ASSERT_EQ(got.UndoList.size(), want.UndoList.size());
    for (size_t i = 0; i < got.UndoList.size(); ++i) {
        const UndoItem &a = got.UndoList[i], &b = want.UndoList[i];
        ASSERT_EQ(a.index(), b.index()) << "item " << i;
        if (const Plane* p = std::get_if<Plane>(&a)) {
            const Plane& q = std::get<Plane>(b);
            EXPECT_TRUE(p->width == q.width && p->height == q.height && p->bytes == q.bytes)
                << "item " << i;
        } else if (const PackedPlane* p = std::get_if<PackedPlane>(&a)) {
            const PackedPlane& q = std::get<PackedPlane>(b);
            EXPECT_TRUE(p->width == q.width && p->height == q.height && p->packed == q.packed &&
                        p->ends == q.ends)
                << "item " << i;
        } else {
            EXPECT_EQ(std::get<int32_t>(a), std::get<int32_t>(b)) << "item " << i;
        }
    }
}

TEST_P(Commit, SameAsSaveMergeAndClearOneAfterTheOther) {
    const CommitCase& c = GetParam();
    AtEveryCpuLevel([&] {
        FreshEngine(90, 70);
        Module1State& m = Module1;
        for (Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane})
            for (uint8_t& v : p->bytes) v = static_cast<uint8_t>(Rand(0, 255));
        DisplayCopyFollowsImage();
        // Blotches of coverage with empty stretches between them, and some everywhere.
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 90; ++x)
                if ((x / 9 + y / 7) % 3 == 0 || Rand(0, 20) == 0)
                    m.FXBuffer.at(x, y) = static_cast<uint8_t>(Rand(0, 255));
        m.Paper = Plane(5, 3);
        for (uint8_t& v : m.Paper.bytes) v = static_cast<uint8_t>(Rand(0, 255));
        m.PaperWidth = 5;
        m.PaperHeight = 3;
        m.BrushCurve = c.curve;
        m.BrushRelief = c.relief;
        m.BlendMode = c.mode;
        m.PaperStrength = c.paper;
        m.BrushSize = c.radius;
        m.ColorR = 200;
        m.ColorG = 40;
        m.ColorB = 120;
        for (int i = 0; i < c.stepsBefore; ++i) PushUndo(i % 80, i % 60, i % 80 + 9, i % 60 + 5);
        if (c.packed) FinishUndoPacking();  // gives the plain copies back for reuse

        // An undone step leaves arrays for the next save to reuse; the release (first) takes them.
        if (c.stepsBefore > 0 && c.stepsBefore <= 33) PopUndo();
        const Module1State before = Module1;
        CommitStroke(c.x1, c.y1, c.x2, c.y2);
        const Module1State got = Module1;

        Module1 = before;
        {
            CpuLevelScope plain(CpuLevel::Plain);  // the three steps the plain way
            PushUndo(c.x1, c.y1, c.x2, c.y2);
            RenderSegment(2, c.x1, c.y1, c.x2, c.y2);
            ClearFXbuffer(c.x1, c.y1, c.x2, c.y2);
        }
        ExpectSameState(Module1, got);
    });
}

const CommitCase kCases[] = {
    {"pen_inside", 0, 0, 0, 0, 4, 20.5f, 10.5f, 60.5f, 50.5f, 0},
    {"gel_relief_reversed_corners", 1, 1, 0, 0, 6, 70.2f, 60.7f, 12.1f, 8.9f, 3},
    {"gel_relief_paper_to_the_edges", 1, 1, 0, 200, 9, -5, -5, 95, 75, 1},
    {"ink_blend_mode", 2, 0, 5, 0, 3, 30, 5, 85, 65, 0},
    {"relief_blend_paper_partly_out", 3, 1, 9, 90, 12, -20.5f, 40.5f, 40.5f, 100.5f, 2},
    {"one_row", 1, 1, 0, 0, 0, 10, 30, 80, 30, 0},
    {"one_column", 1, 1, 0, 0, 0, 45, 0, 45, 69, 0},
    {"full_history_drops_the_oldest", 1, 1, 3, 50, 5, 15, 15, 55, 45, 34},
    {"compressed_history", 1, 1, 3, 50, 5, 15, 15, 55, 45, 12, true},
    {"full_compressed_history", 0, 0, 0, 0, 4, -5, -5, 95, 75, 34, true},
    {"wholly_outside", 1, 1, 0, 0, 3, 200, 200, 300, 300, 2},
    {"nan_corner", 1, 1, 0, 0, 3, NAN, 10, 50, 50, 1},
    {"huge_corners", 1, 1, 0, 0, 3, -1e30f, -1e30f, 1e30f, 1e30f, 0},
};

INSTANTIATE_TEST_SUITE_P(Release, Commit, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CommitCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
