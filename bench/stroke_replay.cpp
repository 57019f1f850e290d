#include "stroke_replay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <sched.h>

#include "app/engine_reset.h"
#include "app/startup.h"
#include "canvas/dibs.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "input/stroke_capture.h"
#include "journal/journal.h"
#include "journal/replay.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0, double unit) {
    return std::chrono::duration<double>(Clock::now() - t0).count() * unit;
}

// Makes a journal whose writer thread may run on every processor. The run is held on one
// processor, and a thread inherits that: the writer would then take its turns on the painter's
// own processor, which the program (never held to one) does not do.
std::unique_ptr<Journal> JournalBesideTheRun(const std::string& path) {
    cpu_set_t held, every;
    const bool wasHeld = sched_getaffinity(0, sizeof held, &held) == 0;
    CPU_ZERO(&every);
    for (int c = 0; c < CPU_SETSIZE; ++c) CPU_SET(c, &every);
    if (wasHeld) sched_setaffinity(0, sizeof every, &every);
    auto journal = std::make_unique<Journal>(path, SessionRecord{}, nullptr);
    if (wasHeld) sched_setaffinity(0, sizeof held, &held);
    return journal;
}

// The rectangle the release saves and commits: columns l .. r - 1, rows t .. b - 1.
struct Rect {
    int l = 0, t = 0, r = 0, b = 0;
};

int FloorInto(double v, int lo, int hi) {
    if (!(v >= lo)) return lo;
    if (v >= hi) return hi;
    return static_cast<int>(std::floor(v));
}

Rect CommitRect() {
    const Module1State& m = Module1;
    const double l = std::floor(m.DirtyLeft), t = std::floor(m.DirtyTop);
    const double r = std::floor(static_cast<double>(m.DirtyRight) + 1);
    const double b = std::floor(static_cast<double>(m.DirtyBottom) + 1);
    return {FloorInto(l, 0, m.BufferWidth - 1), FloorInto(t, 0, m.BufferHeight - 1),
            FloorInto(r, 0, m.BufferWidth), FloorInto(b, 0, m.BufferHeight)};
}

// The physical limit of the commit: the three planes copied row by row over its rectangle
// into planes of the same size (already in memory). The median of five copies, in ms. cold:
// each copy starts with the processor's caches filled with other bytes, as a release finds
// them after a stroke.
double MemcpyMs(const Rect& rc, bool cold) {
    const Module1State& m = Module1;
    if (rc.r <= rc.l || rc.b <= rc.t) return 0;
    const size_t w = static_cast<size_t>(m.BufferWidth);
    std::vector<uint8_t> dst[3];
    for (auto& d : dst) d.assign(w * static_cast<size_t>(m.BufferHeight), 1);
    const Plane* src[3] = {&m.RPlane, &m.GPlane, &m.BPlane};
    std::vector<double> times;
    std::vector<uint8_t> other(cold ? size_t{64} << 20 : 0, 1);
    for (int rep = 0; rep < 5; ++rep) {
        for (size_t i = 0; i < other.size(); i += 64) ++other[i];
        const auto t0 = Clock::now();
        for (int p = 0; p < 3; ++p)
            for (int y = rc.t; y < rc.b; ++y)
                std::memcpy(dst[p].data() + y * w + rc.l, src[p]->row(y) + rc.l, rc.r - rc.l);
        times.push_back(Since(t0, 1e3));
    }
    return Median(times);
}

// The visible part of the display bitmap over image columns x0 .. x1 - 1, rows y0 .. y1 - 1.
uint64_t DisplayDigest(int x0, int y0, int x1, int y1, uint64_t h) {
    const Module1State& m = Module1;
    const double z = m.Zoom;
    const int X0 = std::max({0, static_cast<int>(std::floor(x0 * z)), -m.ScrollX});
    const int Y0 = std::max({0, static_cast<int>(std::floor(y0 * z)), -m.ScrollY});
    const int X1 = std::min(
        {Dibs.DisplayWidth, static_cast<int>(std::ceil(x1 * z)), kWindowWidth - m.ScrollX});
    const int Y1 = std::min(
        {Dibs.DisplayHeight, static_cast<int>(std::ceil(y1 * z)), kWindowHeight - m.ScrollY});
    if (X1 <= X0) return h;
    for (int Y = Y0; Y < Y1; ++Y)
        h = Digest(DisplayPixelAt(X0, Y), (X1 - X0) * sizeof(uint32_t), h);
    return h;
}

// The coverage, the display copy, the image and the display bitmap over a rectangle.
uint64_t StateDigest(int x0, int y0, int x1, int y1) {
    const Module1State& m = Module1;
    x0 = std::clamp(x0, 0, m.BufferWidth);
    x1 = std::clamp(x1, 0, m.BufferWidth);
    y0 = std::clamp(y0, 0, m.BufferHeight);
    y1 = std::clamp(y1, 0, m.BufferHeight);
    uint64_t h = 0;
    if (x1 <= x0 || y1 <= y0) return h;
    for (const Plane* p :
         {&m.FXBuffer, &m.RBase, &m.GBase, &m.BBase, &m.RPlane, &m.GPlane, &m.BPlane})
        for (int y = y0; y < y1; ++y) h = Digest(p->row(y) + x0, x1 - x0, h);
    h = DisplayDigest(x0, y0, x1, y1, h);
    float sd = m.StampDistance;
    return Digest(&sd, sizeof sd, h);
}

}  // namespace

StrokeFigures ReplayStroke(BrushKind kind, float radius, float zoom, std::FILE* trace,
                           const char* journalPath) {
    static BenchSurface surface;
    SetUpEngine(zoom, &surface);
    ChooseBrush(kind, radius);
    Module1State& m = Module1;
    std::unique_ptr<Journal> journal;
    if (journalPath) {
        std::remove(journalPath);
        journal = JournalBesideTheRun(journalPath);
        Wiring.Journal = journal.get();
        // The steady state: the base image is compressed and written before the first point
        // (that takes the other processor for about a tenth of a second at 4096 x 4096).
        journal->Drain();
    }
    const std::vector<StrokePoint>& points = SpiralStroke();
    // Client positions, as the window system would deliver them.
    auto client = [&](const StrokePoint& p, float* X, float* Y) {
        *X = static_cast<float>(p.x * zoom + m.ScrollX);
        *Y = static_cast<float>(p.y * zoom + m.ScrollY);
        m.PenPressure = p.pressure;
    };
    const int reach = static_cast<int>(std::ceil(radius * 2)) + 8;
    // Press, moves, release; returns the time of the release in ms. moves: the time of each
    // move in us, when given.
    auto paint = [&](std::vector<double>* moves) {
        float X, Y;
        client(points[0], &X, &Y);
        Form_MouseDown(1, 0, X, Y);
        for (size_t i = 1; i + 1 < points.size(); ++i) {
            client(points[i], &X, &Y);
            const auto t0 = Clock::now();
            Form_MouseMove(1, 0, X, Y);
            if (moves) moves->push_back(Since(t0, 1e6));
            if (trace && moves && i >= 3) {
                double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
                for (size_t k = i - 3; k <= i; ++k) {
                    x0 = std::min(x0, points[k].x);
                    x1 = std::max(x1, points[k].x);
                    y0 = std::min(y0, points[k].y);
                    y1 = std::max(y1, points[k].y);
                }
                const uint64_t d =
                    StateDigest(static_cast<int>(x0) - reach, static_cast<int>(y0) - reach,
                                static_cast<int>(x1) + reach, static_cast<int>(y1) + reach);
                std::fprintf(trace, "%zu %016llx\n", i, static_cast<unsigned long long>(d));
            }
        }
        client(points.back(), &X, &Y);
        const auto t0 = Clock::now();
        Form_MouseUp(1, 0, X, Y);
        return Since(t0, 1e3);
    };

    StrokeFigures f;
    std::vector<double> moves;
    moves.reserve(points.size());
    f.firstCommitMs = paint(&moves);
    if (journal) {
        journal->Drain();
        for (const JournalRecord& r : ReadJournal(journalPath).records)
            if (r.kind == static_cast<uint32_t>(JournalKind::Stroke))
                f.journalRecordBytes = r.body.size() + 16;
    }
    // The same stroke again after an undo, five times: each release saves into the arrays the
    // undo gave back, as every release does once the history is in use.
    std::vector<double> commits;
    for (int rep = 0; rep < 5; ++rep) {
        PopUndo();
        commits.push_back(paint(nullptr));
    }
    f.commitMs = Median(commits);

    f.radius = static_cast<int>(radius);
    f.zoom = zoom;
    f.brush = BrushName(kind);
    f.moveMedianUs = Median(moves);
    f.moveP99Us = Percentile(moves, 0.99);
    f.moveMaxUs = *std::max_element(moves.begin(), moves.end());
    f.memcpyMs = MemcpyMs(CommitRect(), false);
    f.memcpyColdMs = MemcpyMs(CommitRect(), true);
    f.digest = StateDigest(0, 0, m.BufferWidth, m.BufferHeight);
    if (trace) std::fprintf(trace, "end %016llx\n", static_cast<unsigned long long>(f.digest));
    if (journal) {
        Wiring.Journal = nullptr;
        journal->Remove();
    }
    return f;
}

JournalFigures MeasureJournal(const char* folder) {
    JournalFigures j;
    const std::string path = std::string(folder) + "/marlo-bench.journal";
    // Off and on in turn, four times: each side the best of its runs, so that neither gains from
    // going first on a warm machine, nor loses by a moment of other work on it.
    StrokeFigures off = ReplayStroke(BrushKind::Pen, 16, 1.0f, nullptr);
    StrokeFigures on = ReplayStroke(BrushKind::Pen, 16, 1.0f, nullptr, path.c_str());
    for (int again = 0; again < 3; ++again) {
        const StrokeFigures offAgain = ReplayStroke(BrushKind::Pen, 16, 1.0f, nullptr);
        const StrokeFigures onAgain = ReplayStroke(BrushKind::Pen, 16, 1.0f, nullptr, path.c_str());
        off.commitMs = std::min(off.commitMs, offAgain.commitMs);
        off.moveMedianUs = std::min(off.moveMedianUs, offAgain.moveMedianUs);
        on.commitMs = std::min(on.commitMs, onAgain.commitMs);
        on.moveMedianUs = std::min(on.moveMedianUs, onAgain.moveMedianUs);
    }
    j.commitMs = off.commitMs;
    j.journalCommitMs = on.commitMs;
    j.moveMedianUs = off.moveMedianUs;
    j.journalMoveMedianUs = on.moveMedianUs;
    j.recordBytes = on.journalRecordBytes;

    // 1,000 short strokes of 40 points across the scene, journaled; then rebuilt from the file.
    static BenchSurface surface;
    SetUpEngine(1.0f, &surface);
    ChooseBrush(BrushKind::Gel, 12);
    std::remove(path.c_str());
    {
        const std::unique_ptr<Journal> journal = JournalBesideTheRun(path);
        Wiring.Journal = journal.get();
        Module1State& m = Module1;
        for (int s = 0; s < 1000; ++s) {
            const float x0 = static_cast<float>(100 + (s * 397) % 3800);
            const float y0 = static_cast<float>(100 + (s * 211) % 3800);
            float X = x0 + m.ScrollX, Y = y0 + m.ScrollY;
            Form_MouseDown(1, 0, X, Y);
            for (int i = 1; i < 40; ++i) {
                X = x0 + 3.0f * i + m.ScrollX;
                Y = y0 + 8 * std::sin(0.3f * i) + m.ScrollY;
                m.PenPressure = 0.5f + 0.5f * std::sin(0.1f * (i + s));
                Form_MouseMove(1, 0, X, Y);
            }
            Form_MouseUp(1, 0, X, Y);
        }
        journal->Drain();
        Wiring.Journal = nullptr;
    }
    const auto t0 = Clock::now();
    const JournalContents contents = ReadJournal(path);
    ResetEngine();
    Main(std::make_shared<JournalHost>(contents), nullptr);
    ReplayOperations(contents);
    j.recover1000Ms = Since(t0, 1e3);
    std::remove(path.c_str());
    return j;
}
