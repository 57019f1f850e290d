// How much memory the program may still take, measured before large buffers are committed.
#pragma once
#include <cstdint>
#include <string>

// Bytes this process can still allocate: the system's MemAvailable, lowered to the room left
// under the cgroup's memory.max (or the v1 limit) where one is set, on this cgroup or an
// ancestor. MARLO_MEMORY_MB, when set to a positive number, replaces the measurement (tests
// and users who want Marlo to stay small). Returns INT64_MAX when nothing can be read.
int64_t AvailableMemoryBytes();

// The same with where the figure came from: "the limit MARLO_MEMORY_MB sets", "the memory
// limit of this session's control group", or "" for the system's free memory.
struct AvailableMemory {
    int64_t bytes;
    const char* source;
};
AvailableMemory MeasureAvailableMemory();
// "1.5 GiB is available (the limit MARLO_MEMORY_MB sets)".
std::string AvailableMemoryText(const AvailableMemory& m);

// The environment variable name as a count of megabytes, in bytes; 0 when it is unset or
// empty. A value that is not a plain decimal number, under one megabyte or over a pebibyte is
// named on stderr (once a run) and ignored: 0 too.
int64_t EnvMegabytes(const char* name);

// "1.5 GiB", "640 MiB", "12 KiB": a byte count as a painter reads it.
std::string MemoryText(int64_t bytes);
