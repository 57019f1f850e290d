// Errors raised by procedures and host calls. A handler without its own trap stops at the
// first one; the window layer catches them at the event boundary and tells the user.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

// The codes, each by what went wrong.
constexpr int kErrHost = 440;           // a host call failed (HostError)
constexpr int kErrOutOfMemory = 31001;  // the display bitmap could not be created
constexpr int kErrImageTooLarge = 7;    // the paper or the image at start does not fit the memory
constexpr int kErrTablet = 5;           // an invalid call on the tablet layer (TabletError)
constexpr int kErrOverflow = 6;         // a value does not fit its type

struct MarloError : std::runtime_error {
    int code;
    MarloError(int c, const std::string& what) : std::runtime_error(what), code(c) {}
};

// The host did not answer, answered with an error, or answered with data we cannot use.
struct HostError : MarloError {
    explicit HostError(const std::string& what) : MarloError(kErrHost, what) {}
};

// "W x H", for messages about sizes.
inline std::string SizeText(int64_t w, int64_t h) {
    return std::to_string(w) + " x " + std::to_string(h);
}
