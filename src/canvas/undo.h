// The undo history: five items a step (blue, green, red copies, top y, left x), newest last.
#pragma once
#include <cstdint>
#include <string>

#include "core/plane.h"

// Items of one step in UndoList: the blue, green and red copies, then top y and left x.
constexpr int kUndoStepItems = 5;
// Main's UndoLimit: a save drops the oldest step when more than this many are held, so the
// history keeps at most kUndoLimit + 1 steps.
constexpr int32_t kUndoLimit = 32;

// One step saved row by row, as the release saves it while it merges the stroke: BeginUndo
// takes the corners as PushUndo does, drops the oldest step when the history is full and files
// the new step with its arrays empty; SaveUndoRows appends rows y0 .. y1 - 1 of the three image
// planes (top first, before they change; rows before the next one due or outside the step are
// passed over). The step must be filled before the history changes again. PushUndo is
// BeginUndo and SaveUndoRows of every row.
struct UndoSave {
    int32_t left = 0, top = 0, right = 0, bottom = 0;         // right and bottom exclusive
    int32_t next = 0;                                         // the next row to save
    Plane *red = nullptr, *green = nullptr, *blue = nullptr;  // the step's copies in the history
    bool empty() const { return right <= left || bottom <= top; }
};
UndoSave BeginUndo(float x1, float y1, float x2, float y2);
void SaveUndoRows(UndoSave& save, int32_t y0, int32_t y1);

void PushUndo(float x1, float y1, float x2, float y2);
// Undo puts the newest step back and keeps the pixels it replaced as a step to redo; redo puts
// those back the same way. A new step (a stroke, Clear, Get image) forgets the steps to redo.
// Both lists together hold at most the history's steps and its memory budget.
void PopUndo();
void PopRedo();
// Drops the oldest steps until the history holds at most `items` items (five a step).
void TrimUndoTo(size_t items);
// The same for the steps to redo, the farthest from now first.
void TrimRedoTo(size_t items);
// Clear: the whole image saved as one undo step, then white.
void ClearImage();

// The history's memory budget. Steps are filed as plain copies (the release stays a copy) and
// compressed later, a block at a time, by PackUndo, which the window layer calls when it is idle.
// Once nothing is left to compress and the history still holds more than the budget, the oldest
// steps are dropped (the newest is always kept) and the painter is to be told, once per run.
//
// The budget in bytes: MARLO_UNDO_MB when set to a positive number, otherwise a quarter of
// AvailableMemoryBytes(). Measured at the first call and kept.
int64_t UndoBudgetBytes();
// Replaces the budget (bytes; 0 measures it again at the next need) and lets the painter be
// told again.
void SetUndoBudget(int64_t bytes);
// Heap bytes the history holds now: plain copies, compressed blocks and copies being compressed.
int64_t UndoHistoryBytes();
// Compresses at most about maxBytes of saved planes, the oldest step first, then drops steps
// over the budget once nothing is left to compress. Returns true while steps are left to
// compress. Throws only when out of memory, leaving every step as it was.
bool PackUndo(int64_t maxBytes);
// Compresses everything left now (and drops what is over the budget).
void FinishUndoPacking();
// "Undo keeps the last N steps: the image is too large for 33" once steps have first been
// dropped for the budget and nothing is left to compress (N the steps kept then); empty
// otherwise, and once it has been taken.
std::string TakeUndoNotice();
// Wiring.UndoPackingWanted (core/wiring.h) is called whenever a step is filed, so that the
// window layer can call PackUndo when it is idle. It must only schedule the work: it is called
// from within the release.
