// A byte plane: width x height bytes, x varying fastest, top row first.
// The host hands planes over and takes them back in exactly this layout.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/large_pages.h"

struct Plane {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bytes;

    Plane() = default;
    Plane(int32_t w, int32_t h, uint8_t fill = 0) : width(w), height(h) {
        const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
        bytes.reserve(n);
        AdviseLargePages(bytes.data(), n);
        bytes.assign(n, fill);
    }

    uint8_t& at(int32_t x, int32_t y) { return bytes[static_cast<size_t>(y) * width + x]; }
    uint8_t at(int32_t x, int32_t y) const { return bytes[static_cast<size_t>(y) * width + x]; }
    uint8_t* row(int32_t y) { return bytes.data() + static_cast<size_t>(y) * width; }
    const uint8_t* row(int32_t y) const { return bytes.data() + static_cast<size_t>(y) * width; }
    bool sizeIs(int32_t w, int32_t h) const {
        return width == w && height == h &&
               bytes.size() == static_cast<size_t>(w) * static_cast<size_t>(h);
    }
    bool empty() const { return bytes.empty(); }
};
