// Catmull-Rom spline value of one coordinate. The spline passes through p2 at t = 0 and p3 at
// t = 1; p1 and p4 only shape the tangents there.
#include "brush/brush.h"

float Catmull(float t, float p1, float p2, float p3, float p4) {
    // Extended precision keeps the end values exact (t = 0 gives p2, t = 1 gives p3) for any
    // float inputs: the cubic's coefficients are sums of small multiples of floats.
    const long double T = t, P1 = p1, P2 = p2, P3 = p3, P4 = p4;
    const long double v = ((3 * P2 - P1) - 3 * P3 + P4) * T * T * T +
                          ((2 * P1 - 5 * P2) + 4 * P3 - P4) * T * T + (P3 - P1) * T + 2 * P2;
    return static_cast<float>(v * 0.5L);
}

// The stroke sampler's entry point; the same cubic as Catmull.
float p_Catmull(float t, float p1, float p2, float p3, float p4) {
    return Catmull(t, p1, p2, p3, p4);
}
