// The display work of the pieces of one pointer move, planned together. The brush says which
// image rectangle each piece changes and shows (its preview area); here each display pixel is
// rendered once, by the last piece whose update shows it, from the display copy as it stands at
// that piece. The display bitmap and the window end exactly as if every piece had been blitted
// in full, one after the other.
#pragma once
#include <array>
#include <vector>

#include "app/rect.h"

class StrokeDisplay {
public:
    static constexpr int kMaxPieces = 16;
    using PerPiece = std::array<std::vector<Rect>, kMaxPieces>;

    // areas[k]: the image pixels piece k shows (empty when it shows nothing).
    StrokeDisplay(const Rect* areas, int count);

    bool AnyShown() const;
    // For each piece k, the pixels of composite[k] that a display pixel rendered at some piece
    // t >= k blends in before a later piece composites them again: when each pixel is
    // composited only by the last piece that composites it, these must be composited at k too.
    // Nothing at zoom 1, where a display pixel shows its own image pixel only.
    void ExtraComposites(const Rect* composite, PerPiece& extra) const;
    // Piece k's share of the display: rendered, and the window told of its whole update.
    void Show(int k) const;

private:
    int count_;
    std::array<Rect, kMaxPieces> area_{};
    std::array<Rect, kMaxPieces> target_{};  // the display pixels each update renders
};
