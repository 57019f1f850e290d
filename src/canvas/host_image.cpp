#include "canvas/host_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "canvas/undo_pack.h"
#include "core/module1.h"
#include "core/wiring.h"

namespace {

bool Held() {
    const Module1State& m = Module1;
    return std::all_of(std::begin(m.HostImage), std::end(m.HostImage), [&](const PackedPlane& p) {
        return p.width == m.BufferWidth && p.height == m.BufferHeight && p.size() > 0 &&
               m.RPlane.sizeIs(p.width, p.height) && m.GPlane.sizeIs(p.width, p.height) &&
               m.BPlane.sizeIs(p.width, p.height);
    });
}

// The remembered image a block at a time (the blocks of its compression): block(at, n, red,
// green, blue) with the block's n bytes of each plane from byte `at` on; stops when it returns
// false.
template <typename Block>
void ForEachBlock(Block block) {
    const PackedPlane* held = Module1.HostImage;
    std::vector<uint8_t> bytes(3 * kPackBlock);
    uint8_t* rgb[3] = {bytes.data(), bytes.data() + kPackBlock, bytes.data() + 2 * kPackBlock};
    const size_t size = held[0].size();
    for (size_t b = 0; b < held[0].blocks(); ++b) {
        for (int c = 0; c < 3; ++c) UnpackBlock(held[c], b, rgb[c]);
        const size_t at = b * kPackBlock;
        if (!block(at, std::min(kPackBlock, size - at), rgb[0], rgb[1], rgb[2])) return;
    }
}

}  // namespace

void RememberHostImage() {
    Module1State& m = Module1;
    for (PackedPlane& p : m.HostImage) p = PackedPlane();  // the room for the new copies
    const Plane* planes[3] = {&m.RPlane, &m.GPlane, &m.BPlane};
    for (int c = 0; c < 3; ++c)
        m.HostImage[c] =
            StartPacking(planes[c]->width, planes[c]->height, std::vector(planes[c]->bytes));
    if (Wiring.UndoPackingWanted) Wiring.UndoPackingWanted();
}

bool PaintedSinceHostImage() {
    if (!Held()) return true;
    const Module1State& m = Module1;
    bool differs = false;
    ForEachBlock([&](size_t at, size_t n, const uint8_t* r, const uint8_t* g, const uint8_t* b) {
        differs = std::memcmp(m.RPlane.bytes.data() + at, r, n) != 0 ||
                  std::memcmp(m.GPlane.bytes.data() + at, g, n) != 0 ||
                  std::memcmp(m.BPlane.bytes.data() + at, b, n) != 0;
        return !differs;
    });
    return differs;
}

PaintingMerge MergePainting(Plane& r, Plane& g, Plane& b) {
    const Module1State& m = Module1;
    PaintingMerge merge;
    if (!Held()) {  // nothing to tell the painter's pixels by: all are the painter's
        r = m.RPlane, g = m.GPlane, b = m.BPlane;
        return merge;
    }
    const uint8_t* canvas[3] = {m.RPlane.bytes.data(), m.GPlane.bytes.data(),
                                m.BPlane.bytes.data()};
    uint8_t* host[3] = {r.bytes.data(), g.bytes.data(), b.bytes.data()};
    ForEachBlock([&](size_t at, size_t n, const uint8_t* r0, const uint8_t* g0, const uint8_t* b0) {
        const uint8_t* was[3] = {r0, g0, b0};
        for (size_t i = 0; i < n; ++i) {
            const size_t k = at + i;
            bool painted = false, theirs = false, same = true;
            for (int c = 0; c < 3; ++c) {
                painted |= canvas[c][k] != was[c][i];
                theirs |= host[c][k] != was[c][i];
                same &= host[c][k] == canvas[c][k];
            }
            if (!painted) {
                merge.hostChanged |= theirs;
                continue;
            }
            merge.overlap |= theirs && !same;
            for (int c = 0; c < 3; ++c) host[c][k] = canvas[c][k];
        }
        return true;
    });
    return merge;
}

PackedPlane* HostImageToPack() {
    for (PackedPlane& p : Module1.HostImage)
        if (p.packing()) return &p;
    return nullptr;
}
