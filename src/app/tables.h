// The look-up tables built once at start and read-only afterwards.
#pragma once

// CoverageCurves: 256 x 2 bytes, the two fixed response curves.
void BuildCoverageCurves();
// BlendTable: 256 x 256 x 10 bytes, T(s, d) for blend modes 1..10.
void BuildBlendTable();
