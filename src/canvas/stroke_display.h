// The display work of the pieces of one pointer move, planned together. The brush says which
// image rectangle each piece changes and shows (its preview area); each display pixel then
// takes the colour the last piece whose update shows it would render, from the display copy
// as it stands at that piece. Most pixels read nothing a later piece composites, so they are
// rendered once, at the end of the move, in a few wide rectangles; the others are rendered at
// their piece. The window is told of every piece's update, in order, at the end. The display
// bitmap and the window end exactly as if every piece had been blitted in full, one after the
// other.
#pragma once
#include <array>
#include <vector>

#include "core/rect.h"

class StrokeDisplay {
public:
    static constexpr int kMaxPieces = 16;
    using PerPiece = std::array<std::vector<Rect>, kMaxPieces>;

    // areas[k]: the image pixels piece k shows (empty when it shows nothing).
    StrokeDisplay(const Rect* areas, int count);

    // Which display pixels wait for the end of the move, given the image pixels each piece
    // composites when drawn in full. lastOnly: each pixel will be composited only by the last
    // piece that composites it; then extra[k] receives the pixels of composite[k] that a
    // display pixel rendered at some piece t >= k blends before a later piece composites them
    // again, which must be composited at k too (otherwise extra is left empty).
    void Plan(const Rect* composite, bool lastOnly, PerPiece& extra);
    // Piece k's display pixels that cannot wait, rendered.
    void Show(int k) const;
    // The rest rendered, and the window told of every piece's update.
    void Finish() const;

private:
    int count_;
    std::array<Rect, kMaxPieces> area_{};
    std::array<Rect, kMaxPieces> target_{};  // the display pixels each update renders
};
