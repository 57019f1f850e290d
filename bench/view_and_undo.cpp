#include "view_and_undo.h"

#include <chrono>
#include <vector>

#include "bench_scene.h"
#include "canvas/dibs.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "figures.h"

namespace {

using Clock = std::chrono::steady_clock;

BenchSurface surface;

template <typename Before, typename Timed>
double MedianMs(int calls, Before before, Timed timed) {
    std::vector<double> ms;
    for (int i = 0; i < calls; ++i) {
        before();
        const auto t0 = Clock::now();
        timed();
        ms.push_back(std::chrono::duration<double>(Clock::now() - t0).count() * 1e3);
    }
    return Median(ms);
}

void WholeImageStep() {
    const Module1State& m = Module1;
    PushUndo(0, 0, static_cast<float>(m.BufferWidth - 1), static_cast<float>(m.BufferHeight - 1));
}

}  // namespace

// Each save follows the undo of the previous one, so that (but for the first) it saves into
// arrays the engine already holds, as saves do once the history is in use.
double UndoPushMs(int calls) {
    SetUpEngine(1, &surface);
    return MedianMs(
        calls,
        [] {
            if (!Module1.UndoList.empty()) PopUndo();
        },
        WholeImageStep);
}

double UndoPopMs(int calls) {
    SetUpEngine(1, &surface);
    return MedianMs(calls, WholeImageStep, PopUndo);
}

double RedrawMs(float zoom, int calls) {
    SetUpEngine(zoom, &surface);
    return MedianMs(
        calls, [] {}, displaybuffers);
}

double DisplayBitmapBytes(float zoom) {
    SetUpEngine(zoom, &surface);
    return static_cast<double>(Dibs.Storage.size()) * sizeof(uint32_t);
}
