// The processor level the fast paths run at. Each level has the vector steps of the ones below
// it and paints the same bytes; a lower one than the machine's is chosen with MARLO_CPU (plain,
// sse2, avx2) or, in tests, with CpuLevelScope, so that every level's steps can be run and
// compared on one machine.
#pragma once
#include <atomic>
#include <string>
#include <vector>

enum class CpuLevel : int {
    Plain,  // no vector instructions chosen by hand
    Sse2,   // 16-byte steps (every x86-64 processor)
    Avx2,   // 32-byte steps; AVX2 together with FMA, which the scaling's wide steps use
};

// The highest level this build and this processor can run.
CpuLevel MachineCpuLevel();
// Every level this build and this processor can run, lowest first.
std::vector<CpuLevel> MachineCpuLevels();

// "plain", "sse2", "avx2".
const char* CpuLevelName(CpuLevel level);

// The level MARLO_CPU asks for: setting (null or empty when unset) names a level, clamped to
// the machine's; a name that is not a level, or one above the machine's, gives the machine's
// level and a one-line complaint (otherwise complaint is left empty).
CpuLevel CpuLevelFromSetting(const char* setting, CpuLevel machine, std::string* complaint);

namespace cpu_level_detail {
extern std::atomic<int> active;  // the active level, or -1 before the first use
CpuLevel Start();                // reads MARLO_CPU once, complains on stderr if it must
}  // namespace cpu_level_detail

// The level the fast paths use: MARLO_CPU's, else the machine's, unless a test set another.
// A fast path reads it once per call, not per pixel.
inline CpuLevel ActiveCpuLevel() {
    const int level = cpu_level_detail::active.load(std::memory_order_relaxed);
    return level >= 0 ? static_cast<CpuLevel>(level) : cpu_level_detail::Start();
}

// Makes level (at most the machine's) the active one; returns the level now active.
CpuLevel SetCpuLevel(CpuLevel level);

// The fast paths at level for the scope's lifetime; the level before it is restored after.
class CpuLevelScope {
public:
    explicit CpuLevelScope(CpuLevel level) : previous_(ActiveCpuLevel()) { SetCpuLevel(level); }
    ~CpuLevelScope() { SetCpuLevel(previous_); }
    CpuLevelScope(const CpuLevelScope&) = delete;
    CpuLevelScope& operator=(const CpuLevelScope&) = delete;

private:
    CpuLevel previous_;
};
