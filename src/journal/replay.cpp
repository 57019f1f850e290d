#include "journal/replay.h"

#include <stdexcept>

#include "brush/brush.h"
#include "brush/commit_stroke.h"
#include "canvas/buffers.h"
#include "canvas/image_exchange.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "journal/byte_codec.h"

namespace {

JournalKind KindOf(const JournalRecord& r) { return static_cast<JournalKind>(r.kind); }

void SetComposite(const CompositeSettings& c) {
    Module1State& m = Module1;
    PutValues(kCompositeFloats, c, m);
    PutValues(kCompositeInts, c, m);
}

void Draw(const DrawStep& d) {
    Module1State& m = Module1;
    if (d.pointCount < 3 || d.pointCount >= kStrokeRows)
        throw std::runtime_error("a journal stroke names a point outside the stroke");
    m.PointCount = d.pointCount;
    for (int i = 0; i < 4; ++i)
        m.SetStrokePoint(d.pointCount - 3 + i, d.rows[i][0], d.rows[i][1], d.rows[i][2]);
    if (!d.continues) PutValues(kDrawStart, d, m);
    PutValues(kDrawStamp, d, m);
    // At zoom 1 without scroll the event's client position is its image position.
    DrawBrush(d.eventX, d.eventY);
}

void RunStroke(const StrokeRecord& s) {
    // The preview composites with the settings the commit used: the display copy then ends as
    // the image does.
    SetComposite(s.composite);
    for (const DrawStep& d : s.draws) Draw(d);
    SetComposite(s.composite);
    CommitStroke(s.left, s.top, s.right, s.bottom);
}

void RunUndo(const JournalRecord& r) {
    ByteReader in(r.body);
    const auto held = in.Get<uint32_t>();
    // The live history may have dropped old steps for its budget before this undo.
    TrimUndoTo(held);
    PopUndo();
}

void RunRedo(const JournalRecord& r) {
    ByteReader in(r.body);
    const auto held = in.Get<uint32_t>();
    const auto undone = in.Get<uint32_t>();
    TrimUndoTo(held);
    TrimRedoTo(undone);
    PopRedo();
}

}  // namespace

JournalHost::JournalHost(const JournalContents& journal) {
    const auto& r = journal.records;
    if (r.size() < 3 || KindOf(r[0]) != JournalKind::Session ||
        KindOf(r[1]) != JournalKind::BaseImage || KindOf(r[2]) != JournalKind::Paper)
        throw std::runtime_error("the journal does not begin with its session, image and paper");
    session_ = DecodeSession(r[0].body);
    image_ = DecodePlanes(r[1].body, 3);
    paper_ = DecodePlanes(r[2].body, 1);
    if (image_.width <= 0 || image_.height <= 0)
        throw std::runtime_error("the journal's image is empty");
}

ReplayResult ReplayOperations(const JournalContents& journal) {
    ReplayResult result;
    Module1State& m = Module1;
    // The replay's own changes are the journal's already.
    JournalTap* const listening = Wiring.Journal;
    Wiring.Journal = nullptr;
    m.Zoom = 1.0f;
    m.ScrollX = 0;
    m.ScrollY = 0;
    m.PickMode = kFalse;
    size_t i = 3;  // after the session, the base image and the first paper
    try {
        for (; i < journal.records.size(); ++i) {
            const JournalRecord& r = journal.records[i];
            switch (KindOf(r)) {
                case JournalKind::Stroke:
                    RunStroke(DecodeStroke(r.body));
                    ++result.strokes;
                    break;
                case JournalKind::Undo: RunUndo(r); break;
                case JournalKind::Redo: RunRedo(r); break;
                case JournalKind::Clear: ClearImage(); break;
                case JournalKind::TakenImage: {
                    PlanesRecord p = DecodePlanes(r.body, 3);
                    if (p.width != m.BufferWidth || p.height != m.BufferHeight)
                        throw std::runtime_error(
                            "an image it took has another size than the canvas");
                    TakeImage(std::move(p.planes[0]), std::move(p.planes[1]),
                              std::move(p.planes[2]));
                    break;
                }
                case JournalKind::Paper:
                    TakePaper(std::move(DecodePlanes(r.body, 1).planes[0]));
                    break;
                case JournalKind::WrittenBack: continue;
                default: throw std::runtime_error("a record of an unknown kind");
            }
            ++result.changes;
        }
    } catch (const std::exception& e) {
        result.problem = "record " + std::to_string(i + 1) + " could not be replayed: " + e.what();
    }
    result.recordsUsed = i;
    // The display copy shows what the image holds.
    DisplayCopyFollowsImage();
    Wiring.Journal = listening;
    return result;
}
