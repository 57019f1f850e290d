// Little-endian byte writing and bounded reading for the journal's record bodies.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the journal is written little-endian");

class ByteWriter {
public:
    template <typename T>
    void Put(T v) {
        static_assert(std::is_arithmetic_v<T>);
        const size_t at = bytes_.size();
        bytes_.resize(at + sizeof v);
        std::memcpy(&bytes_[at], &v, sizeof v);
    }
    void PutBytes(const uint8_t* p, size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
    void PutText(const std::string& s) {
        Put(static_cast<uint32_t>(s.size()));
        PutBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Throws std::runtime_error on a read past the end: a body that does not hold what its kind
// says is damaged, never read as something else.
class ByteReader {
public:
    ByteReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    template <typename T>
    T Get() {
        static_assert(std::is_arithmetic_v<T>);
        T v;
        std::memcpy(&v, Take(sizeof v), sizeof v);
        return v;
    }
    const uint8_t* Take(size_t n) {
        if (n > n_ - at_) throw std::runtime_error("a journal record is shorter than it says");
        const uint8_t* p = p_ + at_;
        at_ += n;
        return p;
    }
    std::string GetText() {
        const auto n = Get<uint32_t>();
        return {reinterpret_cast<const char*>(Take(n)), n};
    }
    bool AtEnd() const { return at_ == n_; }

private:
    const uint8_t* p_;
    size_t n_, at_ = 0;
};
