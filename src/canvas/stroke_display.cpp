#include "canvas/stroke_display.h"

#include <cmath>
#include <tuple>

#include "app/module1.h"
#include "app/scratch.h"
#include "canvas/display_rects.h"

StrokeDisplay::StrokeDisplay(const Rect* areas, int count) : count_(std::min(count, kMaxPieces)) {
    const Module1State& m = Module1;
    for (int k = 0; k < count_; ++k) {
        area_[k] = areas[k];
        if (!area_[k].empty()) target_[k] = BlitTarget(m.RBase, m.GBase, m.BBase, area_[k]);
    }
}

bool StrokeDisplay::AnyShown() const {
    for (int k = 0; k < count_; ++k)
        if (!target_[k].empty()) return true;
    return false;
}

void StrokeDisplay::ExtraComposites(const Rect* composite, PerPiece& extra) const {
    const Module1State& m = Module1;
    for (std::vector<Rect>& e : extra) e.clear();
    if (m.Zoom == 1.0f || !AnyShown()) return;
    // Away from zoom 1 a display pixel blends its image pixel's neighbours. The display pixels
    // rendered last at t are those of its update that no later update renders again; the image
    // pixels they blend are what must be current at t.
    static_assert(std::tuple_size_v<decltype(Scratch.displayRendered)> == kMaxPieces);
    auto& rendered = Scratch.displayRendered;
    std::vector<Rect>& last = Scratch.displayLast;
    std::vector<Rect>& need = Scratch.displayNeed;
    std::vector<Rect>& spare = Scratch.displayCut;
    for (int t = 0; t < count_; ++t) {
        rendered[t].clear();
        if (target_[t].empty()) continue;
        last.assign(1, target_[t]);
        for (int j = t + 1; j < count_ && !last.empty(); ++j) SubtractAll(last, target_[j], spare);
        for (const Rect& q : last)
            rendered[t].push_back(SmoothBlitSource(q, m.BufferWidth, m.BufferHeight, m.Zoom));
    }
    // Piece k composites, besides its own last pixels, those that a display pixel rendered at
    // some t >= k blends before a later piece (k < j <= t) composites them again.
    for (int t = 0; t < count_; ++t) {
        need.assign(rendered[t].begin(), rendered[t].end());
        for (int k = t; k >= 0 && !need.empty(); --k) {
            if (k < t) SubtractAll(need, composite[k + 1], spare);
            if (composite[k].empty()) continue;
            for (const Rect& q : need) {
                const Rect in = q.Intersected(composite[k]);
                if (!in.empty()) extra[k].push_back(in);
            }
        }
    }
}

void StrokeDisplay::Show(int k) const {
    const Module1State& m = Module1;
    if (k >= count_ || area_[k].empty()) return;
    // The display pixels the later updates of this move render again are left to them.
    BlitDisplayBefore(m.RBase, m.GBase, m.BBase, area_[k], target_.data() + k + 1, count_ - k - 1);
}
