#include "brush/commit_stroke.h"

#include <algorithm>
#include <cstdint>

#include "brush/brush.h"
#include "brush/composite.h"
#include "brush/piece.h"
#include "canvas/buffers.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "core/wiring.h"

namespace {

// What the release does to each row.
struct Release {
    UndoSave save;
    Composite c;
    Rect mix;
    Rect clear;
    bool clearing = false;
    bool planes = false;  // every plane has the image size
};

// Rows are saved and mixed a band at a time: the band's three planes are copied a plane at a time
// (two streams of memory, which the processor fetches ahead well), and mixed while they are
// still in the cache.
constexpr int32_t kBand = 16;

// Rows y0 .. y1 - 1, top first, each saved for the undo before the stroke is mixed into it. A
// row's relief reads the coverage of the rows above and below it, so coverage row y - 1 is
// cleared once row y is mixed.
void ReleaseRows(Release& r, int32_t y0, int32_t y1) {
    const Module1State& m = Module1;
    auto clear = [&r](int32_t y) {
        if (r.clearing && y >= r.clear.y0 && y < r.clear.y1)
            ClearCoverageRow(y, r.clear.x0, r.clear.x1);
    };
    for (int32_t b0 = y0; b0 < y1; b0 += kBand) {
        const int32_t b1 = std::min(b0 + kBand, y1);
        SaveUndoRows(r.save, b0, b1);
        for (int32_t y = b0; y < b1; ++y) {
            // The coverage a band ahead: its rows are read where the stroke went, not as a stream.
            if (r.planes && y + kBand < y1)
                for (int32_t x = r.mix.x0; x < r.mix.x1; x += 64)
                    __builtin_prefetch(m.FXBuffer.row(y + kBand) + x);
            if (y >= r.mix.y0 && y < r.mix.y1) CompositeRun(r.c, y, r.mix.x0, r.mix.x1);
            clear(y - 1);
        }
    }
    clear(y1 - 1);
}

}  // namespace

void CommitStroke(float x1, float y1, float x2, float y2) {
    if (Wiring.Journal) Wiring.Journal->Committing(x1, y1, x2, y2);
    Release r;
    r.c.flags = kCommit;
    r.planes = PlanesReady();
    if (r.planes) r.mix = CompositeArea(x1, y1, x2, y2);
    if (!r.mix.empty()) PrepareComposite(r.c);
    r.clearing = CoverageClearArea(x1, y1, x2, y2, &r.clear);
    // Last, once nothing else can fail: the undo step is filed empty and filled below.
    r.save = BeginUndo(x1, y1, x2, y2);

    // The rows any of the three touches.
    int32_t from = INT32_MAX, to = INT32_MIN;
    auto span = [&](bool empty, int32_t top, int32_t bottom) {
        if (empty) return;
        from = std::min(from, top);
        to = std::max(to, bottom);
    };
    span(r.save.empty(), r.save.top, r.save.bottom);
    span(r.mix.empty(), r.mix.y0, r.mix.y1);
    span(!r.clearing, r.clear.y0, r.clear.y1);

    if (from < to) ReleaseRows(r, from, to);
    if (Wiring.Journal) Wiring.Journal->Committed();
}
