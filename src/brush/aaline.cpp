// Straight pieces of a stroke: stamp positions one pixel apart, thinned by the spacing counter.
//
// The walk is in 32-bit floats throughout: the positions accumulate the unit step (px += ux),
// the spacing counter StampDistance accumulates the step length and resets to 0 at each stamp.
// Both accumulations are reproduced exactly, so a stroke stamps the same pixels wherever it is
// split into pieces. Positions whose stamp cannot reach the plane are not stepped through one
// by one: the counter is carried over them arithmetically, so a piece ending at an absurd
// coordinate costs little and leaves the counter where the whole walk would.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "brush/brush.h"
#include "brush/stamp.h"
#include "core/module1.h"

float PointDistance(float a, float b, float c, float d) {
    const float dx = std::fabs(a - c);
    const float dy = std::fabs(b - d);
    // A float squared is exact in double; only the first square is narrowed to float.
    const float sx = static_cast<float>(static_cast<double>(dx) * dx);
    return static_cast<float>(std::sqrt(static_cast<double>(sx) + static_cast<double>(dy) * dy));
}

namespace {

// The spacing counter over the positions first .. last (inclusive), none of which lays a
// stamp that reaches the plane. The counter resets to 0 whenever it reaches the threshold, so
// after its first reset it runs through one fixed cycle; only the remainder of the positions
// modulo the cycle length is stepped through. A counter that stops growing (the float sum no
// longer changes) below the threshold stays there for good.
float CarrySpacing(float sd, int64_t first, double last, float du, float threshold) {
    int64_t k = first;
    for (;; ++k) {
        if (static_cast<double>(k) > last) return sd;
        const float next = sd + du;
        if (next >= threshold) break;
        if (next == sd) return sd;
        sd = next;
    }
    ++k;  // position k reset the counter
    if (static_cast<double>(k) > last) return 0;

    int64_t cycle = 0;
    for (float s = 0;;) {
        const float next = s + du;
        ++cycle;
        if (next >= threshold) break;
        if (next == s) {  // never resets again: grows until it sticks or the walk ends
            float t = 0;
            for (; static_cast<double>(k) <= last; ++k) {
                const float n = t + du;
                if (n == t) break;
                t = n;
            }
            return t;
        }
        s = next;
    }
    // Positions k .. last remain; last is an exact integer in double, so fmod is exact.
    const int64_t lastMod = static_cast<int64_t>(std::fmod(last, static_cast<double>(cycle)));
    int64_t rest = (lastMod + 1 - k % cycle) % cycle;
    if (rest < 0) rest += cycle;
    float s = 0;
    for (int64_t j = 0; j < rest; ++j) s = s + du;
    return s;
}

// A coordinate outside the open window (lo, hi) that will never enter it: it stands still or
// moves away. Float addition of a step of fixed sign is monotone, so this is final.
bool NeverEnters(float p, float next, double lo, double hi) {
    return (p <= lo && !(next > p)) || (p >= hi && !(next < p));
}

}  // namespace

void AALine(float x0, float y0, float x1, float y1, float Bsize1, float BSize2, int16_t w,
            int16_t H) {
    (void)w;  // the stamps clip to the plane's own size
    (void)H;
    Module1State& m = Module1;
    const float dx = x1 - x0;
    const float dy = y1 - y0;
    const float len = PointDistance(x0, y0, x1, y1);
    // NaN: no position satisfies the walk's bound. Infinite: no sensible piece to walk.
    if (!std::isfinite(len)) return;

    float ux, uy;
    if (len != 0) {
        ux = dx / len;
        uy = dy / len;
    } else {
        ux = dx / 2;
        uy = dy / 2;
    }
    float count = std::nearbyint(len);
    if (count <= 0) count = 0.000001f;
    const float threshold = m.StampSpacing / 100 * Bsize1;
    const float du = PointDistance(0, 0, ux, uy);
    if (!std::isfinite(ux) || !std::isfinite(uy) || !std::isfinite(du)) return;
    // Positions 0 .. last; count below 1 (the tiny stand-in for 0) allows only position 0.
    const double last = count >= 1 ? static_cast<double>(count) : 0.0;

    float sd = m.StampDistance;
    if (!std::isfinite(sd)) sd = 0;  // a corrupt counter would never stamp again

    const int32_t W = m.BufferWidth, Hgt = m.BufferHeight;
    const double reachRadius =
        std::max(std::fabs(static_cast<double>(Bsize1)), std::fabs(static_cast<double>(BSize2)));
    const bool canStamp =
        W > 0 && Hgt > 0 && m.FXBuffer.sizeIs(W, Hgt) && std::isfinite(reachRadius);
    if (!canStamp) {
        m.StampDistance = CarrySpacing(sd, 0, last, du, threshold);
        return;
    }

    // A stamp reaches at most StampReach of its radius from its centre (one pixel more is
    // allowed here). The interpolated radius may exceed both ends by a few float roundings,
    // hence the relative margin.
    const double reach = StampReach(reachRadius * (1.0 + 1.0 / (1 << 20))) + 1.0;
    const double xlo = -reach, xhi = (W - 1) + reach;
    const double ylo = -reach, yhi = (Hgt - 1) + reach;
    auto inX = [&](float p) { return p > xlo && p < xhi; };
    auto inY = [&](float p) { return p > ylo && p < yhi; };

    int64_t i = 0;
    float px = x0, py = y0;
    // Up to the first position near the plane. Bounded: a coordinate still outside either
    // moves towards the plane by at least one float spacing a step, and so arrives within a
    // few times 2^24 steps, or never arrives and the walk stops here.
    while (static_cast<double>(i) <= last) {
        const bool ix = inX(px), iy = inY(py);
        if (ix && iy) break;
        const float nx = px + ux, ny = py + uy;
        if ((!ix && NeverEnters(px, nx, xlo, xhi)) || (!iy && NeverEnters(py, ny, ylo, yhi))) {
            m.StampDistance = CarrySpacing(sd, i, last, du, threshold);
            return;
        }
        sd = sd + du;
        if (sd >= threshold) sd = 0;
        px = nx;
        py = ny;
        ++i;
    }

    // The positions near the plane, stamping as the spacing counter says. The spline through
    // the pressures can rise above 1 between two firm points; a stamp is never larger than
    // the brush, which is what the stroke's rectangle allows for.
    const float strength = m.StampStrength / 255;
    uint8_t* plane = m.FXBuffer.bytes.data();
    while (static_cast<double>(i) <= last && inX(px) && inY(py)) {
        const float f = static_cast<float>(i) / count;
        const float radius = (1 - f) * Bsize1 + f * BSize2;
        sd = sd + du;
        if (sd >= threshold) {
            sd = 0;
            AAcpen(plane, px, py, std::min(radius, m.BrushSize), 255.0f, strength, W, Hgt);
        }
        const float nx = px + ux, ny = py + uy;
        ++i;
        // Only with a radius of millions of pixels can both coordinates stop moving while
        // near the plane; every further stamp would land on the same centre.
        if (nx == px && ny == py) break;
        px = nx;
        py = ny;
    }
    m.StampDistance = CarrySpacing(sd, i, last, du, threshold);
}
