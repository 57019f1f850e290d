#include "brush/commit_stroke.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "app/module1.h"
#include "brush/composite.h"
#include "brush/piece.h"
#include "canvas/buffers.h"
#include "canvas/undo.h"

namespace {

// What the release does to each row.
struct Release {
    UndoSave save;
    Composite c;
    PixelRect mix;
    CoverageRows clear;
    bool clearing = false;
    bool planes = false;  // every plane has the image size
    int32_t left = 0, right = 0;  // the columns any of the three touches
};

constexpr int kAhead = 2;  // rows fetched ahead of the one being worked on

// Rows y0 .. y1 - 1, top first: each row's image bytes saved for the undo, then the stroke mixed
// into them while they are in the cache. A row's relief reads the coverage of the rows above and
// below it, so coverage row y - 1 is cleared once row y is mixed.
void ReleaseRows(Release& r, int32_t y0, int32_t y1) {
    const Module1State& m = Module1;
    for (int32_t y = y0; y <= y1; ++y) {
        if (y < y1) {
            if (r.planes && y + kAhead < y1)
                for (const Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane, &m.FXBuffer})
                    for (int32_t x = r.left; x < r.right; x += 64) __builtin_prefetch(p->row(y + kAhead) + x);
            SaveUndoRow(r.save, y);
            if (y >= r.mix.y0 && y < r.mix.y1) CompositeRun(r.c, y, r.mix.x0, r.mix.x1);
        }
        const int32_t done = y - 1;
        if (r.clearing && done >= r.clear.top && done < r.clear.bottom) ClearCoverageRow(done, r.clear.left, r.clear.right);
    }
}

}  // namespace

void CommitStroke(float x1, float y1, float x2, float y2) {
    Release r;
    r.save = BeginUndo(x1, y1, x2, y2);
    r.c.flags = 2;
    r.planes = PlanesReady();
    if (r.planes) r.mix = CompositeArea(x1, y1, x2, y2);
    if (!r.mix.empty()) PrepareComposite(r.c);
    r.clearing = CoverageClearArea(x1, y1, x2, y2, &r.clear);

    int32_t from = INT32_MAX, to = INT32_MIN;
    r.left = INT32_MAX;
    r.right = INT32_MIN;
    auto span = [&](int32_t left, int32_t top, int32_t right, int32_t bottom) {
        if (left >= right || top >= bottom) return;
        from = std::min(from, top);
        to = std::max(to, bottom);
        r.left = std::min(r.left, left);
        r.right = std::max(r.right, right);
    };
    span(r.save.left, r.save.top, r.save.right, r.save.bottom);
    span(r.mix.x0, r.mix.y0, r.mix.x1, r.mix.y1);
    if (r.clearing) span(r.clear.left, r.clear.top, r.clear.right, r.clear.bottom);

    if (from < to) ReleaseRows(r, from, to);
    EndUndo(std::move(r.save));
}
