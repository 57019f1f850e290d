#include "canvas/undo_pack.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "core/scratch.h"

namespace {

constexpr int kLevel = 1;  // zstd's fastest level that still entropy-codes: 500 MB/s and more

// One compression and one decompression context (Scratch.undoPacking; the history is only
// touched from the user-interface thread), made at the first use.
template <typename Context>
Context* MadeOnce(std::shared_ptr<Context>& held, Context* (*create)(), size_t (*free)(Context*)) {
    if (!held) {
        Context* c = create();
        if (!c) throw std::bad_alloc();
        held.reset(c, free);
    }
    return held.get();
}

ZSTD_CCtx* PackContext() {
    return MadeOnce(Scratch.undoPacking.pack, ZSTD_createCCtx, ZSTD_freeCCtx);
}

ZSTD_DCtx* UnpackContext() {
    return MadeOnce(Scratch.undoPacking.unpack, ZSTD_createDCtx, ZSTD_freeDCtx);
}

}  // namespace

PackedPlane StartPacking(int32_t w, int32_t h, std::vector<uint8_t>&& bytes) {
    PackedPlane p;
    p.width = w;
    p.height = h;
    // Reserved now so that recording a packed block never allocates.
    p.ends.reserve(p.blocks());
    // Room for the plane stored as it is, so that the stored blocks are never moved while they
    // grow; the pages of it that stay unused are never touched (and the room is given back
    // when the last block is packed).
    p.packed.reserve(p.size());
    p.raw = std::move(bytes);
    return p;
}

size_t PackNextBlock(PackedPlane& plane, std::vector<uint8_t>& freed) {
    if (!plane.packing()) return 0;
    const size_t at = plane.ends.size() * kPackBlock;
    const size_t n = std::min(kPackBlock, plane.size() - at);
    const uint8_t* src = plane.raw.data() + at;

    std::vector<uint8_t>& differences = Scratch.undoPacking.differences;
    differences.resize(n);
    uint8_t* __restrict d = differences.data();
    d[0] = src[0];
    for (size_t i = 1; i < n; ++i) d[i] = static_cast<uint8_t>(src[i] - src[i - 1]);
    std::vector<uint8_t>& frame = Scratch.undoPacking.frame;
    frame.resize(ZSTD_compressBound(kPackBlock));
    const size_t c = ZSTD_compressCCtx(PackContext(), frame.data(), frame.size(), d, n, kLevel);
    const bool compressed = !ZSTD_isError(c) && c < n;
    const uint8_t* stored = compressed ? frame.data() : src;
    const size_t length = compressed ? c : n;

    plane.packed.insert(plane.packed.end(), stored, stored + length);  // strong guarantee
    plane.ends.push_back(static_cast<uint32_t>(plane.packed.size()));  // within the reserved room
    if (!plane.packing()) {
        plane.packed.shrink_to_fit();
        freed = std::move(plane.raw);
        plane.raw = {};
    }
    return n;
}

void UnpackBlock(const PackedPlane& plane, size_t block, uint8_t* out) {
    const size_t size = plane.size();
    const size_t at = block * kPackBlock, n = std::min(kPackBlock, size - at);
    if (plane.raw.size() == size) {  // not yet wholly packed: the plain bytes are all still there
        std::memcpy(out, plane.raw.data() + at, n);
        return;
    }
    if (plane.ends.size() != plane.blocks() || block >= plane.ends.size())
        throw std::runtime_error("an undo step is damaged");
    const size_t from = block == 0 ? 0 : plane.ends[block - 1];
    const size_t length = plane.ends[block] - from;
    if (length == n) {
        std::memcpy(out, plane.packed.data() + from, n);
        return;
    }
    const size_t got =
        ZSTD_decompressDCtx(UnpackContext(), out, n, plane.packed.data() + from, length);
    if (ZSTD_isError(got) || got != n) throw std::runtime_error("an undo step is damaged");
    for (size_t i = 1; i < n; ++i) out[i] = static_cast<uint8_t>(out[i] + out[i - 1]);
}

void Unpack(const PackedPlane& plane, uint8_t* out) {
    for (size_t b = 0; b < plane.blocks(); ++b) UnpackBlock(plane, b, out + b * kPackBlock);
}
