// The undo history: five items a step (blue, green, red copies, top y, left x), newest last.
#pragma once
#include <cstdint>

#include "canvas/plane.h"

// One step saved row by row, as the release saves it while it merges the stroke: BeginUndo
// takes the corners as PushUndo does, drops the oldest step when the history is full and files
// the new step with its arrays empty; SaveUndoRows appends rows y0 .. y1 - 1 of the three image
// planes (top first, before they change; rows before the next one due or outside the step are
// passed over). The step must be filled before the history changes again. PushUndo is
// BeginUndo and SaveUndoRows of every row.
struct UndoSave {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int32_t next = 0;                                  // the next row to save
    Plane *red = nullptr, *green = nullptr, *blue = nullptr;  // the step's copies in the history
    bool empty() const { return right <= left || bottom <= top; }
};
UndoSave BeginUndo(float x1, float y1, float x2, float y2);
void SaveUndoRows(UndoSave& save, int32_t y0, int32_t y1);

void PushUndo(float x1, float y1, float x2, float y2);
void PopUndo();
// Clear: the whole image saved as one undo step, then white.
void ClearImage();
