// The undo history: five items a step (blue, green, red copies, top y, left x), newest last.
#pragma once
#include <cstdint>

#include "canvas/plane.h"

// One step saved row by row, as the release saves it while it merges the stroke row by row:
// BeginUndo takes the corners as PushUndo does and makes room (dropping the oldest step when
// the history is full), SaveUndoRows copies rows y0 .. y1 - 1 of the three image planes (each
// row once, before it changes, in any order), EndUndo files the step. PushUndo is the three in
// one.
struct UndoSave {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    Plane red, green, blue;
    bool empty() const { return right <= left || bottom <= top; }
};
UndoSave BeginUndo(float x1, float y1, float x2, float y2);
void SaveUndoRows(UndoSave& save, int32_t y0, int32_t y1);  // rows outside the step are ignored
void EndUndo(UndoSave&& save);

void PushUndo(float x1, float y1, float x2, float y2);
void PopUndo();
// The palette's Undo and Clear buttons.
void kt_button1_Click();
void kt_button2_Click();
