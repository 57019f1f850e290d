#include "core/cpu_level.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr CpuLevel kLevels[] = {CpuLevel::Plain, CpuLevel::Sse2, CpuLevel::Avx2};

CpuLevel Measure() {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return CpuLevel::Avx2;
#endif
#ifdef __SSE2__
    return CpuLevel::Sse2;
#else
    return CpuLevel::Plain;
#endif
}

// "plain, sse2" for the levels up to top.
std::string NamesUpTo(CpuLevel top) {
    std::string names;
    for (CpuLevel level : kLevels) {
        if (level > top) break;
        if (!names.empty()) names += ", ";
        names += CpuLevelName(level);
    }
    return names;
}

}  // namespace

std::atomic<int> cpu_level_detail::active{-1};

CpuLevel MachineCpuLevel() {
    static const CpuLevel machine = Measure();
    return machine;
}

std::vector<CpuLevel> MachineCpuLevels() {
    std::vector<CpuLevel> levels;
    for (CpuLevel level : kLevels)
        if (level <= MachineCpuLevel()) levels.push_back(level);
    return levels;
}

const char* CpuLevelName(CpuLevel level) {
    switch (level) {
        case CpuLevel::Plain: return "plain";
        case CpuLevel::Sse2: return "sse2";
        case CpuLevel::Avx2: return "avx2";
    }
    return "?";
}

CpuLevel CpuLevelFromSetting(const char* setting, CpuLevel machine, std::string* complaint) {
    complaint->clear();
    if (!setting || !*setting) return machine;
    for (CpuLevel level : kLevels) {
        if (std::strcmp(setting, CpuLevelName(level)) != 0) continue;
        if (level <= machine) return level;
        *complaint = std::string("MARLO_CPU=") + setting + ": this processor runs only " +
                     NamesUpTo(machine) + "; using " + CpuLevelName(machine);
        return machine;
    }
    *complaint = std::string("MARLO_CPU=") + setting + ": not a level (" +
                 NamesUpTo(CpuLevel::Avx2) + "); using " + CpuLevelName(machine);
    return machine;
}

CpuLevel cpu_level_detail::Start() {
    // The setting is read and judged once, however many threads get here first.
    static const CpuLevel start = [] {
        std::string complaint;
        const CpuLevel level =
            CpuLevelFromSetting(std::getenv("MARLO_CPU"), MachineCpuLevel(), &complaint);
        if (!complaint.empty()) std::fprintf(stderr, "marlo: %s\n", complaint.c_str());
        return level;
    }();
    int unset = -1;
    active.compare_exchange_strong(unset, static_cast<int>(start), std::memory_order_relaxed);
    return static_cast<CpuLevel>(active.load(std::memory_order_relaxed));
}

CpuLevel SetCpuLevel(CpuLevel level) {
    ActiveCpuLevel();  // MARLO_CPU is judged (and any complaint made) before a test's level
    if (level > MachineCpuLevel()) level = MachineCpuLevel();
    cpu_level_detail::active.store(static_cast<int>(level), std::memory_order_relaxed);
    return level;
}
