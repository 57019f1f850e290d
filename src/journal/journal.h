// The session's journal: it hears every change the engine makes to the planes (JournalTap) and
// writes the change's inputs as records (journal/journal_records.h), so that a painting can be
// rebuilt after the process died. Lives on the UI thread; the writing happens on the writer's.
#pragma once
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "core/journal_tap.h"
#include "journal/journal_file.h"
#include "journal/journal_records.h"

class Journal : public JournalTap {
public:
    // Makes `path` and writes the session, the planes and the paper as they are now (compressed
    // on the writer's thread, which reads the planes in place). Throws std::runtime_error when the
    // file cannot be made; a write that fails later calls onFailure once, on the writer's thread.
    // holdWrites: the records wait in the queue until ReleaseWrites (or until a change to the
    // planes needs the base image read first), so that the start-up has the machine to itself.
    Journal(const std::string& path, const SessionRecord& session,
            std::function<void(const std::string&)> onFailure, bool holdWrites = false);
    // Goes on with a left journal whose painting was just rebuilt from it (`journal` as read).
    Journal(const std::string& path, const JournalContents& journal,
            std::function<void(const std::string&)> onFailure);

    void DrawStarting(float x, float y) override;
    void DrawEnded() override;
    void Committing(float left, float top, float right, float bottom) override;
    void Committed() override;
    void Undoing() override;
    void Redoing() override;
    void PlanesChanging() override;
    void Cleared() override;
    void ImageTaken() override;
    void PaperTaken() override;
    void ImageSentBack() override;
    void ChangesDropped() override;

    // Strokes committed since the start or the last write-back.
    int StrokesNotWrittenBack() const { return strokesSince_; }
    // Nothing changed since the image went back or the painter dropped the changes: the journal
    // holds nothing that is not elsewhere.
    bool NothingToKeep() const { return nothingToKeep_; }
    const std::string& Path() const { return writer_.Path(); }
    bool Failed() const { return writer_.Failed(); }
    void Drain() { writer_.Drain(); }
    void ReleaseWrites() { writer_.Release(); }
    // The session ended as the painter meant it to: the journal is deleted.
    void Remove() { writer_.Remove(); }

private:
    // Queues the image planes as a record compressed straight from the engine's planes on the
    // writer's thread: no copy on the painter's. Until the writer has read them, the next change
    // to the planes waits (WaitForPlanesRead).
    void AppendImagePlanes(JournalKind kind);
    void WaitForPlanesRead();

    JournalWriter writer_;
    std::shared_future<void> planesRead_;  // valid while the writer may still read the planes
    std::vector<DrawStep> draws_;          // since the last commit
    bool haveEnd_ = false;                 // the state the last DrawBrush left, for `continues`
    DrawStep end_;                         // its kDrawStart values
    StrokeRecord commit_;                  // the release under way: its rectangle and settings
    std::string image_;                    // the session's file, when its host is a file
    int strokesSince_ = 0;
    bool nothingToKeep_ = true;
};

// The planes (or the paper) of the engine now, as a record to write.
PlanesRecord ImagePlanesNow();
PlanesRecord PaperNow();
