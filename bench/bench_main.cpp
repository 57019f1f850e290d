// marlo-bench [--json FILE] [--trace FILE] [--cpu N] [Google Benchmark flags]
//
// Runs every measurement once, in a fixed order, prints Google Benchmark's report followed by
// a summary table, and with --json writes the figures. --trace writes a digest of the pixels
// around every pointer move of every stroke, so that two builds can be shown to paint the same
// bytes (diff the two files).
//
// The whole run stays on one processor (the one it starts on, or --cpu N): processors of a
// virtual machine can differ in speed, and the engine and libmypaint are only comparable when
// measured on the same one. MARLO_CPU chooses the engine's vector level (core/cpu_level.h);
// the one in use is printed at the start.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_scene.h"
#include "core/cpu_level.h"
#include "figures.h"
#include "startup_bench.h"
#include "stroke_replay.h"
#include "view_and_undo.h"

namespace {

std::FILE* traceFile = nullptr;

void Stroke(benchmark::State& state, BrushKind kind, int radius, float zoom) {
    StrokeFigures f;
    for (auto _ : state) {
        if (traceFile)
            std::fprintf(traceFile, "stroke %s r%d zoom %g\n", BrushName(kind), radius,
                         static_cast<double>(zoom));
        f = ReplayStroke(kind, static_cast<float>(radius), zoom, traceFile);
        state.SetIterationTime(f.moveMedianUs * 1e-6);
    }
    state.counters["p99_us"] = f.moveP99Us;
    state.counters["max_us"] = f.moveMaxUs;
    state.counters["commit_ms"] = f.commitMs;
    state.counters["first_commit_ms"] = f.firstCommitMs;
    state.counters["memcpy_ms"] = f.memcpyMs;
    TheFigures.strokes.push_back(f);
}

void JournalCost(benchmark::State& state) {
    JournalFigures j;
    for (auto _ : state) {
        j = MeasureJournal(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        state.SetIterationTime(j.journalCommitMs * 1e-3);
    }
    state.counters["commit_off_ms"] = j.commitMs;
    state.counters["move_us"] = j.journalMoveMedianUs;
    state.counters["move_off_us"] = j.moveMedianUs;
    state.counters["record_bytes"] = static_cast<double>(j.recordBytes);
    state.counters["recover_1000_ms"] = j.recover1000Ms;
    TheFigures.journalCommitMs = j.journalCommitMs;
    TheFigures.journalOffCommitMs = j.commitMs;
    TheFigures.journalRecordBytes = j.recordBytes;
    TheFigures.recover1000Ms = j.recover1000Ms;
}

void Mypaint(benchmark::State& state, int radius) {
    double median = 0;
    for (auto _ : state) {
        const std::vector<double> moves = ReplayMypaint(static_cast<float>(radius));
        median = Median(moves);
        state.SetIterationTime(median * 1e-6);
        state.counters["p99_us"] = Percentile(moves, 0.99);
    }
    TheFigures.mypaintMedianUs[radius] = median;
}

void UndoPush(benchmark::State& state) {
    const double ms = UndoPushMs(25);
    for (auto _ : state) state.SetIterationTime(ms * 1e-3);
    TheFigures.undoPushMs = ms;
}

void UndoPop(benchmark::State& state) {
    const double ms = UndoPopMs(25);
    for (auto _ : state) state.SetIterationTime(ms * 1e-3);
    TheFigures.undoPopMs = ms;
}

void Redraw(benchmark::State& state, float zoom, const char* name) {
    const double ms = RedrawMs(zoom, 25);
    for (auto _ : state) state.SetIterationTime(ms * 1e-3);
    TheFigures.redrawMs[name] = ms;
}

void BitmapBytes(benchmark::State& state, float zoom, const char* name) {
    const double bytes = DisplayBitmapBytes(zoom);
    for (auto _ : state) state.SetIterationTime(1e-6);
    state.counters["bytes"] = bytes;
    TheFigures.displayBitmapBytes[name] = bytes;
}

// Takes measure()'s figures each iteration, timed by their member `timed`; keeps that in
// *timedOut and the member `other` in *otherOut and as the counter of that name.
template <typename Figures, typename Measure>
void Measured(benchmark::State& state, Measure measure, double Figures::*timed, double* timedOut,
              double Figures::*other, const char* counter, double* otherOut) {
    Figures f;
    for (auto _ : state) {
        f = measure();
        state.SetIterationTime(f.*timed * 1e-3);
    }
    state.counters[counter] = f.*other;
    *timedOut = f.*timed;
    *otherOut = f.*other;
}

void LargeImage(benchmark::State& state) {
    Measured(
        state, [] { return MeasureLargeImage(8192); }, &LargeImageFigures::startMs,
        &TheFigures.startup8192Ms, &LargeImageFigures::closeMs, "close_ms",
        &TheFigures.close8192Ms);
}

void Startup(benchmark::State& state) {
    Measured(
        state, [] { return MeasureStartup(3); }, &StartupFigures::totalMs, &TheFigures.startupMs,
        &StartupFigures::loadMs, "file_ms", &TheFigures.startupLoadMs);
}

// Each measurement runs exactly once and reports its own median as the time.
benchmark::internal::Benchmark* Once(benchmark::internal::Benchmark* b, benchmark::TimeUnit unit) {
    return b->Iterations(1)->UseManualTime()->Unit(unit);
}

void RegisterAll() {
    for (BrushKind kind : {BrushKind::Pen, BrushKind::Gel})
        for (float zoom : {1.0f, 4.0f, 0.25f, 0.5f, 2.5f})
            for (int radius : {2, 16, 32}) {
                char zoomText[16];
                std::snprintf(zoomText, sizeof zoomText, "%g", static_cast<double>(zoom));
                const std::string name = std::string("stroke/") +
                                         (kind == BrushKind::Pen ? "pen" : "gel") +
                                         "/zoom:" + zoomText + "/radius:" + std::to_string(radius);
                Once(benchmark::RegisterBenchmark(name.c_str(), Stroke, kind, radius, zoom),
                     benchmark::kMicrosecond);
            }
    for (int radius : {2, 16, 32})
        Once(benchmark::RegisterBenchmark(("mypaint/radius:" + std::to_string(radius)).c_str(),
                                          Mypaint, radius),
             benchmark::kMicrosecond);
    Once(benchmark::RegisterBenchmark("journal/spiral_commit_and_recover_1000", JournalCost),
         benchmark::kMillisecond);
    Once(benchmark::RegisterBenchmark("undo/push_whole_image", UndoPush), benchmark::kMillisecond);
    Once(benchmark::RegisterBenchmark("undo/pop_whole_image", UndoPop), benchmark::kMillisecond);
    for (auto [zoom, name] : {std::pair{0.25f, "0.25"}, std::pair{1.0f, "1"}, std::pair{4.0f, "4"}})
        Once(benchmark::RegisterBenchmark((std::string("displaybuffers/zoom:") + name).c_str(),
                                          Redraw, zoom, name),
             benchmark::kMillisecond);
    for (auto [zoom, name] :
         {std::pair{0.25f, "0.25"}, std::pair{0.5f, "0.5"}, std::pair{1.0f, "1"},
          std::pair{2.5f, "2.5"}, std::pair{4.0f, "4"}, std::pair{6.0f, "6"}, std::pair{8.0f, "8"}})
        Once(benchmark::RegisterBenchmark((std::string("display_bitmap/zoom:") + name).c_str(),
                                          BitmapBytes, zoom, name),
             benchmark::kMicrosecond);
    Once(benchmark::RegisterBenchmark("startup/png_to_first_paint", Startup),
         benchmark::kMillisecond);
    Once(benchmark::RegisterBenchmark("startup/8192_png_to_first_paint_and_close", LargeImage),
         benchmark::kMillisecond);
}

}  // namespace

// Keeps the process on one processor; returns it, or -1 when that is not possible.
int StayOnOneProcessor(int cpu) {
    if (cpu < 0) cpu = sched_getcpu();
    if (cpu < 0) return -1;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0 ? cpu : -1;
}

int main(int argc, char** argv) {
    std::string jsonPath, tracePath;
    int cpu = -1;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0 && i + 1 < argc) {
            jsonPath = argv[++i];
        } else if (std::strcmp(argv[i], "--trace") == 0 && i + 1 < argc) {
            tracePath = argv[++i];
        } else if (std::strcmp(argv[i], "--cpu") == 0 && i + 1 < argc) {
            cpu = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "usage: marlo-bench [--json FILE] [--trace FILE] [--cpu N] "
                "[--benchmark_filter=REGEX]\n");
            return 0;
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (!tracePath.empty() && !(traceFile = std::fopen(tracePath.c_str(), "w"))) {
        std::fprintf(stderr, "marlo-bench: cannot write %s\n", tracePath.c_str());
        return 1;
    }
    cpu = StayOnOneProcessor(cpu);
    if (cpu >= 0) std::printf("marlo-bench: on processor %d\n", cpu);
    std::printf("marlo-bench: CPU level %s\n", CpuLevelName(ActiveCpuLevel()));
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (traceFile) std::fclose(traceFile);

    PrintTable(stdout, TheFigures);
    if (!jsonPath.empty() && !WriteJson(jsonPath, TheFigures)) {
        std::fprintf(stderr, "marlo-bench: cannot write %s\n", jsonPath.c_str());
        return 1;
    }
    return 0;
}
