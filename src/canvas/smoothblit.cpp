// Fixed-point conventions: bilinear weights are 0..256, the product of two weights 0..65536,
// and results are rounded by adding half before the shift. Area averages round to nearest.
//
// Each step with vectors runs at the active CPU level (core/cpu_level.h) or above; below it
// the plain loop after it does all the columns.
//
// The working rows live in Scratch: the display code runs on the one user-interface thread.
#include "canvas/smoothblit.h"

#include "canvas/dibs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "canvas/display_rects.h"
#include "core/cpu_level.h"
#include "core/scratch.h"

namespace {

inline uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// Display columns [first, last) whose image point X / zoom lies in [lo, hi), within 0..limit.
void DisplaySpan(int32_t lo, int32_t hi, double zoom, int32_t limit, int32_t* first,
                 int32_t* last) {
    double a = std::ceil(lo * zoom), b = std::ceil(hi * zoom);
    // Guard the rounding of lo * zoom: X belongs to the span exactly when lo <= X / zoom < hi.
    while (a > 0 && (a - 1) / zoom >= lo) a -= 1;
    while (a / zoom < lo) a += 1;
    while (b > 0 && (b - 1) / zoom >= hi) b -= 1;
    while (b / zoom < hi) b += 1;
    *first = static_cast<int32_t>(std::clamp(a, 0.0, static_cast<double>(limit)));
    *last = static_cast<int32_t>(std::clamp(b, 0.0, static_cast<double>(limit)));
}

// Where display pixel (X, Y) goes: the bitmap holds the display pixels from (x0, y0) on, in
// rows of rowPixels.
struct Target {
    uint32_t* bits;
    int32_t rowPixels, x0, y0;
    uint32_t* At(int32_t X, int32_t Y) const {
        return bits + static_cast<size_t>(Y - y0) * rowPixels + static_cast<size_t>(X - x0);
    }
};

// Zoom 1: display pixel (x, y) is image pixel (x, y).
void CopyExact(const uint8_t* r, const uint8_t* g, const uint8_t* b, const Target& t, int32_t w,
               const Rect& d) {
    [[maybe_unused]] const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
    for (int32_t y = d.y0; y < d.y1; ++y) {
        const size_t o = static_cast<size_t>(y) * w;
        uint32_t* out = t.At(d.x0, y);
        int32_t x = d.x0;
#ifdef __SSE2__
        // Sixteen pixels at a time: the bytes interleaved into blue, green, red, 0.
        const __m128i zero = _mm_setzero_si128();
        for (; sse2 && x + 16 <= d.x1; x += 16) {
            const __m128i R = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + o + x));
            const __m128i G = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + o + x));
            const __m128i B = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + o + x));
            const __m128i bgLo = _mm_unpacklo_epi8(B, G), bgHi = _mm_unpackhi_epi8(B, G);
            const __m128i rLo = _mm_unpacklo_epi8(R, zero), rHi = _mm_unpackhi_epi8(R, zero);
            auto* dst = reinterpret_cast<__m128i*>(out + (x - d.x0));
            _mm_storeu_si128(dst, _mm_unpacklo_epi16(bgLo, rLo));
            _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(bgLo, rLo));
            _mm_storeu_si128(dst + 2, _mm_unpacklo_epi16(bgHi, rHi));
            _mm_storeu_si128(dst + 3, _mm_unpackhi_epi16(bgHi, rHi));
        }
#endif
        for (; x < d.x1; ++x) out[x - d.x0] = Pack(r[o + x], g[o + x], b[o + x]);
    }
}

Tap BilinearTap(int32_t X, double zoom, int32_t n) {
    double u = (X + 0.5) / zoom - 0.5;
    u = std::clamp(u, 0.0, static_cast<double>(n - 1));
    const int32_t i0 = static_cast<int32_t>(u);
    const int32_t i1 = std::min(i0 + 1, n - 1);
    return {i0, i1, static_cast<int32_t>(std::lrint((u - i0) * 256.0))};
}

// The wide steps below use AVX2 and fused multiply-adds (CpuLevel::Avx2). Every product and
// sum in the scaling is an integer below 2^24 (times a power of two), so fused or not the
// results are the same.

using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = int32_t __attribute__((vector_size(16)));

// Source values past a row's last column, read by the vector steps: zeros.
constexpr int32_t kSourcePadding = 12;

#if defined(__x86_64__) && defined(__GNUC__)
// Bytes to floats, eight at a time; returns how many it did.
__attribute__((target("avx2,fma"))) int32_t SourceFloatsWide(const uint8_t* p, int32_t n,
                                                             float* f) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        int64_t eight;
        std::memcpy(&eight, p + i, sizeof eight);
        const __m256i v = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(eight));
        _mm256_storeu_ps(f + i, _mm256_cvtepi32_ps(v));
    }
    return i;
}
#endif

// One channel of a source row, as floats from column first on, with zeros after the last: a
// tap at the right edge weighs its second column by 0.
void SourceFloats(const uint8_t* p, const Columns& c, float* f) {
    const int32_t n = c.last - c.first + 1;
    int32_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (ActiveCpuLevel() >= CpuLevel::Avx2) i = SourceFloatsWide(p + c.first, n, f);
#endif
    for (; i < n; ++i) f[i] = p[c.first + i];
    std::fill(f + n, f + n + kSourcePadding, 0.0f);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Groups of eight display columns: the two taps of each column picked by its offset from the
// eight source values at the group's first index and the eight after it (the same two
// products and sum as one column at a time). Returns how many columns it did.
__attribute__((target("avx2,fma"))) int32_t HorizontalWide(const Columns& c, const float* f,
                                                           float* out) {
    const int32_t n = c.X1 - c.X0;
    const int32_t* index = c.index.data();
    const int32_t* offsets = c.offset.data();
    const float *w0 = c.w0.data(), *w1 = c.w1.data();
    int32_t k = 0;
    for (; k + 8 <= n; k += 8) {
        const float* at = f + index[k];
        const __m256i offset = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + k));
        const __m256 a = _mm256_permutevar8x32_ps(_mm256_loadu_ps(at), offset);
        const __m256 b = _mm256_permutevar8x32_ps(_mm256_loadu_ps(at + 1), offset);
        _mm256_storeu_ps(out + k, _mm256_fmadd_ps(a, _mm256_loadu_ps(w0 + k),
                                                  _mm256_mul_ps(b, _mm256_loadu_ps(w1 + k))));
    }
    return k;
}
#endif

#ifdef __SSE2__
// Four display columns at a time from one load of source columns c.index[k] .. + 3: the
// shuffles kLeft and kRight pick each column's left and right source. Returns where it stopped.
template <int kLeft, int kRight>
int32_t HorizontalPhased(const Columns& c, const float* f, float* out, int32_t k, int32_t n) {
    const __m128 w0 = _mm_loadu_ps(c.w0.data()), w1 = _mm_loadu_ps(c.w1.data());
    for (; k < n; k += 4) {
        const __m128 v = _mm_loadu_ps(f + c.index[k]);
        const __m128 a = _mm_shuffle_ps(v, v, kLeft);
        const __m128 b = _mm_shuffle_ps(v, v, kRight);
        _mm_storeu_ps(out + k, _mm_add_ps(_mm_mul_ps(a, w0), _mm_mul_ps(b, w1)));
    }
    return k;
}
#endif

void Horizontal(const Columns& c, const float* f, float* out) {
    const int32_t n = c.X1 - c.X0;
    int32_t k = 0;
    [[maybe_unused]] const CpuLevel cpu = ActiveCpuLevel();
#if defined(__x86_64__) && defined(__GNUC__)
    if (c.groupsOfEight && cpu >= CpuLevel::Avx2) k = HorizontalWide(c, f, out);
#endif
#ifdef __SSE2__
    // The rest of a regular row four columns at a time.
    const int phases = cpu >= CpuLevel::Sse2 ? c.phases : 0;
    if (phases == 4)
        // Display columns 4c .. 4c + 3 take source columns (c - 1, c), (c - 1, c), (c, c + 1),
        // (c, c + 1) with the weights of their phase.
        k = HorizontalPhased<_MM_SHUFFLE(1, 1, 0, 0), _MM_SHUFFLE(2, 2, 1, 1)>(c, f, out, k, n);
    else if (phases == 2)
        // Display columns 2c, 2c + 1, 2c + 2, 2c + 3 take (c - 1, c), (c, c + 1), (c, c + 1),
        // (c + 1, c + 2).
        k = HorizontalPhased<_MM_SHUFFLE(2, 1, 1, 0), _MM_SHUFFLE(3, 2, 2, 1)>(c, f, out, k, n);
#endif
    for (; k < n; ++k) out[k] = f[c.index[k]] * c.w0[k] + f[c.index[k] + 1] * c.w1[k];
}

// One display row: (top × wy0 + bot × wy1 + 32768) >> 16 per channel and column, packed.
// Exact in floats (see HorizontalRow).
void VerticalRowFrom(int32_t k, const float* const* top, const float* const* bot, float wy0,
                     float wy1, int32_t n, uint32_t* out) {
    auto mix = [&](int ch, int32_t i) {
        Floats4 a, c;
        std::memcpy(&a, top[ch] + i, sizeof a);
        std::memcpy(&c, bot[ch] + i, sizeof c);
        const Floats4 v = a * wy0 + c * wy1 + 32768.0f;
        return __builtin_convertvector(v * (1.0f / 65536.0f), Ints4);
    };
    for (; k + 4 <= n; k += 4) {
        const Ints4 px = (mix(0, k) << 16) | (mix(1, k) << 8) | mix(2, k);
        std::memcpy(out + k, &px, sizeof px);
    }
    for (; k < n; ++k) {
        uint32_t v[3];
        for (int ch = 0; ch < 3; ++ch) {
            const float m = top[ch][k] * wy0 + bot[ch][k] * wy1 + 32768.0f;
            v[ch] = static_cast<uint32_t>(m * (1.0f / 65536.0f));
        }
        out[k] = Pack(v[0], v[1], v[2]);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same, eight columns at a time, at CpuLevel::Avx2 (exact like the plain steps, see
// above). Returns how many columns it did.
__attribute__((target("avx2,fma"))) int32_t VerticalRowWide(const float* const* top,
                                                            const float* const* bot, float wy0,
                                                            float wy1, int32_t n, uint32_t* out) {
    // The weights over 65536 and the half after the scaling: the same exact values, two
    // operations fewer.
    const __m256 w0 = _mm256_set1_ps(wy0 / 65536.0f), w1 = _mm256_set1_ps(wy1 / 65536.0f);
    const __m256 half = _mm256_set1_ps(0.5f);
    const float *t0 = top[0], *t1 = top[1], *t2 = top[2];
    const float *b0 = bot[0], *b1 = bot[1], *b2 = bot[2];
    int32_t k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m256i r = _mm256_cvttps_epi32(_mm256_fmadd_ps(
            _mm256_loadu_ps(t0 + k), w0, _mm256_fmadd_ps(_mm256_loadu_ps(b0 + k), w1, half)));
        const __m256i g = _mm256_cvttps_epi32(_mm256_fmadd_ps(
            _mm256_loadu_ps(t1 + k), w0, _mm256_fmadd_ps(_mm256_loadu_ps(b1 + k), w1, half)));
        const __m256i b = _mm256_cvttps_epi32(_mm256_fmadd_ps(
            _mm256_loadu_ps(t2 + k), w0, _mm256_fmadd_ps(_mm256_loadu_ps(b2 + k), w1, half)));
        const __m256i px =
            _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(r, 16), _mm256_slli_epi32(g, 8)), b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), px);
    }
    return k;
}

#endif

void VerticalRow(const float* const* top, const float* const* bot, float wy0, float wy1, int32_t n,
                 uint32_t* out) {
    int32_t k = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (n >= 8 && ActiveCpuLevel() >= CpuLevel::Avx2)
        k = VerticalRowWide(top, bot, wy0, wy1, n, out);
#endif
    VerticalRowFrom(k, top, bot, wy0, wy1, n, out);
}

}  // namespace

const Tap* TapTable::Through(int32_t end, double z, int32_t count) {
    if (z != zoom || count != n) {
        taps.clear();
        zoom = z;
        n = count;
    }
    for (int32_t X = static_cast<int32_t>(taps.size()); X < end; ++X)
        taps.push_back(BilinearTap(X, z, count));
    return taps.data();
}

void Columns::Set(const Tap* taps, int32_t x0, int32_t x1, float zoom) {
    X0 = x0;
    X1 = x1;
    const int32_t n = x1 - x0;
    first = taps[x0].i0;
    last = taps[x1 - 1].i1;
    index.resize(n);
    w0.resize(n);
    w1.resize(n);
    for (int32_t k = 0; k < n; ++k) {
        const Tap& t = taps[x0 + k];
        index[k] = t.i0 - first;
        w0[k] = static_cast<float>(256 - t.w1);
        w1[k] = static_cast<float>(t.w1);
    }
    groupsOfEight = n >= 8;
    offset.resize(n);
    for (int32_t k = 0; k < n; ++k) {
        offset[k] = index[k] - index[k - k % 8];
        if (k % 8 == 7) groupsOfEight = groupsOfEight && offset[k] <= 6;
    }
    phases = 0;
    if ((zoom == 4.0f || zoom == 2.0f) && x0 % 4 == 0 && n % 4 == 0) {
        // Within each group of four columns from a multiple of 4, the first source column
        // steps by these offsets; every group has the weights of the first.
        const int32_t z4[4] = {0, 0, 1, 1}, z2[4] = {0, 1, 1, 2};
        const int32_t* offset = zoom == 4.0f ? z4 : z2;
        bool regular = true;
        for (int32_t k = 0; k < n && regular; ++k) {
            const Tap& t = taps[x0 + k];
            const int32_t j = k % 4;
            regular = t.i0 == taps[x0 + k - j].i0 + offset[j] && t.i1 == t.i0 + 1 &&
                      t.w1 == taps[x0 + j].w1;
        }
        if (regular) phases = static_cast<int>(zoom);
    }
}

// The horizontal row of source row s, computed unless one of the two slots holds it;
// the slot holding keep is not taken.
const HorizontalRow& BilinearScratch::Row(int32_t s, const HorizontalRow* keep) {
    for (HorizontalRow& row : rows)
        if (row.source == s) return row;
    HorizontalRow& row = &rows[0] == keep ? rows[1] : rows[0];
    row.source = s;
    for (int ch = 0; ch < 3; ++ch) {
        SourceFloats(planes[ch] + static_cast<size_t>(s) * w, cols, source.data());
        Horizontal(cols, source.data(), row.channel[ch].data());
    }
    return row;
}

// Room for the update's columns, made once per update rather than once per row.
void BilinearScratch::Size() {
    const size_t n = static_cast<size_t>(cols.X1 - cols.X0) + 3;
    for (HorizontalRow& row : rows)
        for (auto& channel : row.channel)
            if (channel.size() < n) channel.resize(n);
    const size_t m = static_cast<size_t>(cols.last - cols.first + 1) + kSourcePadding;
    if (source.size() < m) source.resize(m);
}

namespace {

void Bilinear(const uint8_t* r, const uint8_t* g, const uint8_t* b, const Target& target, int32_t w,
              int32_t h, const Rect& d, double zoom) {
    BilinearScratch& s = Dibs.Bilinear;
    s.cols.Set(s.colTaps.Through(d.x1, zoom, w), d.x0, d.x1, static_cast<float>(zoom));
    s.Size();
    const Tap* rowTaps = s.rowTaps.Through(d.y1, zoom, h);
    s.rows[0].source = s.rows[1].source = -1;
    s.planes[0] = r;
    s.planes[1] = g;
    s.planes[2] = b;
    s.w = w;
    const int32_t n = d.x1 - d.x0;
    for (int32_t Y = d.y0; Y < d.y1; ++Y) {
        const Tap t = rowTaps[Y];
        const HorizontalRow& top = s.Row(t.i0, nullptr);
        const HorizontalRow& bot = s.Row(t.i1, &top);
        const float wy1 = static_cast<float>(t.w1), wy0 = static_cast<float>(256 - t.w1);
        uint32_t* out = target.At(d.x0, Y);
        const float* tops[3] = {top.channel[0].data(), top.channel[1].data(),
                                top.channel[2].data()};
        const float* bots[3] = {bot.channel[0].data(), bot.channel[1].data(),
                                bot.channel[2].data()};
        VerticalRow(tops, bots, wy0, wy1, n, out);
    }
}

// Source range [s0, s1) of image pixels covered by display pixel X at zoom < 1.
void AreaRange(int32_t X, double zoom, int32_t n, int32_t* s0, int32_t* s1) {
    *s0 = std::min(static_cast<int32_t>(std::floor(X / zoom)), n - 1);
    *s1 = std::clamp(static_cast<int32_t>(std::floor((X + 1) / zoom)), *s0 + 1, n);
}

// sum[i] += p[i] for i < n.
void AddRow(const uint8_t* p, uint32_t* sum, int32_t n) {
    int32_t i = 0;
#ifdef __SSE2__
    const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
    const __m128i zero = _mm_setzero_si128();
    for (; sse2 && i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        auto* s = reinterpret_cast<__m128i*>(sum + i);
        _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), _mm_unpacklo_epi16(lo, zero)));
        _mm_storeu_si128(s + 1,
                         _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_unpackhi_epi16(lo, zero)));
        _mm_storeu_si128(s + 2,
                         _mm_add_epi32(_mm_loadu_si128(s + 2), _mm_unpacklo_epi16(hi, zero)));
        _mm_storeu_si128(s + 3,
                         _mm_add_epi32(_mm_loadu_si128(s + 3), _mm_unpackhi_epi16(hi, zero)));
    }
    // Updates are often a few dozen columns wide: the rest four at a time.
    for (; sse2 && i + 4 <= n; i += 4) {
        int32_t four;
        std::memcpy(&four, p + i, sizeof four);
        const __m128i v =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero), zero);
        auto* s = reinterpret_cast<__m128i*>(sum + i);
        _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), v));
    }
#endif
    for (; i < n; ++i) sum[i] += p[i];
}

// Blocks of at most this many pixels sum to below 2^32 (255 each, plus half the count).
constexpr uint64_t kSmallBlock = 16777216;

// (total + count / 2) / count, for a total of at most 255 x count: the reciprocal's estimate is
// off by at most one, which the check puts right.
inline uint32_t RoundedQuotient(uint32_t total, uint32_t count, double inverse) {
    const uint64_t a = uint64_t{total} + count / 2;
    auto q = static_cast<uint64_t>(static_cast<double>(a) * inverse);
    if (q * count > a)
        --q;
    else if ((q + 1) * count <= a)
        ++q;
    return static_cast<uint32_t>(q);
}

// Display columns X .. x1 - 1 the plain way: each the rounded mean of its source columns
// s0 .. s1 - 1 over `rows` rows from offset top.
void BlockColumns(const uint8_t* const* planes, int32_t w, size_t top, int rows, int32_t X,
                  int32_t x0, int32_t x1, const int32_t* s0, const int32_t* s1, uint32_t* out) {
    for (; X < x1; ++X) {
        const int32_t a = s0[X - x0], e = s1[X - x0];
        const uint32_t count = static_cast<uint32_t>(e - a) * static_cast<uint32_t>(rows);
        uint32_t v[3];
        for (int ch = 0; ch < 3; ++ch) {
            uint32_t sum = 0;
            for (int i = 0; i < rows; ++i)
                for (int32_t sx = a; sx < e; ++sx) sum += planes[ch][top + i * size_t(w) + sx];
            v[ch] = (sum + count / 2) / count;
        }
        out[X - x0] = Pack(v[0], v[1], v[2]);
    }
}

// One display row at zoom 1/2 from source rows sy and sy + 1: each pixel the rounded average
// of its 2 x 2 block (of its 2 x 1 block at an odd width's last column), read straight from
// the planes, eight pixels at a time where the blocks are whole.
void HalfRow(const uint8_t* const* planes, int32_t w, int32_t sy, int32_t x0, int32_t x1,
             const int32_t* s0, const int32_t* s1, uint32_t* out) {
    const size_t top = static_cast<size_t>(sy) * w, bottom = top + w;
    int32_t X = x0;
#ifdef __SSE2__
    const __m128i low = _mm_set1_epi16(0x00FF), two = _mm_set1_epi16(2);
    auto average = [&](const uint8_t* p, int32_t column) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + top + column));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + bottom + column));
        const __m128i sum =
            _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, low), _mm_srli_epi16(a, 8)),
                          _mm_add_epi16(_mm_and_si128(c, low), _mm_srli_epi16(c, 8)));
        return _mm_srli_epi16(_mm_add_epi16(sum, two), 2);
    };
    const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
    for (; sse2 && X + 8 <= x1 && 2 * X + 16 <= w; X += 8) {
        const __m128i R = average(planes[0], 2 * X), G = average(planes[1], 2 * X);
        const __m128i B = average(planes[2], 2 * X);
        const __m128i bg = _mm_or_si128(B, _mm_slli_epi16(G, 8));
        auto* dst = reinterpret_cast<__m128i*>(out + (X - x0));
        _mm_storeu_si128(dst, _mm_unpacklo_epi16(bg, R));
        _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(bg, R));
    }
#endif
    BlockColumns(planes, w, top, 2, X, x0, x1, s0, s1, out);
}

// The same at zoom 1/4 from source rows sy .. sy + 3: 4 x 4 blocks, four pixels at a time.
void QuarterRow(const uint8_t* const* planes, int32_t w, int32_t sy, int32_t x0, int32_t x1,
                const int32_t* s0, const int32_t* s1, uint32_t* out) {
    const size_t top = static_cast<size_t>(sy) * w;
    int32_t X = x0;
#ifdef __SSE2__
    const __m128i low8 = _mm_set1_epi16(0x00FF), low16 = _mm_set1_epi32(0xFFFF);
    const __m128i eight = _mm_set1_epi32(8);
    auto average = [&](const uint8_t* p, int32_t column) {
        __m128i pairs = _mm_setzero_si128();  // eight sums of two columns over four rows
        for (int i = 0; i < 4; ++i) {
            const __m128i v =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + top + i * size_t(w) + column));
            pairs =
                _mm_add_epi16(pairs, _mm_add_epi16(_mm_and_si128(v, low8), _mm_srli_epi16(v, 8)));
        }
        const __m128i sum = _mm_add_epi32(_mm_and_si128(pairs, low16), _mm_srli_epi32(pairs, 16));
        return _mm_srli_epi32(_mm_add_epi32(sum, eight), 4);
    };
    const bool sse2 = ActiveCpuLevel() >= CpuLevel::Sse2;
    for (; sse2 && X + 4 <= x1 && 4 * X + 16 <= w; X += 4) {
        const __m128i R = average(planes[0], 4 * X), G = average(planes[1], 4 * X);
        const __m128i B = average(planes[2], 4 * X);
        const __m128i px =
            _mm_or_si128(_mm_or_si128(_mm_slli_epi32(R, 16), _mm_slli_epi32(G, 8)), B);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (X - x0)), px);
    }
#endif
    BlockColumns(planes, w, top, 4, X, x0, x1, s0, s1, out);
}

void AreaAverage(const uint8_t* r, const uint8_t* g, const uint8_t* b, const Target& target,
                 int32_t w, int32_t h, const Rect& d, double zoom) {
    std::vector<int32_t>& s0 = Scratch.areaFrom;
    std::vector<int32_t>& s1 = Scratch.areaTo;
    std::vector<uint32_t>(&sums)[3] = Scratch.areaSums;
    const int32_t n = d.x1 - d.x0;
    s0.resize(n);
    s1.resize(n);
    for (int32_t X = d.x0; X < d.x1; ++X) AreaRange(X, zoom, w, &s0[X - d.x0], &s1[X - d.x0]);
    // The source columns the update reads: sums over the covered rows, one per column (32 bits
    // hold 16 million rows of 255; the program's zooms stay at 0.2 and above).
    const int32_t first = *std::min_element(s0.begin(), s0.end());
    const int32_t last = *std::max_element(s1.begin(), s1.end());
    const uint8_t* planes[3] = {r, g, b};
    for (auto& v : sums) v.resize(static_cast<size_t>(last - first));
    for (int32_t Y = d.y0; Y < d.y1; ++Y) {
        int32_t sy0, sy1;
        AreaRange(Y, zoom, h, &sy0, &sy1);
        if (zoom == 0.5 && sy1 - sy0 == 2) {
            HalfRow(planes, w, sy0, d.x0, d.x1, s0.data(), s1.data(), target.At(d.x0, Y));
            continue;
        }
        if (zoom == 0.25 && sy1 - sy0 == 4) {
            QuarterRow(planes, w, sy0, d.x0, d.x1, s0.data(), s1.data(), target.At(d.x0, Y));
            continue;
        }
        for (int ch = 0; ch < 3; ++ch) {
            uint32_t* sum = sums[ch].data();
            std::fill(sums[ch].begin(), sums[ch].end(), 0u);
            for (int32_t sy = sy0; sy < sy1; ++sy)
                AddRow(planes[ch] + static_cast<size_t>(sy) * w + first, sum, last - first);
        }
        uint32_t* out = target.At(d.x0, Y);
        const uint32_t rows = static_cast<uint32_t>(sy1 - sy0);
        uint32_t lastCount = 0;
        double inverse = 0;
        int shift = -1;
        for (int32_t k = 0; k < n; ++k) {
            const uint64_t cells = static_cast<uint64_t>(s1[k] - s0[k]) * rows;
            if (cells <= kSmallBlock) {
                // The usual blocks: 32-bit sums, and the rounded quotient from the block's
                // reciprocal (kept while the block size stays), corrected to the exact one.
                const auto count = static_cast<uint32_t>(cells);
                if (count != lastCount) {
                    lastCount = count;
                    inverse = 1.0 / count;
                    shift = (count & (count - 1)) == 0 ? __builtin_ctz(count) : -1;
                }
                uint32_t t0 = 0, t1 = 0, t2 = 0;
                const uint32_t* a = sums[0].data() - first;
                const uint32_t* b = sums[1].data() - first;
                const uint32_t* c = sums[2].data() - first;
                for (int32_t sx = s0[k]; sx < s1[k]; ++sx) {
                    t0 += a[sx];
                    t1 += b[sx];
                    t2 += c[sx];
                }
                if (shift >= 0) {  // 1, 2, 4, 16 ... pixels, as at zooms 1/2^n: exact shifts
                    const uint32_t half = count / 2;
                    out[k] = Pack((t0 + half) >> shift, (t1 + half) >> shift, (t2 + half) >> shift);
                } else {
                    out[k] = Pack(RoundedQuotient(t0, count, inverse),
                                  RoundedQuotient(t1, count, inverse),
                                  RoundedQuotient(t2, count, inverse));
                }
                continue;
            }
            // 64-bit: at the smallest zooms one display pixel stands for millions of pixels.
            uint64_t total[3] = {0, 0, 0};
            for (int ch = 0; ch < 3; ++ch)
                for (int32_t sx = s0[k]; sx < s1[k]; ++sx) total[ch] += sums[ch][sx - first];
            const uint64_t count =
                static_cast<uint64_t>(s1[k] - s0[k]) * static_cast<uint64_t>(sy1 - sy0);
            out[k] = Pack(static_cast<uint32_t>((total[0] + count / 2) / count),
                          static_cast<uint32_t>((total[1] + count / 2) / count),
                          static_cast<uint32_t>((total[2] + count / 2) / count));
        }
    }
}

bool Usable(int32_t widthPlus1, int32_t heightPlus1, float zoom) {
    return widthPlus1 - 1 > 0 && heightPlus1 - 1 > 0 && zoom > 0 && std::isfinite(zoom);
}

}  // namespace

namespace {

// Whether display pixel X (or row) takes some of its colour from image columns a .. b - 1.
bool TakesFrom(int32_t X, double zoom, int32_t n, int32_t a, int32_t b) {
    const Tap t = BilinearTap(X, zoom, n);
    return (t.w1 < 256 && t.i0 >= a && t.i0 < b) || (t.w1 > 0 && t.i1 >= a && t.i1 < b);
}

void Widen(int32_t* first, int32_t* last, int32_t a, int32_t b, double zoom, int32_t n,
           int32_t limit) {
    while (*first > 0 && TakesFrom(*first - 1, zoom, n, a, b)) --*first;
    while (*last < limit && TakesFrom(*last, zoom, n, a, b)) ++*last;
}

}  // namespace

Rect SmoothBlitReach(const Rect& target, const Rect& area, int32_t w, int32_t h, int32_t dw,
                     int32_t dh, float zoom) {
    if (!(zoom > 1.0f) || target.empty() || w <= 0 || h <= 0) return target;
    Rect r = target;
    Widen(&r.x0, &r.x1, area.x0, area.x1, zoom, w, dw);
    Widen(&r.y0, &r.y1, area.y0, area.y1, zoom, h, dh);
    return r;
}

Rect SmoothBlitSource(const Rect& rect, int32_t w, int32_t h, float zoom) {
    if (rect.empty() || !Usable(w + 1, h + 1, zoom)) return {};
    if (zoom == 1.0f) return rect.Intersected({0, 0, w, h});
    Rect s;
    if (zoom > 1.0f) {
        // Taps grow with the display pixel: the first one's left column, the last one's right.
        s.x0 = BilinearTap(rect.x0, zoom, w).i0;
        s.x1 = BilinearTap(rect.x1 - 1, zoom, w).i1 + 1;
        s.y0 = BilinearTap(rect.y0, zoom, h).i0;
        s.y1 = BilinearTap(rect.y1 - 1, zoom, h).i1 + 1;
        return s;
    }
    int32_t unused;
    AreaRange(rect.x0, zoom, w, &s.x0, &unused);
    AreaRange(rect.x1 - 1, zoom, w, &unused, &s.x1);
    AreaRange(rect.y0, zoom, h, &s.y0, &unused);
    AreaRange(rect.y1 - 1, zoom, h, &unused, &s.y1);
    return s;
}

Rect SmoothBlitTarget(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t widthPlus1,
                      int32_t heightPlus1, int32_t displayWidth, int32_t displayHeight,
                      int32_t rowPixels, float zoom) {
    if (!Usable(widthPlus1, heightPlus1, zoom)) return {};
    const int32_t w = widthPlus1 - 1, h = heightPlus1 - 1;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, w);
    y2 = std::min(y2, h);
    if (x2 <= x1 || y2 <= y1) return {};
    displayWidth = std::min(displayWidth, rowPixels);
    Rect d;
    DisplaySpan(x1, x2, zoom, displayWidth, &d.x0, &d.x1);
    DisplaySpan(y1, y2, zoom, displayHeight, &d.y0, &d.y1);
    return d.empty() ? Rect{} : d;
}

void SmoothBlitPixels(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits,
                      int32_t widthPlus1, int32_t heightPlus1, int32_t rowPixels, float zoom,
                      const Rect& rect, int32_t originX, int32_t originY) {
    if (!r || !g || !b || !bits || rect.empty() || !Usable(widthPlus1, heightPlus1, zoom)) return;
    const int32_t w = widthPlus1 - 1, h = heightPlus1 - 1;
    const Target t{bits, rowPixels, originX, originY};
    if (zoom == 1.0f)
        CopyExact(r, g, b, t, w, rect);
    else if (zoom > 1.0f)
        Bilinear(r, g, b, t, w, h, rect, zoom);
    else
        AreaAverage(r, g, b, t, w, h, rect, zoom);
}

void p_smoothblit(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t* bits, int32_t x1,
                  int32_t y1, int32_t x2, int32_t y2, int32_t widthPlus1, int32_t heightPlus1,
                  int32_t displayWidth, int32_t displayHeight, int32_t rowPixels, float zoom) {
    if (!r || !g || !b || !bits) return;
    const Rect d = SmoothBlitTarget(x1, y1, x2, y2, widthPlus1, heightPlus1, displayWidth,
                                    displayHeight, rowPixels, zoom);
    SmoothBlitPixels(r, g, b, bits, widthPlus1, heightPlus1, rowPixels, zoom, d, 0, 0);
}
