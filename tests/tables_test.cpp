// The look-up tables against independent exact-integer computations.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/engine_reset.h"
#include "brush/tables.h"
#include "core/module1.h"

namespace {

// s x 255 / d rounded half to even, in exact integers (d > 0), capped at 255.
int DivideExact(int s, int d) {
    const int num = s * 255;
    int q = num / d;
    const int rem = num % d;
    if (2 * rem > d || (2 * rem == d && (q & 1))) ++q;
    return q > 255 ? 255 : q;
}

// ((255 - s) x d + 255 s) / 255 rounded to nearest (never half-way).
int ScreenExact(int s, int d) {
    const int num = (255 - s) * d + 255 * s;
    return (2 * num + 255) / 510;
}

int Expected(int s, int d, int m) {
    switch (m) {
        case 0: return s + d > 255 ? 255 : s + d;
        case 1: return d - s < 0 ? 0 : d - s;
        case 2: return s * d / 255;
        case 3: return d == 0 ? 255 : DivideExact(s, d);
        case 4: return ScreenExact(s, d);
        case 5: return s > d ? s : d;
        case 6: return s < d ? s : d;
        case 7: return s & d;
        case 8: return s | d;
        default: return s ^ d;
    }
}

}  // namespace

TEST(BlendTable, EveryEntryMatchesTheExactFormula) {
    ResetEngine();
    BuildBlendTable();
    ASSERT_EQ(Module1.BlendTable.size(), 655360u);
    int mismatches = 0;
    for (int m = 0; m < 10; ++m)
        for (int d = 0; d < 256; ++d)
            for (int s = 0; s < 256; ++s) {
                const int got = Module1.BlendTable[(static_cast<size_t>(m) * 256 + d) * 256 + s];
                if (got != Expected(s, d, m) && ++mismatches < 10)
                    ADD_FAILURE() << "mode " << m + 1 << " s=" << s << " d=" << d << " got " << got
                                  << " want " << Expected(s, d, m);
            }
    EXPECT_EQ(mismatches, 0);
}

TEST(BlendTable, NamedCases) {
    ResetEngine();
    BuildBlendTable();
    auto T = [](int s, int d, int mode) {
        return static_cast<int>(
            Module1.BlendTable[(static_cast<size_t>(mode - 1) * 256 + d) * 256 + s]);
    };
    struct Case {
        const char* name;
        int s, d, mode, want;
    };
    const Case cases[] = {
        {"subtract s > d", 200, 100, 2, 0},     {"subtract s = 0", 0, 77, 2, 77},
        {"divide d = 0", 13, 0, 4, 255},        {"divide s = d", 90, 90, 4, 255},
        {"divide 1 / 2", 1, 2, 4, 128},         {"divide 3 / 2", 3, 2, 4, 255},
        {"multiply s = 255", 255, 93, 3, 93},   {"multiply s = 0", 0, 93, 3, 0},
        {"screen s = 0", 0, 93, 5, 93},         {"screen s = 255", 255, 93, 5, 255},
        {"xor s = 255", 255, 93, 10, 255 - 93},
    };
    for (const Case& c : cases) EXPECT_EQ(T(c.s, c.d, c.mode), c.want) << c.name;
}

TEST(CoverageCurves, KnownValuesAndShape) {
    ResetEngine();
    BuildCoverageCurves();
    const auto& c = Module1.CoverageCurves;
    ASSERT_EQ(c.size(), 512u);
    auto at = [&](int v, int curve) { return static_cast<int>(c[curve * 256 + v]); };
    EXPECT_EQ(at(0, 0), 0);
    EXPECT_EQ(at(0, 1), 0);
    EXPECT_EQ(at(54, 0), 250);
    EXPECT_EQ(at(125, 1), 255);
    EXPECT_EQ(at(255, 1), 254);
    EXPECT_EQ(at(255, 0), 82);
    EXPECT_EQ(at(130, 1), 255);
    EXPECT_EQ(at(131, 1), 254);
    // Curve 1 rises to its peak at 54..56, then never rises again.
    for (int v = 1; v <= 54; ++v) EXPECT_GE(at(v, 0), at(v - 1, 0)) << v;
    for (int v = 57; v <= 255; ++v) EXPECT_LE(at(v, 0), at(v - 1, 0)) << v;
}
