#include "core/memory_budget.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

namespace {

constexpr int64_t kUnknown = std::numeric_limits<int64_t>::max();

// The first number in a file, or kUnknown ("max", missing, unreadable).
int64_t ReadNumber(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    if (!(in >> word)) return kUnknown;
    char* end = nullptr;
    const long long v = std::strtoll(word.c_str(), &end, 10);
    if (end == word.c_str() || v < 0) return kUnknown;
    return v;
}

int64_t MemAvailable() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long kb = 0;
    std::string unit;
    while (in >> key >> kb) {
        std::getline(in, unit);
        if (key == "MemAvailable:") return int64_t(kb) * 1024;
    }
    return kUnknown;
}

// Room under a cgroup limit at dir and every ancestor up to root.
int64_t RoomUnder(const std::string& root, std::string dir, const char* limitFile,
                  const char* usageFile) {
    int64_t room = kUnknown;
    for (;;) {
        const std::string base = root + dir;
        const int64_t limit = ReadNumber(base + "/" + limitFile);
        // cgroup v1 reports "no limit" as a huge page-rounded number.
        if (limit != kUnknown && limit < (int64_t(1) << 60)) {
            const int64_t used = ReadNumber(base + "/" + usageFile);
            const int64_t left = used == kUnknown ? limit : (limit > used ? limit - used : 0);
            if (left < room) room = left;
        }
        if (dir.empty() || dir == "/") break;
        const size_t slash = dir.find_last_of('/');
        dir = slash == std::string::npos || slash == 0 ? std::string() : dir.substr(0, slash);
    }
    return room;
}

int64_t CgroupRoom() {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    int64_t room = kUnknown;
    while (std::getline(in, line)) {
        // hierarchy-ID:controller-list:path
        const size_t a = line.find(':');
        const size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        const std::string controllers = line.substr(a + 1, b - a - 1);
        const std::string path = line.substr(b + 1);
        int64_t r = kUnknown;
        if (controllers.empty())
            r = RoomUnder("/sys/fs/cgroup", path, "memory.max", "memory.current");
        else if (controllers.find("memory") != std::string::npos)
            r = RoomUnder("/sys/fs/cgroup/memory", path, "memory.limit_in_bytes",
                          "memory.usage_in_bytes");
        if (r < room) room = r;
    }
    return room;
}

// Says once a run, for each setting and text, why the text is ignored: the settings are read
// again at every measurement.
void Ignored(const char* name, const char* text, const char* why) {
    static std::set<std::string> told;
    if (!told.insert(std::string(name) + '=' + text).second) return;
    std::fprintf(stderr, "marlo: %s=\"%s\" %s; it is ignored\n", name, text, why);
}

}  // namespace

int64_t EnvMegabytes(const char* name) {
    const char* text = std::getenv(name);
    if (!text || !*text) return 0;
    // Decimal figures only ("1000", "1e3", "512.5", spaces around): strtod alone would also
    // take "inf", "nan" and hexadecimal, and stop silently before junk.
    const std::string t(text);
    const size_t first = t.find_first_not_of(" \t"), last = t.find_last_not_of(" \t");
    const std::string core = first == std::string::npos ? "" : t.substr(first, last - first + 1);
    char* end = nullptr;
    const double mb = core.empty() ? 0 : std::strtod(core.c_str(), &end);
    if (core.empty() || core.find_first_not_of("0123456789.eE+-") != std::string::npos ||
        end != core.c_str() + core.size() || !std::isfinite(mb)) {
        Ignored(name, text, "is not a number of megabytes");
        return 0;
    }
    if (mb < 1) {
        Ignored(name, text, "is less than one megabyte");
        return 0;
    }
    // A pebibyte (2^30 MiB) is more than any machine this runs on holds.
    if (mb > double(1 << 30)) {
        Ignored(name, text, "is more megabytes than any computer holds");
        return 0;
    }
    return static_cast<int64_t>(mb * double(1 << 20));
}

AvailableMemory MeasureAvailableMemory() {
    if (const int64_t set = EnvMegabytes("MARLO_MEMORY_MB"))
        return {set, "the limit MARLO_MEMORY_MB sets"};
    const int64_t system = MemAvailable();
    const int64_t cgroup = CgroupRoom();
    if (cgroup < system) return {cgroup, "the memory limit of this session's control group"};
    return {system, ""};
}

int64_t AvailableMemoryBytes() { return MeasureAvailableMemory().bytes; }

std::string AvailableMemoryText(const AvailableMemory& m) {
    const std::string text = MemoryText(m.bytes > 0 ? m.bytes : 0) + " is available";
    return *m.source ? text + " (" + m.source + ")" : text;
}

std::string MemoryText(int64_t bytes) {
    char text[32];
    if (bytes >= (int64_t(1) << 30))
        std::snprintf(text, sizeof text, "%.1f GiB", double(bytes) / double(int64_t(1) << 30));
    else if (bytes >= (int64_t(1) << 20))
        std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / double(1 << 20));
    else
        std::snprintf(text, sizeof text, "%lld KiB", static_cast<long long>((bytes + 1023) >> 10));
    return text;
}
