// Errors raised by procedures and host calls. A handler without its own trap stops at the
// first one; the window layer catches them at the event boundary and tells the user.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

struct MarloError : std::runtime_error {
    int code;
    MarloError(int c, const std::string& what) : std::runtime_error(what), code(c) {}
};

// The host did not answer, answered with an error, or answered with data we cannot use.
struct HostError : MarloError {
    explicit HostError(const std::string& what) : MarloError(440, what) {}
};

// "W x H", for messages about sizes.
inline std::string SizeText(int64_t w, int64_t h) { return std::to_string(w) + " x " + std::to_string(h); }

constexpr int kErrOutOfMemory = 31001;  // the display bitmap could not be created
constexpr int kErrOverflow = 6;         // a value does not fit its type
