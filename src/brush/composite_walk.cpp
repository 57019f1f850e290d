// The composite's per-call tables, and the walk pixel by pixel in the walk's own order.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "brush/brush.h"
#include "brush/composite.h"
#include "brush/paper.h"
#include "brush/tables.h"
#include "core/module1.h"
#include "core/scratch.h"

namespace {

// The paint colour as a byte. Colours outside 0..255 (only a broken caller makes them) are
// clamped so that the mix stays a byte and the blend table is never indexed outside.
int PaintByte(float c) {
    if (!(c >= 0)) return 0;  // negative or NaN
    if (c >= 255) return 255;
    return static_cast<int>(std::lrint(c));
}

// The coverage-to-alpha and paper tables of the current settings (kept in Scratch), rebuilt
// only when the curve column, the opacity or the paper strength differ from the last call's.
void UpdateTables(CompositeTables& t, const uint8_t* curveColumn, float opacity, int32_t strength) {
    uint32_t bits;
    std::memcpy(&bits, &opacity, sizeof bits);
    const bool same = t.valid && bits == t.opacityBits && t.hadCurve == (curveColumn != nullptr) &&
                      (!curveColumn || std::memcmp(t.curve, curveColumn, 256) == 0);
    if (!same) {
        t.alphaIsIdentity = true;
        for (int a = 0; a < 256; ++a) {
            const int shaped = curveColumn ? curveColumn[a] : a;
            const float product = static_cast<float>(shaped) * opacity;
            long alpha = 0;
            if (!std::isnan(product))
                alpha = std::lrint(std::clamp(product, -1.0f, 65025.0f)) / 255;
            t.alphaOf[a] = static_cast<uint8_t>(std::clamp(alpha, 0L, 255L));
            t.alphaIsIdentity = t.alphaIsIdentity && t.alphaOf[a] == a;
        }
        t.hadCurve = curveColumn != nullptr;
        if (curveColumn) std::memcpy(t.curve, curveColumn, 256);
        t.opacityBits = bits;
    }
    if (!t.valid || strength != t.paperStrength) {
        for (int p = 0; p < 256; ++p)
            t.paperCut[p] =
                static_cast<int>(std::min<int64_t>(static_cast<int64_t>(p) * strength / 255, 256));
        t.paperStrength = strength;
    }
    t.valid = true;
}

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

template <bool kPaper, bool kRelief, bool kBlend>
void CompositeRows(const Composite& c) {
    Module1State& m = Module1;
    const int32_t W = m.BufferWidth, H = m.BufferHeight;
    const int32_t PW = kPaper ? m.PaperWidth : 1, PH = kPaper ? m.PaperHeight : 1;
    const bool toBase = (c.flags & kPreview) != 0, toPlane = (c.flags & kCommit) != 0;
    const bool clearCover = (c.flags & kClearCoverage) != 0;
    const int dir = c.stepX;
    const int* cut = c.paperCut;
    const uint8_t* alphaOf = c.alphaOf;

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
                if (pxi == PW)
                    pxi = 0;
                else if (pxi < 0)
                    pxi = PW - 1;
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
                nR = static_cast<int>((keep * oR + static_cast<unsigned>(c.paint[0]) * alpha) /
                                      255u);
                nG = static_cast<int>((keep * oG + static_cast<unsigned>(c.paint[1]) * alpha) /
                                      255u);
                nB = static_cast<int>((keep * oB + static_cast<unsigned>(c.paint[2]) * alpha) /
                                      255u);
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
void CompositeRowsMode(const Composite& c) {
    if (c.blendMode)
        CompositeRows<kPaper, kRelief, true>(c);
    else
        CompositeRows<kPaper, kRelief, false>(c);
}

}  // namespace

void PrepareComposite(Composite& c) {
    const Module1State& m = Module1;
    if (m.PenAltitude < 0) {
        c.paint[0] = c.paint[1] = c.paint[2] = 255;  // the pen's eraser end paints white
    } else {
        c.paint[0] = PaintByte(m.ColorR);
        c.paint[1] = PaintByte(m.ColorG);
        c.paint[2] = PaintByte(m.ColorB);
    }

    const bool curve =
        m.BrushCurve >= 1 && m.CoverageCurves.size() >= static_cast<size_t>(m.BrushCurve) * 256;
    const uint8_t* curveColumn =
        curve ? m.CoverageCurves.data() + static_cast<size_t>(m.BrushCurve - 1) * 256 : nullptr;
    CompositeTables& tables = Scratch.compositeTables;
    UpdateTables(tables, curveColumn, m.BrushOpacity, PaperActive() ? m.PaperStrength : 0);
    c.alphaOf = tables.alphaOf;
    c.paperCut = tables.paperCut;
    c.paper = PaperActive();
    c.alphaIsCoverage = tables.alphaIsIdentity && !c.paper;

    c.blendMode =
        m.BlendMode >= 1 && m.BlendMode <= kBlendLayers && m.BlendTable.size() >= kBlendTableSize;
    if (c.blendMode) {
        const uint8_t* layer = m.BlendTable.data() + (m.BlendMode - 1) * kBlendLayer;
        for (int ch = 0; ch < 3; ++ch) c.blend[ch] = layer + c.paint[ch];
    }
    c.relief = m.BrushRelief >= 1;
}

void CompositeInWalkOrder(const Composite& c) {
    if (c.paper) {
        if (c.relief)
            CompositeRowsMode<true, true>(c);
        else
            CompositeRowsMode<true, false>(c);
    } else {
        if (c.relief)
            CompositeRowsMode<false, true>(c);
        else
            CompositeRowsMode<false, false>(c);
    }
}
