// The composite of the stroke coverage onto the image, shared by RenderSegment's two walks.
//
// The rule below is written out in these places, which change together:
//   composite_walk.cpp  PrepareComposite and UpdateTables (paint bytes, the alpha and paper
//                       tables), CompositeRows (each pixel in walk order)
//   composite_run.cpp   CompositeRun and CompositeRect (alpha from coverage and paper), Relief,
//                       MixAt (blend table), MixRun: its plain loop, its 16-lane loop
//                       (CpuLevel::Sse2) and MixRunWide's 32-lane loop (CpuLevel::Avx2)
//   blend_table.cpp     T of the blend modes (tests/tables_test.cpp checks every entry)
//   render_segment.cpp  ClipWalk (the pixel ranges)
//   tests/brush_test.cpp  RefRender and RefBlend: the reference the code above is tested
//                       against, at every CPU level the machine has
//
// Pixel conventions: every value is a byte 0..255 held in an int; the paint colour and the
// coverage-to-alpha step round half to even (std::lrint in the default rounding mode); every
// quotient by 255 is an exact integer quotient of a non-negative value. Pixel ranges are taken
// with floor.
//
// Per pixel (x, y) of coverage a:
//   a -= trunc(paper(x mod PW, y mod PH) × PaperStrength / 255), floored at 0   (paper on)
//   a  = CoverageCurves[(BrushCurve - 1) × 256 + a]                              (curve on)
//   alpha = lrint(a × BrushOpacity) / 255; nothing at all happens at alpha 0
//   new = (T × alpha + (255 - alpha) × old) / 255, T = paint (mode 0) or BlendTable(paint, old)
//   new += cover'(x + 1, y + 1) - cover'(x - 1, y - 1), clamped to 0..255
//          (relief, 2 or more pixels from every edge; cover' is the coverage after the paper)
// The paper, curve and opacity steps depend only on the coverage and paper bytes, so they are
// folded into per-call tables.
#pragma once
#include <cstdint>

// The inclusive walk from floor(from) to floor(to) in direction step (+1 or -1), clipped to
// 0 .. size - 1: the clipped part starts at first and has count positions, in the same order.
struct Span {
    int first = 0;
    int count = 0;
};

struct Composite {
    int16_t flags = 0;
    int stepX = 1, stepY = 1;
    Span cols, rows;
    int paint[3] = {0, 0, 0};
    const uint8_t* alphaOf = nullptr;  // [256] coverage after the paper -> alpha
    const int* paperCut = nullptr;     // [256] paper byte -> coverage it takes off
    const uint8_t* blend[3] = {nullptr, nullptr, nullptr};  // BlendTable(paint, old = 0)
    bool paper = false, relief = false, blendMode = false;
    bool alphaIsCoverage = false;  // no paper and alphaOf[a] == a: the coverage is the alpha
};

// Fills the per-call part of c (paint, tables, switches) from the program state. The tables
// are kept from call to call while the settings they come from stay the same.
void PrepareComposite(Composite& c);

// Every pixel of the walk, one at a time in the walk's order. Needed when the coverage is
// cleared as it is painted (flag 4): a later pixel's relief then sees the earlier clears.
void CompositeInWalkOrder(const Composite& c);

// Columns x0 .. x1 - 1 of row y, in memory order. Without flag 4 no pixel's result depends on
// another pixel's, so the order of the walk does not matter.
void CompositeRun(const Composite& c, int y, int x0, int x1);
// Columns x0 .. x1 - 1 of rows y0 .. y1 - 1, as CompositeRun row by row.
void CompositeRect(const Composite& c, int x0, int y0, int x1, int y1);
// Asks the processor to fetch the image bytes that CompositeRun (c, y, x0, x1) will mix:
// those next to coverage, when coverage 0 means alpha 0. A large area is composited at the
// speed of its memory when the rows ahead are fetched while the current one is mixed.
void PrefetchRun(const Composite& c, int y, int x0, int x1);
