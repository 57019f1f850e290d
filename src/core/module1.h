// The program state: one record shared by every window and procedure, read and written
// directly. Flags are 16-bit, true = -1. Planes are x-fastest byte arrays (core/plane.h).
// With Scratch (working memory), Dibs (the display bitmap) and Wiring (the windows' hooks) it
// is all of the engine's mutable state; core/scratch.h says what lies outside them.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/packed_plane.h"
#include "core/plane.h"

class Host;

using Flag = int16_t;
constexpr Flag kTrue = -1;
constexpr Flag kFalse = 0;

// One item of the undo history: a saved plane (as saved, or compressed once the step is older)
// or an edge coordinate (five items a step).
using UndoItem = std::variant<Plane, int32_t, PackedPlane>;

constexpr int kStrokeRows = 10001;  // StrokePoints rows 0..10000

struct Module1State {
    int32_t PickerHue = 0;                // 0..360
    int32_t PickerSaturation = 0;         // 0..255
    int32_t PickerValue = 0;              // 0..255
    Flag PickMode = kFalse;               // comma key held: a press samples a colour
    int32_t UndoLimit = 0;                // set to kUndoLimit (canvas/undo.h) by Main
    std::deque<UndoItem> UndoList;        // position 1 is front()
    std::deque<UndoItem> RedoList;        // the steps undone, as UndoList's; the next redo last
    int64_t UndoBudget = 0;               // the history's memory budget, bytes; 0 until measured
    bool UndoDropped = false;             // steps have been dropped for the budget in this run
    bool UndoNoticeDue = false;           // and the painter has not been told yet
    std::vector<uint8_t> CoverageCurves;  // (value, curve): [curve * 256 + value]
    std::vector<uint8_t> BlendTable;      // (s, d, m): [(m * 256 + d) * 256 + s]
    Plane Paper;
    int32_t PaperWidth = 0;
    int32_t PaperHeight = 0;
    std::string CaptionText;
    // (point, component), the point index fastest: [component * kStrokeRows + point]; all
    // kStrokeRows rows from the start, written only through SetStrokePoint.
    std::vector<float> StrokePoints =
        std::vector<float>(static_cast<size_t>(kStrokeRows) * 3, 0.0f);
    Plane RPlane, GPlane, BPlane;  // the working image
    Plane FXBuffer;                // coverage of the stroke in progress
    Plane RBase, GBase, BBase;     // display copy
    float Zoom = 1.0f;
    int32_t ScrollX = 0;
    int32_t ScrollY = 0;
    int32_t PointCount = 0;
    int32_t BufferWidth = 0;
    int32_t BufferHeight = 0;
    float LastX = 0, LastY = 0, LastPressure = 0;
    float BrushSize = 0;      // radius, image pixels
    float BrushOpacity = 0;   // 1..255
    float StampStrength = 0;  // 1..255
    float StampSpacing = 0;   // percent of the radius
    float StampDistance = 0;  // walked since the last stamp; never reset
    float ColorR = 0, ColorG = 0, ColorB = 0;
    Flag ButtonDown = kFalse;
    float PressX = 0, PressY = 0;
    float DirtyLeft = 0, DirtyTop = 0, DirtyRight = 0, DirtyBottom = 0;
    float PressZoom = 0;
    float PressScrollX = 0, PressScrollY = 0;
    Flag TabletPresent = kFalse;
    Flag PenInProximity = kFalse;
    float PenX = 0, PenY = 0;
    float PenPressure = 1.0f;
    float PenAltitude = 0;
    int32_t TabletExtentX = 0, TabletExtentY = 0;
    std::shared_ptr<::Host> Host;
    int32_t BrushCurve = 0;  // 0 none, 1 or 2: column BrushCurve - 1 of CoverageCurves
    int32_t PaperStrength = 0;
    int32_t BrushRelief = 0;
    int32_t BlendMode = 0;  // 0 plain paint, 1..10 BlendTable layers
    // The host's image (red, green, blue) as Marlo last fetched or wrote it: at start, at each
    // Get image, after each write-back. The painter's changes are the pixels where the canvas
    // differs from it. Filed plain and compressed in idle turns, as the undo history's steps
    // (canvas/host_image.h); empty until the first fetch.
    PackedPlane HostImage[3];

    float Stroke(int point, int component) const {
        return StrokePoints[static_cast<size_t>(component) * kStrokeRows + point];
    }
    // Stores point (x, y, pressure); a point outside rows 0 .. kStrokeRows - 1 is ignored.
    void SetStrokePoint(int point, float x, float y, float pressure) {
        if (point < 0 || point >= kStrokeRows) return;
        StrokePoints[point] = x;
        StrokePoints[static_cast<size_t>(kStrokeRows) + point] = y;
        StrokePoints[static_cast<size_t>(kStrokeRows) * 2 + point] = pressure;
    }
};

extern Module1State Module1;

// A fresh record and fresh working memory (Scratch), as at process start; ResetEngine
// (app/engine_reset.h) resets the rest of the engine with it.
void ResetModule1();
