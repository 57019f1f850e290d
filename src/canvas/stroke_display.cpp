#include "canvas/stroke_display.h"

#include <algorithm>
#include <tuple>

#include "canvas/display_rects.h"
#include "core/module1.h"
#include "core/scratch.h"

StrokeDisplay::StrokeDisplay(const Rect* areas, int count) : count_(std::min(count, kMaxPieces)) {
    const Module1State& m = Module1;
    for (int k = 0; k < count_; ++k) {
        area_[k] = areas[k];
        if (!area_[k].empty()) target_[k] = BlitTarget(m.RBase, m.GBase, m.BBase, area_[k]);
    }
}

void StrokeDisplay::Plan(const Rect* composite, bool lastOnly, PerPiece& extra) {
    const Module1State& m = Module1;
    for (std::vector<Rect>& e : extra) e.clear();
    static_assert(std::tuple_size_v<decltype(Scratch.displayNow)> == kMaxPieces);
    auto& now = Scratch.displayNow;
    std::vector<Rect>& later = Scratch.displayLater;
    std::vector<Rect>& last = Scratch.displayLast;
    std::vector<Rect>& spare = Scratch.displayCut;
    later.clear();
    bool allWait = true;
    // The display pixels whose last update is t's, and what they blend: when a later piece
    // composites none of that, their colour at t is their colour at the end.
    for (int t = 0; t < count_; ++t) {
        now[t].clear();
        if (target_[t].empty()) continue;
        last.assign(1, target_[t]);
        for (int j = t + 1; j < count_ && !last.empty(); ++j) SubtractAll(last, target_[j], spare);
        for (const Rect& q : last) {
            const Rect source = SmoothBlitSource(q, m.BufferWidth, m.BufferHeight, m.Zoom);
            bool waits = true;
            for (int j = t + 1; j < count_ && waits; ++j)
                waits = source.Intersected(composite[j]).empty();
            (waits ? later : now[t]).push_back(q);
            allWait = allWait && waits;
        }
    }
    if (!lastOnly || allWait) return;

    // Piece k composites, besides its own last pixels, those that a display pixel rendered at
    // some t >= k blends before a later piece (k < j <= t) composites them again.
    std::vector<Rect>& need = Scratch.displayNeed;
    for (int t = 0; t < count_; ++t) {
        need.clear();
        for (const Rect& q : now[t])
            need.push_back(SmoothBlitSource(q, m.BufferWidth, m.BufferHeight, m.Zoom));
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
    FollowWindow(m.RBase, m.GBase, m.BBase);
    if (target_[k].empty()) return;
    const Rect& whole = target_[k];
    for (Rect part : Scratch.displayNow[k]) {
        // Any pixel of this update may be rendered now (a later one renders it again if it is
        // not this one's to keep): whole groups of four columns within the update spare the
        // scaling's vector steps odd pixels at the ends.
        part.x0 = std::max(whole.x0, part.x0 / 4 * 4);
        part.x1 = std::min(whole.x1, (part.x1 + 3) / 4 * 4);
        RenderDisplay(m.RBase, m.GBase, m.BBase, part);
    }
}

namespace {

// The union of rects as disjoint rectangles: bands of rows, each split where the union has
// gaps, a band joined to the one above where their columns agree. Appended to out.
void UnionBands(const std::vector<Rect>& rects, std::vector<Rect>& out) {
    std::vector<int32_t>& ys = Scratch.bandEdges;
    std::vector<std::pair<int32_t, int32_t>>& spans = Scratch.bandSpans;
    ys.clear();
    for (const Rect& r : rects)
        if (!r.empty()) {
            ys.push_back(r.y0);
            ys.push_back(r.y1);
        }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    size_t above = out.size(), aboveEnd = out.size();  // the rectangles of the band above
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        const int32_t y0 = ys[i], y1 = ys[i + 1];
        spans.clear();
        for (const Rect& r : rects)
            if (!r.empty() && r.y0 <= y0 && r.y1 >= y1) spans.emplace_back(r.x0, r.x1);
        std::sort(spans.begin(), spans.end());
        size_t merged = 0;
        for (const auto& s : spans) {
            if (merged > 0 && s.first <= spans[merged - 1].second)
                spans[merged - 1].second = std::max(spans[merged - 1].second, s.second);
            else
                spans[merged++] = s;
        }
        spans.resize(merged);
        bool same = aboveEnd - above == merged && merged > 0;
        for (size_t k = 0; k < merged && same; ++k) {
            const Rect& a = out[above + k];
            same = a.x0 == spans[k].first && a.x1 == spans[k].second && a.y1 == y0;
        }
        if (same) {
            for (size_t k = 0; k < merged; ++k) out[above + k].y1 = y1;
            continue;
        }
        above = out.size();
        for (const auto& s : spans) out.push_back({s.first, y0, s.second, y1});
        aboveEnd = out.size();
    }
}

}  // namespace

void StrokeDisplay::Finish() const {
    const Module1State& m = Module1;
    std::vector<Rect>& bands = Scratch.displayBands;
    bands.clear();
    UnionBands(Scratch.displayLater, bands);
    for (const Rect& d : bands) RenderDisplay(m.RBase, m.GBase, m.BBase, d);
    for (int k = 0; k < count_; ++k)
        if (!area_[k].empty()) TellWindow(m.RBase, m.GBase, m.BBase, area_[k]);
}
