// The whole engine made fresh, as at process start: the program state, the display bitmap's
// record and every working memory. Tests and the benchmark start each case from it. The CPU
// level of the fast paths (core/cpu_level.h) is kept: it is the process's, MARLO_CPU's or the
// machine's, and a test that runs the fast paths at another level does so in a CpuLevelScope.
#pragma once

void ResetEngine();
