// What the engine tells the session's journal (journal/journal.h) as it changes the planes: each
// call comes before or after the change it names, with the engine's state as the change reads
// it. The composition root plugs the journal in (Wiring.Journal); without one nothing is told.
#pragma once

class JournalTap {
public:
    virtual ~JournalTap() = default;
    // DrawBrush is about to stamp the segment behind the newest point; (x, y): the event's
    // position in image pixels. DrawEnded: it has.
    virtual void DrawStarting(float x, float y) = 0;
    virtual void DrawEnded() = 0;
    // CommitStroke is about to merge the rectangle (its arguments).
    virtual void Committing(float left, float top, float right, float bottom) = 0;
    virtual void Committed() = 0;  // and has, without fault
    virtual void Undoing() = 0;    // PopUndo is about to restore the newest step
    virtual void Redoing() = 0;    // PopRedo is about to restore the newest step undone
    // Clear or Get image is about to change the planes (after saving its undo step).
    virtual void PlanesChanging() = 0;
    virtual void Cleared() = 0;     // ClearImage made the image white
    virtual void ImageTaken() = 0;  // the host's image replaced the planes (Get image)
    virtual void PaperTaken() = 0;  // the host's paper replaced the paper (Get paper)
    // The planes went back to the host as they are (Send image, the close); or the painter chose
    // at the close to lose the changes. Either way nothing is left to rebuild until the next
    // change.
    virtual void ImageSentBack() = 0;
    virtual void ChangesDropped() = 0;
};
