// Working memory the engine reuses from call to call, so that the hot paths do not allocate.
// Nothing here carries meaning from one call to the next; ResetModule1 clears it with the
// program state. The engine's mutable state is in four records: Module1 (core/module1.h), this
// one, Dibs (canvas/dibs.h) and the windows' hooks, Wiring (core/wiring.h); ResetEngine
// (app/engine_reset.h) makes all four fresh. The Qt side keeps its own in Windows
// (canvas/qt/windows_state.h). Outside them are only what a signal handler may touch (the
// termination counters, the end signals' socket pair), the GIMP plug-in's process-wide
// arguments and results, and the CPU-feature checks.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/rect.h"

struct ZSTD_CCtx_s;  // zstd's contexts (ZSTD_CCtx, ZSTD_DCtx); only canvas/undo_pack.cpp uses zstd
struct ZSTD_DCtx_s;

// The undo history's compression (canvas/undo_pack.cpp): one zstd context each way, made at the
// first use and freed with the record, and the block being packed: its differences, then the
// compressed frame.
struct UndoPacking {
    std::shared_ptr<ZSTD_CCtx_s> pack;
    std::shared_ptr<ZSTD_DCtx_s> unpack;
    std::vector<uint8_t> differences, frame;
};

// The composite's tables for the last settings it was prepared with (coverage to alpha, paper
// cut), and those settings.
struct CompositeTables {
    uint8_t alphaOf[256] = {};
    int paperCut[256] = {};
    bool alphaIsIdentity = false;
    bool valid = false;  // false: rebuilt at the next use
    bool hadCurve = false;
    uint8_t curve[256] = {};
    uint32_t opacityBits = 0;
    int32_t paperStrength = 0;
};

struct ScratchState {
    std::vector<Rect> pieceRects;  // DrawBrush: the rectangles one piece composites
    std::vector<Rect> pieceExtra;  // DrawBrush: the part of an extra composite not yet held
    std::vector<Rect> rectSpare;   // SubtractAll's result meanwhile, for any caller
    std::vector<int32_t> areaFrom, areaTo;  // reduced display: each column's source range
    std::vector<uint32_t> areaSums[3];      // reduced display: column sums, a channel each
    CompositeTables compositeTables;
    // The byte arrays of the last undo steps undone or dropped, kept for the next saves.
    std::vector<std::vector<uint8_t>> undoSpares;
    UndoPacking undoPacking;
    // StrokeDisplay: per piece the display pixels rendered there, those left to the end of the
    // move and the rectangles they are rendered in, and working lists.
    std::array<std::vector<Rect>, 16> displayNow;
    std::vector<Rect> displayLater, displayBands, displayLast, displayNeed, displayCut;
    std::vector<int32_t> bandEdges;
    std::vector<std::pair<int32_t, int32_t>> bandSpans;
};

extern ScratchState Scratch;
