// A saved plane of the undo history kept compressed, and the compression of it a block at a time.
//
// The plane's bytes (x fastest, top row first) are cut into blocks of kPackBlock bytes, the last
// one shorter. Each block becomes the differences of each byte from the one before it (the
// block's first byte as it is), compressed with zstd's fastest level: a photograph's noise
// leaves LZ4 nothing to find, while the differences of neighbours are small numbers that zstd's
// entropy coder packs to about half. A block that does not get smaller is stored as it is;
// its stored length then equals its plain length, which a compressed block's never does.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kPackBlock = size_t{256} << 10;

struct PackedPlane {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> raw;     // the plain bytes until every block is packed, then empty
    std::vector<uint8_t> packed;  // the stored blocks, one after another
    std::vector<uint32_t> ends;   // where each stored block ends in packed

    size_t size() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
    size_t blocks() const { return (size() + kPackBlock - 1) / kPackBlock; }
    bool packing() const { return ends.size() < blocks(); }
    // Heap bytes held, as the undo budget counts them. While the blocks are packed, the room
    // reserved for them beyond those already stored is not counted: it is never touched.
    int64_t heldBytes() const {
        const size_t stored = packing() ? packed.size() : packed.capacity();
        return static_cast<int64_t>(raw.capacity() + stored + ends.capacity() * sizeof(uint32_t));
    }
};
