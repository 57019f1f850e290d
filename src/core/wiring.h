// The hooks by which the windows reach into the engine's calls, set in one place: the
// composition root (StartMarlo, app/qt/application.cpp); tests set them where they stand in
// for the windows. ResetEngine empties them. Only the Qt side knows what they point to, so the
// types are declared here, not included.
#pragma once
#include <functional>

#include "core/journal_tap.h"

class ColourSampleTarget;  // input/stroke_capture.h
class PaletteWindow;       // canvas/qt/palette_window.h
class QString;

struct WiringState {
    // Called after an undo step is filed: the canvas window compresses the history in idle
    // turns (canvas/undo.cpp calls it, canvas/qt/form1.cpp does the packing).
    std::function<void()> UndoPackingWanted;
    // Where a colour sample goes (the palette, Form2); null: samples set ColorR/G/B directly.
    ColourSampleTarget* SampleTarget = nullptr;
    // Creates the palette on first use (Form1::Form_Load); empty when the program has none.
    std::function<PaletteWindow*()> CreatePaletteWindow;
    // When set, message boxes are not shown: the hook receives the text and, for a question,
    // returns the answer (true = Yes). Tests and unattended runs use it (canvas/qt/report.cpp).
    std::function<bool(const QString& text, bool question)> MessageBoxHook;
    // The session's journal (journal/journal.h), told of every change to the planes; null: no
    // journal is kept (tests, the replay itself).
    JournalTap* Journal = nullptr;
};

extern WiringState Wiring;
