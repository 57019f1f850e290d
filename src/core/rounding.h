// Float to integer, the ways the program needs: halves to even for values shown or stored, floor
// and ceiling for pixel ranges. Every one is defined for any double: NaN gives 0 (or lo), and
// values beyond the target range give its nearest end.
#pragma once
#include <cmath>
#include <cstdint>
#include <limits>

namespace rounding_detail {
inline int32_t ToInt32(double whole) {
    if (std::isnan(whole)) return 0;
    if (whole >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (whole <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(whole);
}
}  // namespace rounding_detail

// Nearest, halves to even (the rounding mode in force).
inline int32_t RoundHalfEven(double v) { return rounding_detail::ToInt32(std::nearbyint(v)); }
inline int32_t FloorToInt32(double v) { return rounding_detail::ToInt32(std::floor(v)); }
inline int32_t CeilToInt32(double v) { return rounding_detail::ToInt32(std::ceil(v)); }

// floor(v) held to lo .. hi; NaN counts as lo.
inline int32_t FloorClamp(double v, int32_t lo, int32_t hi) {
    if (!(v >= lo)) return lo;
    if (v >= hi) return hi;
    return static_cast<int32_t>(std::floor(v));
}
