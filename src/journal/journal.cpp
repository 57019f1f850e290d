#include "journal/journal.h"

#include "core/module1.h"
#include "journal/byte_codec.h"

namespace {

constexpr auto Kind(JournalKind k) { return static_cast<uint32_t>(k); }

// Queues a planes record, compressed on the writer's thread.
void AppendPlanes(JournalWriter& w, JournalKind kind, PlanesRecord planes) {
    auto held = std::make_shared<PlanesRecord>(std::move(planes));
    w.AppendMade(
        Kind(kind), [held] { return EncodePlanes(*held); }, true);
}

}  // namespace

PlanesRecord ImagePlanesNow() {
    const Module1State& m = Module1;
    return {m.BufferWidth, m.BufferHeight, {m.RPlane, m.GPlane, m.BPlane}};
}

PlanesRecord PaperNow() {
    const Module1State& m = Module1;
    return {m.PaperWidth, m.PaperHeight, {m.Paper}};
}

Journal::Journal(const std::string& path, const SessionRecord& session,
                 std::function<void(const std::string&)> onFailure, bool holdWrites)
    : writer_(path, std::move(onFailure)), image_(session.host == "file" ? session.image : "") {
    if (holdWrites) writer_.Hold();
    writer_.Append(Kind(JournalKind::Session), EncodeSession(session), false);
    AppendImagePlanes(JournalKind::BaseImage);
    AppendPlanes(writer_, JournalKind::Paper, PaperNow());
}

Journal::Journal(const std::string& path, const JournalContents& journal,
                 std::function<void(const std::string&)> onFailure)
    : writer_(path, journal.wholeBytes, std::move(onFailure)) {
    const JournalSummary s = SummarizeJournal(journal);
    if (s.session.host == "file") image_ = s.session.image;
    strokesSince_ = s.strokesNotSent;
    nothingToKeep_ = !s.changedSinceSent;
}

void Journal::AppendImagePlanes(JournalKind kind) {
    WaitForPlanesRead();
    // The promise goes with the job: set once the planes are read, or broken (which ends the
    // wait as well) when the job is dropped because the journal failed or was removed.
    auto read = std::make_shared<std::promise<void>>();
    planesRead_ = read->get_future().share();
    writer_.AppendMade(
        Kind(kind),
        [read] {
            const Module1State& m = Module1;
            std::vector<uint8_t> body =
                EncodePlanes(m.BufferWidth, m.BufferHeight, {&m.RPlane, &m.GPlane, &m.BPlane});
            read->set_value();
            return body;
        },
        true);
}

void Journal::WaitForPlanesRead() {
    if (!planesRead_.valid()) return;
    writer_.Release();
    planesRead_.wait();
    planesRead_ = {};
}

void Journal::DrawStarting(float x, float y) {
    const Module1State& m = Module1;
    DrawStep d;
    d.pointCount = m.PointCount;
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 3; ++c) d.rows[i][c] = Module1.Stroke(m.PointCount - 3 + i, c);
    d.eventX = x;
    d.eventY = y;
    d.continues = haveEnd_ && !draws_.empty() && SameValues(kDrawStart, m, end_);
    TakeValues(kDrawStart, m, d);
    TakeValues(kDrawStamp, m, d);
    draws_.push_back(d);
}

void Journal::DrawEnded() {
    haveEnd_ = true;
    TakeValues(kDrawStart, Module1, end_);
}

void Journal::Committing(float left, float top, float right, float bottom) {
    WaitForPlanesRead();
    const Module1State& m = Module1;
    commit_ = StrokeRecord{};
    TakeValues(kCompositeFloats, m, commit_.composite);
    TakeValues(kCompositeInts, m, commit_.composite);
    commit_.left = left;
    commit_.top = top;
    commit_.right = right;
    commit_.bottom = bottom;
}

void Journal::Committed() {
    // Queued once the release is done, so that the record's compression does not compete with
    // it; a release that failed queues nothing, and its draws go with the next one.
    nothingToKeep_ = false;
    auto stroke = std::make_shared<StrokeRecord>(std::move(commit_));
    stroke->draws = std::move(draws_);
    draws_.clear();
    writer_.AppendMade(
        Kind(JournalKind::Stroke), [stroke] { return EncodeStroke(*stroke); }, true);
    ++strokesSince_;
}

void Journal::Undoing() {
    WaitForPlanesRead();
    nothingToKeep_ = false;
    // The steps held before the pop: the history may have dropped old steps for its memory
    // budget at moments a replay cannot foresee, and an undo then restores another step.
    ByteWriter w;
    w.Put(static_cast<uint32_t>(Module1.UndoList.size()));
    writer_.Append(Kind(JournalKind::Undo), std::move(w.Bytes()), true);
}

void Journal::Cleared() {
    nothingToKeep_ = false;
    writer_.Append(Kind(JournalKind::Clear), {}, true);
}

void Journal::Redoing() {
    WaitForPlanesRead();
    nothingToKeep_ = false;
    // Both lists' items before the redo, for the same reason as Undoing's.
    ByteWriter w;
    w.Put(static_cast<uint32_t>(Module1.UndoList.size()));
    w.Put(static_cast<uint32_t>(Module1.RedoList.size()));
    writer_.Append(Kind(JournalKind::Redo), std::move(w.Bytes()), true);
}

void Journal::PlanesChanging() { WaitForPlanesRead(); }

void Journal::ImageTaken() {
    nothingToKeep_ = false;
    AppendImagePlanes(JournalKind::TakenImage);
}

void Journal::PaperTaken() {
    nothingToKeep_ = false;
    AppendPlanes(writer_, JournalKind::Paper, PaperNow());
}

void Journal::ImageSentBack() {
    writer_.Append(Kind(JournalKind::WrittenBack), EncodeFileIdentity(IdentityOfFile(image_)),
                   true);
    strokesSince_ = 0;
    nothingToKeep_ = true;
}

void Journal::ChangesDropped() { nothingToKeep_ = true; }
