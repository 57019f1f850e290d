// The whole engine made fresh, as at process start: the program state (Module1, the undo
// budget and notice with it), the working memory (Scratch, the zstd contexts with it), every
// member of the display bitmap's record (Dibs: no bitmap, no view) and the hooks the windows
// plug in (Wiring). Tests and the benchmark start each case from it. The windows' own record
// (canvas/qt/windows_state.h) is not the engine's and is left alone. The CPU
// level of the fast paths (core/cpu_level.h) is kept: it is the process's, MARLO_CPU's or the
// machine's, and a test that runs the fast paths at another level does so in a CpuLevelScope.
#pragma once

void ResetEngine();
