// The compression of a saved plane of the undo history, a block at a time (the format heads
// core/packed_plane.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/packed_plane.h"

// Starts packing a w x h plane whose w * h bytes are given; no block is packed yet.
PackedPlane StartPacking(int32_t w, int32_t h, std::vector<uint8_t>&& bytes);
// Packs the next block; returns the plain bytes it took. Once the last block is packed the
// plain bytes are given back through `freed` (for reuse) and only the stored blocks remain.
// Strong guarantee: when it throws (out of memory), the plane is as it was.
size_t PackNextBlock(PackedPlane& plane, std::vector<uint8_t>& freed);
// The plane's w * h bytes written to out. Throws std::runtime_error if a stored block does not
// give back its bytes (which only damaged memory can cause).
void Unpack(const PackedPlane& plane, uint8_t* out);
// Block `block` alone (its kPackBlock bytes, the last block's fewer) written to out; throws as
// Unpack does.
void UnpackBlock(const PackedPlane& plane, size_t block, uint8_t* out);
