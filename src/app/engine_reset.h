// The whole engine made fresh, as at process start: the program state, the display bitmap's
// record and every working memory. Tests and the benchmark start each case from it.
#pragma once

void ResetEngine();
