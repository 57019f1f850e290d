// How much memory the program may still take, measured before large buffers are committed.
#pragma once
#include <cstdint>
#include <string>

// Bytes this process can still allocate: the system's MemAvailable, lowered to the room left
// under the cgroup's memory.max (or the v1 limit) where one is set, on this cgroup or an
// ancestor. MARLO_MEMORY_MB, when set to a positive number, replaces the measurement (tests
// and users who want Marlo to stay small). Returns INT64_MAX when nothing can be read.
int64_t AvailableMemoryBytes();

// The environment variable name as a count of megabytes, in bytes; 0 when it is unset, not a
// number or not positive.
int64_t EnvMegabytes(const char* name);

// "1.5 GiB", "640 MiB", "12 KiB": a byte count as a painter reads it.
std::string MemoryText(int64_t bytes);
