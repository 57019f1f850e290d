// The footprint of one stamp, shared by the stamp itself and the walk that skips stamps
// which cannot reach the plane.
#pragma once

// A stamp of radius r touches only pixels whose centre is closer than max(r, 1) to the stamp
// centre: the stroke's rectangle, grown by the brush size (1 or more) around every sample,
// holds all it paints. The soft edge runs from r - 1 (full) to r (none).
inline double StampReach(double radius) { return radius > 1 ? radius : 1.0; }
