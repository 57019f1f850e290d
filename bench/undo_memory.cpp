// marlo-undo-memory [--size N] | --codecs
//
// The undo history's memory on an N x N photo-like image (default 4096): the resident memory
// (VmRSS) at start, after 33 whole-image steps with a change of the image between them, and
// after undoing all of them. Each step is compressed right after it is filed, as the canvas
// window's idle turns do between two clicks. The budget is the program's own (MARLO_UNDO_MB,
// MARLO_MEMORY_MB apply).
//
// --codecs: the two candidate compressors on the planes of a 4096 x 4096 photo-like image and a
// painted one, in the history's blocks, with and without the neighbour differences.
#include <zstd.h>
#ifdef MARLO_HAVE_LZ4
#include <lz4.h>
#endif

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_scene.h"
#include "canvas/dibs.h"
#include "canvas/undo.h"
#include "canvas/undo_pack.h"
#include "core/memory_budget.h"
#include "core/module1.h"
#include "engine_setup.h"
#include "figures.h"
#include "test_images.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count() * 1e3;
}

int64_t ResidentBytes() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            long long kb = 0;
            in >> kb;
            return int64_t(kb) * 1024;
        }
        std::getline(in, key);
    }
    return 0;
}

uint64_t ImageDigest() {
    const Module1State& m = Module1;
    uint64_t h = 0;
    for (const Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane})
        h = Digest(p->bytes.data(), p->bytes.size(), h);
    return h;
}

int Measure(int n) {
    BenchSurface surface;
    SetUpEngineState(n, n, &surface, "marlo-undo-memory");
    Module1State& m = Module1;
    FillPhotoLike(m.RPlane, m.GPlane, m.BPlane, n, n, 7);
    DisplayCopyFollowsImage();
    CreateDisplayBitmap();
    const uint64_t original = ImageDigest();
    const int64_t start = ResidentBytes();
    std::printf("%d x %d photo-like, undo budget %s\n", n, n,
                MemoryText(UndoBudgetBytes()).c_str());
    std::printf("  at start                    VmRSS %s\n", MemoryText(start).c_str());

    std::vector<double> pushMs, packMs, popMs;
    std::vector<std::string> notices;
    for (int i = 0; i < 33; ++i) {
        auto t0 = Clock::now();
        PushUndo(0, 0, static_cast<float>(n - 1), static_cast<float>(n - 1));
        pushMs.push_back(Since(t0));
        // The change between two steps: the image made a little brighter (wrapping at 255).
        for (Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane})
            for (uint8_t& v : p->bytes) v = static_cast<uint8_t>(v + 3);
        t0 = Clock::now();
        FinishUndoPacking();
        packMs.push_back(Since(t0));
        if (std::string said = TakeUndoNotice(); !said.empty()) notices.push_back(said);
    }
    const int64_t held = UndoHistoryBytes();
    const size_t kept = m.UndoList.size() / kUndoStepItems;
    std::printf(
        "  after 33 whole-image steps  VmRSS %s (history %s, %zu steps kept, %.0f%% of plain)\n",
        MemoryText(ResidentBytes()).c_str(), MemoryText(held).c_str(), kept,
        100.0 * double(held) / (double(kept) * 3 * n * n));
    for (const std::string& said : notices) std::printf("  told: \"%s\"\n", said.c_str());
    while (!m.UndoList.empty()) {
        const auto t0 = Clock::now();
        PopUndo();
        popMs.push_back(Since(t0));
    }
    std::printf("  after undoing them          VmRSS %s\n", MemoryText(ResidentBytes()).c_str());
    std::printf("  PushUndo %.0f ms, compression after it %.0f ms, PopUndo %.0f ms (medians)\n",
                Median(pushMs), Median(packMs), Median(popMs));
    if (std::getenv("MALLOC_STATS")) malloc_stats();
    if (kept < 33) return 0;  // the image before the first step is no longer in the history
    const bool back = ImageDigest() == original;
    std::printf("  %s\n",
                back ? "undo gave back the image exactly" : "UNDO DID NOT GIVE BACK THE IMAGE");
    if (std::getenv("MALLOC_STATS")) malloc_stats();
    return back ? 0 : 1;
}

struct CodecFigures {
    double ratio = 0, packMBs = 0, unpackMBs = 0;
};

// Each plane in blocks of kPackBlock, as the history stores them.
template <typename Pack, typename Unpack>
CodecFigures Codec(const Plane* planes[3], bool differences, Pack pack, Unpack unpack) {
    size_t in = 0, out = 0;
    double packS = 0, unpackS = 0;
    std::vector<uint8_t> d(kPackBlock), frame(2 * kPackBlock + 4096), back(kPackBlock);
    for (int p = 0; p < 3; ++p) {
        const std::vector<uint8_t>& bytes = planes[p]->bytes;
        for (size_t at = 0; at < bytes.size(); at += kPackBlock) {
            const size_t n = std::min(kPackBlock, bytes.size() - at);
            const uint8_t* s = bytes.data() + at;
            const auto t0 = Clock::now();
            if (differences) {
                d[0] = s[0];
                for (size_t i = 1; i < n; ++i) d[i] = static_cast<uint8_t>(s[i] - s[i - 1]);
                s = d.data();
            }
            const size_t c = pack(s, n, frame.data(), frame.size());
            const auto t1 = Clock::now();
            unpack(frame.data(), c, back.data(), n);
            if (differences)
                for (size_t i = 1; i < n; ++i)
                    back[i] = static_cast<uint8_t>(back[i] + back[i - 1]);
            const auto t2 = Clock::now();
            if (std::memcmp(back.data(), bytes.data() + at, n) != 0)
                std::puts("  (a block came back wrong)");
            packS += std::chrono::duration<double>(t1 - t0).count();
            unpackS += std::chrono::duration<double>(t2 - t1).count();
            in += n;
            out += c;
        }
    }
    return {double(out) / double(in), double(in) / packS / 1e6, double(in) / unpackS / 1e6};
}

void PrintCodec(const char* image, const char* codec, bool differences, const CodecFigures& f) {
    std::printf("%-8s %-22s %-11s %6.1f%% %8.0f MB/s %8.0f MB/s\n", image, codec,
                differences ? "differences" : "plain", 100 * f.ratio, f.packMBs, f.unpackMBs);
}

void CompareCodecs() {
    const int n = 4096;
    Plane r, g, b;
    std::printf("%-8s %-22s %-11s %7s %13s %13s\n", "image", "codec", "bytes", "size", "compress",
                "restore");
    for (int image = 0; image < 2; ++image) {
        const char* name = image == 0 ? "photo" : "painted";
        if (image == 0)
            FillPhotoLike(r, g, b, n, n, 7);
        else
            FillPainted(r, g, b, n, n, 7);
        const Plane* planes[3] = {&r, &g, &b};
        for (bool differences : {false, true}) {
#ifdef MARLO_HAVE_LZ4
            PrintCodec(name, "LZ4 (default)", differences,
                       Codec(
                           planes, differences,
                           [](const uint8_t* s, size_t len, uint8_t* d, size_t cap) {
                               return size_t(LZ4_compress_default(reinterpret_cast<const char*>(s),
                                                                  reinterpret_cast<char*>(d),
                                                                  int(len), int(cap)));
                           },
                           [](const uint8_t* s, size_t c, uint8_t* d, size_t len) {
                               LZ4_decompress_safe(reinterpret_cast<const char*>(s),
                                                   reinterpret_cast<char*>(d), int(c), int(len));
                           }));
#endif
            ZSTD_CCtx* cctx = ZSTD_createCCtx();
            ZSTD_DCtx* dctx = ZSTD_createDCtx();
            for (int level : {-3, 1}) {
                const std::string codec = "zstd level " + std::to_string(level);
                PrintCodec(name, codec.c_str(), differences,
                           Codec(
                               planes, differences,
                               [&](const uint8_t* s, size_t len, uint8_t* d, size_t cap) {
                                   return ZSTD_compressCCtx(cctx, d, cap, s, len, level);
                               },
                               [&](const uint8_t* s, size_t c, uint8_t* d, size_t len) {
                                   ZSTD_decompressDCtx(dctx, d, len, s, c);
                               }));
            }
            ZSTD_freeCCtx(cctx);
            ZSTD_freeDCtx(dctx);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int size = 4096;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--codecs") == 0) {
            CompareCodecs();
            return 0;
        }
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            size = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: marlo-undo-memory [--size N] | --codecs\n");
            return 2;
        }
    }
    if (size < 16 || size > 16384) {
        std::fprintf(stderr, "marlo-undo-memory: the size must be 16 .. 16384\n");
        return 2;
    }
    return Measure(size);
}
