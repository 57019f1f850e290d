// The spiral stroke through the engine's own pointer handlers, and through libmypaint.
#pragma once
#include <cstdio>
#include <vector>

#include "bench_scene.h"
#include "figures.h"

// Presses at point 0, moves through points 1 .. 1998 (each move timed), releases at point 1999
// (the commit, timed); then five times undoes the stroke and paints it once more, timing those
// releases too (their median is the commit time).
// trace, when given, receives a digest of the pixels around each move of the first painting.
StrokeFigures ReplayStroke(BrushKind kind, float radius, float zoom, std::FILE* trace);

// libmypaint's time per pointer move, in microseconds, for points 1 .. 1999 of the stroke.
std::vector<double> ReplayMypaint(float radius);
