// The composite of the stroke coverage onto the image.
//
// Pixel conventions: every value is a byte 0..255 held in an int; the paint colour and the
// coverage-to-alpha step round half to even (std::lrint in the default rounding mode); every
// quotient by 255 is an exact integer quotient of a non-negative value (the compiler turns the
// constant division into a multiply and shift). Pixel ranges are taken with floor.
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
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "app/module1.h"
#include "brush/brush.h"
#include "brush/paper.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"

namespace {

constexpr size_t kBlendLayer = 256 * 256;
constexpr size_t kBlendTableSize = kBlendLayer * 10;

// The paint colour as a byte. Colours outside 0..255 (only a broken caller makes them) are
// clamped so that the mix stays a byte and the blend table is never indexed outside.
int PaintByte(float c) {
    if (!(c >= 0)) return 0;  // negative or NaN
    if (c >= 255) return 255;
    return static_cast<int>(std::lrint(c));
}

// The inclusive walk from floor(from) to floor(to) in direction step (+1 or -1), clipped to
// 0 .. size - 1: the clipped part starts at first and has count positions, in the same order.
struct Span {
    int first = 0;
    int count = 0;
};

Span ClipWalk(float from, float to, int step, int32_t size) {
    const double a = std::floor(static_cast<double>(from));
    const double b = std::floor(static_cast<double>(to));
    const double lo = std::max(step > 0 ? a : b, 0.0);
    const double hi = std::min(step > 0 ? b : a, static_cast<double>(size) - 1);
    if (!(lo <= hi)) return {};
    return {static_cast<int>(step > 0 ? lo : hi), static_cast<int>(hi - lo) + 1};
}

struct Composite {
    int16_t flags = 0;
    int stepX = 1, stepY = 1;
    Span cols, rows;
    int paint[3] = {0, 0, 0};
    std::array<uint8_t, 256> alphaOf{};  // coverage after the paper -> alpha
    std::array<int, 256> paperCut{};     // paper byte -> coverage it takes off
    const uint8_t* blend[3] = {nullptr, nullptr, nullptr};  // BlendTable(paint, old = 0)
};

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

template <bool kPaper, bool kRelief, bool kBlend>
void CompositeRows(const Composite& c) {
    Module1State& m = Module1;
    const int32_t W = m.BufferWidth, H = m.BufferHeight;
    const int32_t PW = kPaper ? m.PaperWidth : 1, PH = kPaper ? m.PaperHeight : 1;
    const bool toBase = (c.flags & 1) != 0, toPlane = (c.flags & 2) != 0;
    const bool clearCover = (c.flags & 4) != 0;
    const int dir = c.stepX;
    const int* cut = c.paperCut.data();
    const uint8_t* alphaOf = c.alphaOf.data();

    for (int k = 0; k < c.rows.count; ++k) {
        const int y = c.rows.first + k * c.stepY;
        uint8_t* fx = m.FXBuffer.row(y);
        uint8_t* rPlane = m.RPlane.row(y);
        uint8_t* gPlane = m.GPlane.row(y);
        uint8_t* bPlane = m.BPlane.row(y);
        uint8_t* rBase = m.RBase.row(y);
        uint8_t* gBase = m.GBase.row(y);
        uint8_t* bBase = m.BBase.row(y);
        const bool reliefRow = kRelief && y >= 2 && y <= H - 3;
        // Rows y + 1 and y - 1 of the same plane: a clear earlier in this pass is seen.
        const uint8_t* fxNext = reliefRow ? fx + W : nullptr;
        const uint8_t* fxPrev = reliefRow ? fx - W : nullptr;
        const uint8_t* paper = nullptr;
        const uint8_t* paperNext = nullptr;
        const uint8_t* paperPrev = nullptr;
        int pxi = 0;  // x mod PaperWidth
        if constexpr (kPaper) {
            paper = m.Paper.row(y % PH);
            if (reliefRow) {
                paperNext = m.Paper.row((y + 1) % PH);
                paperPrev = m.Paper.row((y - 1) % PH);
            }
            pxi = c.cols.first % PW;
        }

        int x = c.cols.first;
        for (int n = 0; n < c.cols.count; ++n, x += dir) {
            const int p = pxi;
            if constexpr (kPaper) {
                pxi += dir;
                if (pxi == PW) pxi = 0;
                else if (pxi < 0) pxi = PW - 1;
            }
            int a = fx[x];
            if constexpr (kPaper) a = std::max(0, a - cut[paper[p]]);
            const unsigned alpha = alphaOf[a];
            if (alpha == 0) continue;
            const unsigned keep = 255 - alpha;

            const unsigned oR = rPlane[x], oG = gPlane[x], oB = bPlane[x];
            int nR, nG, nB;
            if constexpr (kBlend) {
                nR = static_cast<int>((c.blend[0][oR << 8] * alpha + keep * oR) / 255u);
                nG = static_cast<int>((c.blend[1][oG << 8] * alpha + keep * oG) / 255u);
                nB = static_cast<int>((c.blend[2][oB << 8] * alpha + keep * oB) / 255u);
            } else {
                nR = static_cast<int>((keep * oR + static_cast<unsigned>(c.paint[0]) * alpha) / 255u);
                nG = static_cast<int>((keep * oG + static_cast<unsigned>(c.paint[1]) * alpha) / 255u);
                nB = static_cast<int>((keep * oB + static_cast<unsigned>(c.paint[2]) * alpha) / 255u);
            }

            if constexpr (kRelief) {
                if (reliefRow && x >= 2 && x <= W - 3) {
                    int next = fxNext[x + 1];
                    int prev = fxPrev[x - 1];
                    if constexpr (kPaper) {
                        const int pn = p + 1 == PW ? 0 : p + 1;
                        const int pp = p == 0 ? PW - 1 : p - 1;
                        next = std::max(0, next - cut[paperNext[pn]]);
                        prev = std::max(0, prev - cut[paperPrev[pp]]);
                    }
                    const int d = next - prev;
                    nR = Clamp255(nR + d);
                    nG = Clamp255(nG + d);
                    nB = Clamp255(nB + d);
                }
            }

            if (toBase) {
                rBase[x] = static_cast<uint8_t>(nR);
                gBase[x] = static_cast<uint8_t>(nG);
                bBase[x] = static_cast<uint8_t>(nB);
            }
            if (toPlane) {
                rPlane[x] = static_cast<uint8_t>(nR);
                gPlane[x] = static_cast<uint8_t>(nG);
                bPlane[x] = static_cast<uint8_t>(nB);
            }
            if (clearCover) fx[x] = 0;
        }
    }
}

template <bool kPaper, bool kRelief>
void CompositeRowsMode(const Composite& c, bool blend) {
    if (blend) CompositeRows<kPaper, kRelief, true>(c);
    else CompositeRows<kPaper, kRelief, false>(c);
}

void CompositeDispatch(const Composite& c, bool paper, bool relief, bool blend) {
    if (paper) {
        if (relief) CompositeRowsMode<true, true>(c, blend);
        else CompositeRowsMode<true, false>(c, blend);
    } else {
        if (relief) CompositeRowsMode<false, true>(c, blend);
        else CompositeRowsMode<false, false>(c, blend);
    }
}

bool PlanesReady() {
    const Module1State& m = Module1;
    const int32_t W = m.BufferWidth, H = m.BufferHeight;
    if (W <= 0 || H <= 0) return false;
    for (const Plane* p : {&m.FXBuffer, &m.RPlane, &m.GPlane, &m.BPlane, &m.RBase, &m.GBase,
                           &m.BBase})
        if (!p->sizeIs(W, H)) return false;
    return true;
}

// A blit edge: rounded half to even and held well inside int32, so that the display code can
// add 1 without overflow. A NaN edge means there is nothing sensible to show.
bool BlitEdge(float v, int32_t& out) {
    if (std::isnan(v)) return false;
    const double limit = 1 << 30;
    out = static_cast<int32_t>(std::clamp(std::nearbyint(static_cast<double>(v)), -limit, limit));
    return true;
}

}  // namespace

void RenderSegment(int16_t flags, float x1, float y1, float x2, float y2) {
    Module1State& m = Module1;
    if (!PlanesReady()) return;
    const float r = m.BrushSize;

    Composite c;
    c.flags = flags;
    c.stepX = x1 > x2 ? -1 : 1;
    c.stepY = y1 > y2 ? -1 : 1;
    // The walk runs from the (x1, y1) side, widened by the radius, to the (x2, y2) side.
    const float xFrom = x1 - static_cast<float>(c.stepX) * r;
    const float xTo = x2 + static_cast<float>(c.stepX) * r;
    const float yFrom = y1 - static_cast<float>(c.stepY) * r;
    const float yTo = y2 + static_cast<float>(c.stepY) * r;
    // A walk with a non-finite end is skipped: there is no pixel range to speak of.
    if (!std::isfinite(xFrom) || !std::isfinite(xTo) || !std::isfinite(yFrom) ||
        !std::isfinite(yTo))
        return;
    c.cols = ClipWalk(xFrom, xTo, c.stepX, m.BufferWidth);
    c.rows = ClipWalk(yFrom, yTo, c.stepY, m.BufferHeight);

    if (c.cols.count > 0 && c.rows.count > 0) {
        if (m.PenAltitude < 0) {
            c.paint[0] = c.paint[1] = c.paint[2] = 255;  // the pen's eraser end paints white
        } else {
            c.paint[0] = PaintByte(m.ColorR);
            c.paint[1] = PaintByte(m.ColorG);
            c.paint[2] = PaintByte(m.ColorB);
        }

        const bool curve = m.BrushCurve >= 1 &&
                           m.CoverageCurves.size() >= static_cast<size_t>(m.BrushCurve) * 256;
        const uint8_t* curveColumn =
            curve ? m.CoverageCurves.data() + static_cast<size_t>(m.BrushCurve - 1) * 256 : nullptr;
        for (int a = 0; a < 256; ++a) {
            const int shaped = curve ? curveColumn[a] : a;
            const float product = static_cast<float>(shaped) * m.BrushOpacity;
            long alpha = 0;
            if (!std::isnan(product))
                alpha = std::lrint(std::clamp(product, -1.0f, 65025.0f)) / 255;
            c.alphaOf[a] = static_cast<uint8_t>(std::clamp(alpha, 0L, 255L));
        }

        const bool paper = PaperActive();
        if (paper) {
            for (int p = 0; p < 256; ++p)
                c.paperCut[p] = static_cast<int>(
                    std::min<int64_t>(static_cast<int64_t>(p) * m.PaperStrength / 255, 256));
        }

        const bool blend = m.BlendMode >= 1 && m.BlendMode <= 10 &&
                           m.BlendTable.size() >= kBlendTableSize;
        if (blend) {
            const uint8_t* layer = m.BlendTable.data() + (m.BlendMode - 1) * kBlendLayer;
            for (int ch = 0; ch < 3; ++ch) c.blend[ch] = layer + c.paint[ch];
        }

        CompositeDispatch(c, paper, m.BrushRelief >= 1, blend);
    }

    if (flags & 1) {
        float left = x1, right = x2, top = y1, bottom = y2;
        SortPair(left, right);
        SortPair(top, bottom);
        const float margin = 1 / m.Zoom;
        int32_t l, t, rr, b;
        if (BlitEdge(std::floor(left - r) - margin, l) && BlitEdge(std::floor(top - r) - margin, t) &&
            BlitEdge(std::floor(right + r) + margin, rr) &&
            BlitEdge(std::floor(bottom + r) + margin, b))
            BlitDisplay(m.RBase, m.GBase, m.BBase, l, t, rr, b);
    }
}
