// The footprint of one stamp, shared by the stamp itself and the walk that skips stamps
// which cannot reach the plane.
#pragma once

// A stamp of radius r touches only pixels whose centre is closer than r + kStampFringe to
// the stamp centre: the soft edge runs from r - kStampFringe (full) to r + kStampFringe (none).
constexpr double kStampFringe = 1.0;
