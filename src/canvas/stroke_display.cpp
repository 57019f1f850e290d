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

namespace {

// rects less cut, in place; spare holds the result meanwhile (both keep their memory).
void Cut(std::vector<Rect>& rects, const Rect& cut, std::vector<Rect>& spare) {
    spare.clear();
    for (const Rect& r : rects) Subtract(r, cut, spare);
    rects.swap(spare);
}

}  // namespace

void StrokeDisplay::ExtraComposites(const Rect* composite, PerPiece& extra) const {
    const Module1State& m = Module1;
    for (std::vector<Rect>& e : extra) e.clear();
    if (m.Zoom == 1.0f || !AnyShown()) return;
    // Away from zoom 1 a display pixel blends its image pixel's neighbours: one pixel around it
    // when magnified, the block it averages when reduced. A reach as large as the image covers
    // it all, whatever the zoom.
    const double all = std::max(m.BufferWidth, m.BufferHeight) + 1.0;
    const double blocks = 1.0 / m.Zoom;
    const auto reach = static_cast<int32_t>(
        m.Zoom > 1.0f ? 1.0 : (blocks >= 1 && blocks < all ? std::ceil(blocks) + 1 : all));

    // The image pixels rendered last at t, grown by the reach.
    static_assert(std::tuple_size_v<decltype(Scratch.displayRendered)> == kMaxPieces);
    auto& rendered = Scratch.displayRendered;
    std::vector<Rect>& last = Scratch.displayLast;
    std::vector<Rect>& need = Scratch.displayNeed;
    std::vector<Rect>& spare = Scratch.displayCut;
    std::array<Rect, kMaxPieces> shown{};
    for (int t = 0; t < count_; ++t) {
        rendered[t].clear();
        Rect a;
        if (!area_[t].empty() && ShownArea(m.RBase, m.GBase, m.BBase, area_[t], &a)) shown[t] = a;
    }
    for (int t = 0; t < count_; ++t) {
        if (shown[t].empty()) continue;
        last.assign(1, shown[t]);
        for (int j = t + 1; j < count_ && !last.empty(); ++j) Cut(last, shown[j], spare);
        for (const Rect& q : last) rendered[t].push_back(q.Grown(reach));
    }
    for (int k = 0; k < count_; ++k) {
        const Rect& own = composite[k];
        if (own.empty()) continue;
        for (int t = k; t < count_; ++t) {
            need.assign(rendered[t].begin(), rendered[t].end());
            for (int j = k + 1; j <= t && !need.empty(); ++j) Cut(need, composite[j], spare);
            for (const Rect& q : need) {
                const Rect in = q.Intersected(own);
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
