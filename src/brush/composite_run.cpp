// The composite over a run of one row, in memory order (the pixel rule is in composite.h).
// Runs start where coverage does: blocks of sixteen bytes of coverage 0 are passed over when
// coverage 0 means alpha 0. The table look-ups (paper, curve, opacity, blend mode) and the
// relief of up to kRun pixels are gathered first; then the three channels are mixed over the
// run sixteen pixels at a time in 16-bit lanes (thirty-two at CpuLevel::Avx2), with exactly
// the integer steps of the pixel rule. Pixels past a run's end, up to a whole block, are mixed
// with alpha 0: that writes back the bytes they hold. Each step with vectors runs at the
// active CPU level (core/cpu_level.h) or above, and has a plain loop doing the same below it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "brush/brush.h"
#include "brush/composite.h"
#include "core/cpu_level.h"
#include "core/module1.h"

namespace {

constexpr int kRun = 256;
constexpr int kBlock = 16;  // coverage is skipped in blocks of this many bytes where all are 0

// v / 255, exactly, for 0 <= v <= 65534.
inline unsigned Div255(unsigned v) { return (v + 1 + (v >> 8)) >> 8; }

// True when any of the n bytes is not 0.
bool AnyNonZero(const uint8_t* p, int n) {
    uint64_t any = 0;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        std::memcpy(&v, p + i, sizeof v);
        any |= v;
    }
    for (; i < n; ++i) any |= p[i];
    return any != 0;
}

// Where to write a run and with what: the three channels' image rows (old values, and the new
// ones with flag 2), display rows (flag 1), paint bytes or blend-table rows.
struct Run {
    uint8_t* plane[3];
    uint8_t* base[3];
    const uint8_t* table[3];  // blend mode: T(paint, old) per pixel; else null
    unsigned paint[3];
};

#if defined(__x86_64__) && defined(__GNUC__)
#define MARLO_MIX_AVX2 1
#define MARLO_AVX2 __attribute__((target("avx2"), always_inline)) inline

MARLO_AVX2 __m256i Load32(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// (t × a + keep × o) / 255 + d in 16-bit lanes.
template <bool kRelief>
MARLO_AVX2 __m256i Mix16(__m256i a, __m256i keep, __m256i o, __m256i t, __m256i d) {
    const __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(t, a), _mm256_mullo_epi16(keep, o));
    const __m256i q = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(v, _mm256_set1_epi16(1)), _mm256_srli_epi16(v, 8)), 8);
    return kRelief ? _mm256_add_epi16(q, d) : q;
}

// The mix of MixRun below, thirty-two pixels at a time. Returns how many pixels it did.
template <bool kTable, bool kRelief, bool kBase, bool kPlane>
__attribute__((target("avx2"))) int MixRunWide(int n, const uint8_t* alpha, const int16_t* relief,
                                               const Run& run) {
    const __m256i zero = _mm256_setzero_si256(), full = _mm256_set1_epi16(255);
    __m256i paint[3];
    for (int ch = 0; ch < 3; ++ch)
        paint[ch] = _mm256_set1_epi16(static_cast<int16_t>(run.paint[ch]));
    // Unpacking works within each half: the low lanes hold pixels 0-7 and 16-23, the high
    // lanes 8-15 and 24-31, and the pack puts them back in order.
    int i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i a = Load32(alpha + i);
        const __m256i aLo = _mm256_unpacklo_epi8(a, zero), aHi = _mm256_unpackhi_epi8(a, zero);
        const __m256i keepLo = _mm256_sub_epi16(full, aLo), keepHi = _mm256_sub_epi16(full, aHi);
        __m256i dLo = zero, dHi = zero;
        if constexpr (kRelief) {
            const __m256i d0 = Load32(relief + i), d1 = Load32(relief + i + 16);
            dLo = _mm256_permute2x128_si256(d0, d1, 0x20);
            dHi = _mm256_permute2x128_si256(d0, d1, 0x31);
        }
        const __m256i untouched = _mm256_cmpeq_epi8(a, zero);
        for (int ch = 0; ch < 3; ++ch) {
            uint8_t* plane = run.plane[ch] + i;
            const __m256i o = Load32(plane);
            __m256i tLo = paint[ch], tHi = paint[ch];
            if constexpr (kTable) {
                const __m256i t = Load32(run.table[ch] + i);
                tLo = _mm256_unpacklo_epi8(t, zero);
                tHi = _mm256_unpackhi_epi8(t, zero);
            }
            const __m256i q = _mm256_packus_epi16(
                Mix16<kRelief>(aLo, keepLo, _mm256_unpacklo_epi8(o, zero), tLo, dLo),
                Mix16<kRelief>(aHi, keepHi, _mm256_unpackhi_epi8(o, zero), tHi, dHi));
            if constexpr (kBase) {
                uint8_t* base = run.base[ch] + i;
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(base),
                                    _mm256_blendv_epi8(q, Load32(base), untouched));
            }
            if constexpr (kPlane)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane),
                                    _mm256_blendv_epi8(q, o, untouched));
        }
    }
    return i;
}
#endif

// new = (T × alpha + (255 - alpha) × old) / 255, plus the relief, clamped, written where
// alpha > 0, for the three channels of pixels 0 .. n - 1.
template <bool kTable, bool kRelief, bool kBase, bool kPlane>
void MixRun(int n, const uint8_t* alpha, const int16_t* relief, const Run& run) {
    int i = 0;
    [[maybe_unused]] const CpuLevel cpu = ActiveCpuLevel();
#ifdef MARLO_MIX_AVX2
    if (n >= 32 && cpu >= CpuLevel::Avx2)
        i = MixRunWide<kTable, kRelief, kBase, kPlane>(n, alpha, relief, run);
#endif
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
    const __m128i full = _mm_set1_epi16(255);
    __m128i paint[3];
    for (int ch = 0; ch < 3; ++ch) paint[ch] = _mm_set1_epi16(static_cast<int16_t>(run.paint[ch]));
    // Bytes widened to 16-bit lanes, (t × a + (255 - a) × o) / 255 in each; the relief added
    // with signed lanes, and the pack back to bytes clamps to 0..255.
    auto mix = [&](__m128i a, __m128i keep, __m128i o, __m128i t, __m128i d) {
        __m128i v = _mm_add_epi16(_mm_mullo_epi16(t, a), _mm_mullo_epi16(keep, o));
        v = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, one), _mm_srli_epi16(v, 8)), 8);
        if constexpr (kRelief) v = _mm_add_epi16(v, d);
        return v;
    };
    for (; cpu >= CpuLevel::Sse2 && i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + i));
        const __m128i aLo = _mm_unpacklo_epi8(a, zero), aHi = _mm_unpackhi_epi8(a, zero);
        const __m128i keepLo = _mm_sub_epi16(full, aLo), keepHi = _mm_sub_epi16(full, aHi);
        __m128i dLo = zero, dHi = zero;
        if constexpr (kRelief) {
            dLo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(relief + i));
            dHi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(relief + i + 8));
        }
        const __m128i untouched = _mm_cmpeq_epi8(a, zero);
        for (int ch = 0; ch < 3; ++ch) {
            uint8_t* plane = run.plane[ch] + i;
            const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane));
            __m128i tLo = paint[ch], tHi = paint[ch];
            if constexpr (kTable) {
                const __m128i t =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(run.table[ch] + i));
                tLo = _mm_unpacklo_epi8(t, zero);
                tHi = _mm_unpackhi_epi8(t, zero);
            }
            const __m128i q =
                _mm_packus_epi16(mix(aLo, keepLo, _mm_unpacklo_epi8(o, zero), tLo, dLo),
                                 mix(aHi, keepHi, _mm_unpackhi_epi8(o, zero), tHi, dHi));
            if constexpr (kBase) {
                uint8_t* base = run.base[ch] + i;
                const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base));
                _mm_storeu_si128(
                    reinterpret_cast<__m128i*>(base),
                    _mm_or_si128(_mm_and_si128(untouched, old), _mm_andnot_si128(untouched, q)));
            }
            if constexpr (kPlane)
                _mm_storeu_si128(
                    reinterpret_cast<__m128i*>(plane),
                    _mm_or_si128(_mm_and_si128(untouched, o), _mm_andnot_si128(untouched, q)));
        }
    }
#endif
    for (; i < n; ++i) {
        const unsigned a = alpha[i];
        if (a == 0) continue;
        for (int ch = 0; ch < 3; ++ch) {
            const unsigned o = run.plane[ch][i];
            const unsigned t = kTable ? run.table[ch][i] : run.paint[ch];
            int q = static_cast<int>(Div255(t * a + (255 - a) * o));
            if constexpr (kRelief) q = std::clamp(q + relief[i], 0, 255);
            if constexpr (kBase) run.base[ch][i] = static_cast<uint8_t>(q);
            if constexpr (kPlane) run.plane[ch][i] = static_cast<uint8_t>(q);
        }
    }
}

template <bool kTable, bool kRelief>
void Mix(const Composite& c, int n, const uint8_t* alpha, const int16_t* relief, const Run& run) {
    const bool toBase = (c.flags & kPreview) != 0, toPlane = (c.flags & kCommit) != 0;
    if (toBase && toPlane)
        MixRun<kTable, kRelief, true, true>(n, alpha, relief, run);
    else if (toBase)
        MixRun<kTable, kRelief, true, false>(n, alpha, relief, run);
    else if (toPlane)
        MixRun<kTable, kRelief, false, true>(n, alpha, relief, run);
}

// From x on, past whole groups of four blocks whose coverage is all 0, up to x1.
inline int SkipEmpty(const uint8_t* fx, int x, int x1) {
#ifdef __SSE2__
    const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
    for (; sse2 && x + 4 * kBlock <= x1; x += 4 * kBlock) {
        const auto* p = reinterpret_cast<const __m128i*>(fx + x);
        const __m128i any =
            _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                         _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF) break;
    }
#endif
    return x;
}

// dst[i] = src[i] for i < n, 0 for n <= i < width; src has width readable bytes.
inline void CopyMasked(uint8_t* dst, const uint8_t* src, int n, int width) {
    int i = 0;
#ifdef __SSE2__
    const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
    for (; sse2 && i + 16 <= width; i += 16) {
        const __m128i keep =
            _mm_cmplt_epi8(lanes, _mm_set1_epi8(static_cast<char>(std::min(n - i, 16))));
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_and_si128(v, keep));
    }
#endif
    for (; i < width; ++i) dst[i] = i < n ? src[i] : 0;
}

// dst[i] = table[src[i]] for i < n. Blocks of sixteen equal coverage bytes, which the inside
// of a stroke (full coverage) and its surroundings (none) are made of, take one look-up.
inline void LookUp(const uint8_t* table, const uint8_t* src, int n, uint8_t* dst) {
    int i = 0;
#ifdef __SSE2__
    const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
    for (; sse2 && i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i first = _mm_set1_epi8(static_cast<char>(src[i]));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, first)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                             _mm_set1_epi8(static_cast<char>(table[src[i]])));
            continue;
        }
        for (int k = i; k < i + 16; ++k) dst[k] = table[src[k]];
    }
#endif
    for (; i < n; ++i) dst[i] = table[src[i]];
}

// Coverage after the paper at (x, y), x and y inside the image.
inline int Cover(const Composite& c, const uint8_t* fxRow, const uint8_t* paperRow, int x, int pw) {
    const int a = fxRow[x];
    return c.paper ? std::max(0, a - c.paperCut[paperRow[x % pw]]) : a;
}

// The relief term of columns x0 .. x0 + n - 1 of row y (0 where the relief does not apply).
void Relief(const Composite& c, int y, int x0, int n, int16_t* d) {
    const Module1State& m = Module1;
    const int32_t W = m.BufferWidth, H = m.BufferHeight;
    if (y < 2 || y > H - 3) {
        std::fill(d, d + n, int16_t{0});
        return;
    }
    // Columns 2 .. W - 3 carry a relief; lo .. hi - 1 are the run's indices among them.
    const int lo = std::clamp(2 - x0, 0, n), hi = std::clamp(W - 2 - x0, lo, n);
    std::fill(d, d + lo, int16_t{0});
    std::fill(d + hi, d + n, int16_t{0});
    const uint8_t* next = m.FXBuffer.row(y + 1) + x0 + 1;
    const uint8_t* prev = m.FXBuffer.row(y - 1) + x0 - 1;
    if (!c.paper) {
        int i = lo;
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
        for (; sse2 && i + 16 <= hi; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i));
            auto* out = reinterpret_cast<__m128i*>(d + i);
            _mm_storeu_si128(out,
                             _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
            _mm_storeu_si128(out + 1,
                             _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
        }
#endif
        for (; i < hi; ++i) d[i] = static_cast<int16_t>(next[i] - prev[i]);
        return;
    }
    const int pw = m.PaperWidth, ph = m.PaperHeight;
    const uint8_t* paperNext = m.Paper.row((y + 1) % ph);
    const uint8_t* paperPrev = m.Paper.row((y - 1) % ph);
    const uint8_t* fxNext = m.FXBuffer.row(y + 1);
    const uint8_t* fxPrev = m.FXBuffer.row(y - 1);
    for (int i = lo; i < hi; ++i) {
        const int x = x0 + i;
        d[i] = static_cast<int16_t>(Cover(c, fxNext, paperNext, x + 1, pw) -
                                    Cover(c, fxPrev, paperPrev, x - 1, pw));
    }
}

// Mixes columns x .. x + n - 1 (n at most kRun + kBlock) of row y, their alpha and relief
// gathered, into the planes the flags name.
void MixAt(const Composite& c, int y, int x, int n, const uint8_t* alpha, const int16_t* relief) {
    Module1State& m = Module1;
    Run run;
    Plane* planes[3] = {&m.RPlane, &m.GPlane, &m.BPlane};
    Plane* bases[3] = {&m.RBase, &m.GBase, &m.BBase};
    for (int ch = 0; ch < 3; ++ch) {
        run.plane[ch] = planes[ch]->row(y) + x;
        run.base[ch] = bases[ch]->row(y) + x;
        run.paint[ch] = static_cast<unsigned>(c.paint[ch]);
        run.table[ch] = nullptr;
    }
    if (c.blendMode) {
        uint8_t table[3][kRun + kBlock];
        for (int ch = 0; ch < 3; ++ch) {
            for (int i = 0; i < n; ++i) table[ch][i] = c.blend[ch][run.plane[ch][i] << 8];
            run.table[ch] = table[ch];
        }
        if (c.relief)
            Mix<true, true>(c, n, alpha, relief, run);
        else
            Mix<true, false>(c, n, alpha, relief, run);
    } else {
        if (c.relief)
            Mix<false, true>(c, n, alpha, relief, run);
        else
            Mix<false, false>(c, n, alpha, relief, run);
    }
}

}  // namespace

void PrefetchRun(const Composite& c, int y, int x0, int x1) {
    Module1State& m = Module1;
    const uint8_t* fx = m.FXBuffer.row(y);
    const bool zeroIsNothing = c.alphaOf[0] == 0;
    const uint8_t* planes[6] = {m.RPlane.row(y), m.GPlane.row(y), m.BPlane.row(y),
                                m.RBase.row(y),  m.GBase.row(y),  m.BBase.row(y)};
    const int count = (c.flags & kPreview) ? 6 : 3;
    for (int x = x0; x < x1; x += 4 * kBlock) {
        const int n = std::min(4 * kBlock, x1 - x);
        if (zeroIsNothing && SkipEmpty(fx, x, x + n) == x + n) continue;
        for (int p = 0; p < count; ++p) {
            __builtin_prefetch(planes[p] + x);
            __builtin_prefetch(planes[p] + x + n - 1);
        }
    }
}

void CompositeRun(const Composite& c, int y, int x0, int x1) {
    Module1State& m = Module1;
    const uint8_t* fx = m.FXBuffer.row(y);
    const uint8_t* paperRow = c.paper ? m.Paper.row(y % m.PaperHeight) : nullptr;
    // Coverage 0 stays 0 after the paper; where it also means alpha 0, empty runs are skipped.
    const bool zeroIsNothing = c.alphaOf[0] == 0;
    uint8_t alpha[kRun + kBlock];
    int16_t relief[kRun + kBlock];

    int x = x0;
    while (x < x1) {
        int end = std::min(x + kRun, x1);
        if (zeroIsNothing) {
            // The next run of blocks that hold coverage.
            x = SkipEmpty(fx, x, x1);
            while (x < x1 && !AnyNonZero(fx + x, std::min(kBlock, x1 - x))) x += kBlock;
            if (x >= x1) break;
            end = x;
            while (end < x1 && end - x < kRun && AnyNonZero(fx + end, std::min(kBlock, x1 - end)))
                end += kBlock;
            end = std::min(end, x1);
        }
        const int n = end - x;
        // The run is mixed in whole blocks where the row allows: the pixels past its end get
        // alpha 0, which writes back the bytes they hold.
        const int width = std::min((n + kBlock - 1) / kBlock * kBlock, m.BufferWidth - x);
        if (c.alphaIsCoverage) {
            CopyMasked(alpha, fx + x, n, width);
        } else if (c.paper) {
            const int pw = m.PaperWidth;
            int p = x % pw;
            for (int i = 0; i < n; ++i) {
                const int a = std::max(0, fx[x + i] - c.paperCut[paperRow[p]]);
                alpha[i] = c.alphaOf[a];
                if (++p == pw) p = 0;
            }
        } else {
            LookUp(c.alphaOf, fx + x, n, alpha);
        }
        if (!c.alphaIsCoverage) std::fill(alpha + n, alpha + width, uint8_t{0});
        if (!c.alphaIsCoverage && !AnyNonZero(alpha, n)) {
            x = end;
            continue;
        }
        if (c.relief) Relief(c, y, x, width, relief);
        MixAt(c, y, x, width, alpha, relief);
        x = end;
    }
}

void CompositeRect(const Composite& c, int x0, int y0, int x1, int y1) {
    Module1State& m = Module1;
    const int n = x1 - x0;
    if (n <= 0 || y1 <= y0) return;
    if (n > kBlock || x0 + kBlock > m.BufferWidth) {
        for (int y = y0; y < y1; ++y) CompositeRun(c, y, x0, x1);
        return;
    }
    // A narrow rectangle, the trailing edge of a piece: one block a row, mixed with alpha 0 past
    // its columns, and no search for coverage along the row.
    const bool zeroIsNothing = c.alphaOf[0] == 0;
    const int pw = c.paper ? m.PaperWidth : 1;
    uint8_t alpha[kBlock];
    int16_t relief[kBlock];
    for (int y = y0; y < y1; ++y) {
        const uint8_t* fx = m.FXBuffer.row(y) + x0;
        if (zeroIsNothing && !AnyNonZero(fx, n)) continue;
        if (c.alphaIsCoverage) {
            CopyMasked(alpha, fx, n, kBlock);
        } else {
            const uint8_t* paperRow = c.paper ? m.Paper.row(y % m.PaperHeight) : nullptr;
            for (int i = 0; i < n; ++i) {
                int a = fx[i];
                if (c.paper) a = std::max(0, a - c.paperCut[paperRow[(x0 + i) % pw]]);
                alpha[i] = c.alphaOf[a];
            }
            for (int i = n; i < kBlock; ++i) alpha[i] = 0;
            if (!AnyNonZero(alpha, n)) continue;
        }
        if (c.relief) Relief(c, y, x0, kBlock, relief);
        MixAt(c, y, x0, kBlock, alpha, relief);
    }
}
