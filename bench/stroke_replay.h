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
// journal, when given, is a file the session's journal is kept in meanwhile (removed after).
StrokeFigures ReplayStroke(BrushKind kind, float radius, float zoom, std::FILE* trace,
                           const char* journal = nullptr);

// The journal's cost, side by side in one run: the release of the spiral stroke with the
// journal on and off, the size of its record, and the rebuilding of 1,000 strokes on the 4096
// x 4096 scene from a journal.
struct JournalFigures {
    double commitMs = 0, journalCommitMs = 0;
    double moveMedianUs = 0, journalMoveMedianUs = 0;
    uint64_t recordBytes = 0;
    double recover1000Ms = 0;
};
JournalFigures MeasureJournal(const char* folder);

// libmypaint's time per pointer move, in microseconds, for points 1 .. 1999 of the stroke.
std::vector<double> ReplayMypaint(float radius);
