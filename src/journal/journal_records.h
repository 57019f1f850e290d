// What the journal's records hold, and their bodies' bytes (journal/journal_file.h frames them).
// A painting is rebuilt from its journal by running the same engine calls on the same inputs,
// so a record holds exactly the inputs of a call that changes the planes:
//
//   Session      who wrote the journal, of what image (text and numbers; first record)
//   BaseImage    the planes the session started from (three zstd frames)
//   Paper        the paper at start, and each paper "Get paper" brought in (one zstd frame)
//   Stroke       every DrawBrush call since the last commit (its stamp inputs: the four point
//                rows, the event position, the last sample and the spacing counter, size,
//                press and step) and the commit (its rectangle and composite settings);
//                a zstd frame
//   Undo, Clear  PopUndo, ClearImage (no body)
//   TakenImage   the planes a "Get image" brought in (three zstd frames)
//   WrittenBack  the image went back to its host; the file's identity after the write
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/module1.h"
#include "core/plane.h"

struct stat;

enum class JournalKind : uint32_t {
    Session = 1,
    BaseImage = 2,
    Paper = 3,
    Stroke = 4,
    Undo = 5,
    Clear = 6,
    TakenImage = 7,
    WrittenBack = 8,
    Redo = 9,
};

// A file as the file system knows it: the same identity means nobody wrote it since.
struct FileIdentity {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0;
    bool known = false;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at path now (known = false when it cannot be read).
FileIdentity IdentityOfFile(const std::string& path);
// The same from a status already taken (stat, lstat or fstat).
FileIdentity IdentityOfStat(const struct stat& st);

struct SessionRecord {
    int64_t pid = 0;
    int64_t startedUnix = 0;  // seconds
    std::string host;         // "file", "dbus" or "gimp"
    std::string image;        // the file's absolute path, or the host's name for the image
    FileIdentity file;        // for a file: as read at start
    int64_t undoBudget = 0;   // bytes the undo history may hold (steps beyond are dropped)
};

struct PlanesRecord {
    int32_t width = 0, height = 0;
    std::vector<Plane> planes;  // red, green, blue (BaseImage, TakenImage) or the paper
};

// The inputs of one DrawBrush call.
struct DrawStep {
    int32_t pointCount = 0;
    float rows[4][3] = {};         // StrokePoints rows pointCount-3 .. pointCount: x, y, pressure
    float eventX = 0, eventY = 0;  // the event's position in image pixels
    // The last sample and the spacing counter; not kept when `continues`: the call before left
    // them so, and a replay in order finds them there.
    bool continues = false;
    float lastX = 0, lastY = 0, lastPressure = 0;
    float stampDistance = 0;
    float brushSize = 0, stampSpacing = 0, stampStrength = 0;
};

// What a commit composites with.
struct CompositeSettings {
    float colorR = 0, colorG = 0, colorB = 0;
    float brushOpacity = 0, brushSize = 0, penAltitude = 0;
    int32_t brushCurve = 0, paperStrength = 0, brushRelief = 0, blendMode = 0;
};

// Where a value a record keeps lives in the engine. The journal takes the values and the
// replay puts them back by the same tables, so the two cannot drift apart.
template <typename Record, typename T = float>
struct Place {
    T Module1State::*engine;
    T Record::*record;
};
// What a DrawBrush call starts from: the last sample and the spacing counter.
inline constexpr Place<DrawStep> kDrawStart[] = {
    {&Module1State::LastX, &DrawStep::lastX},
    {&Module1State::LastY, &DrawStep::lastY},
    {&Module1State::LastPressure, &DrawStep::lastPressure},
    {&Module1State::StampDistance, &DrawStep::stampDistance}};
// Its stamps' size, step and press.
inline constexpr Place<DrawStep> kDrawStamp[] = {
    {&Module1State::BrushSize, &DrawStep::brushSize},
    {&Module1State::StampSpacing, &DrawStep::stampSpacing},
    {&Module1State::StampStrength, &DrawStep::stampStrength}};
// What a commit composites with.
inline constexpr Place<CompositeSettings> kCompositeFloats[] = {
    {&Module1State::ColorR, &CompositeSettings::colorR},
    {&Module1State::ColorG, &CompositeSettings::colorG},
    {&Module1State::ColorB, &CompositeSettings::colorB},
    {&Module1State::BrushOpacity, &CompositeSettings::brushOpacity},
    {&Module1State::BrushSize, &CompositeSettings::brushSize},
    {&Module1State::PenAltitude, &CompositeSettings::penAltitude}};
inline constexpr Place<CompositeSettings, int32_t> kCompositeInts[] = {
    {&Module1State::BrushCurve, &CompositeSettings::brushCurve},
    {&Module1State::PaperStrength, &CompositeSettings::paperStrength},
    {&Module1State::BrushRelief, &CompositeSettings::brushRelief},
    {&Module1State::BlendMode, &CompositeSettings::blendMode}};

template <typename Table, typename Record>
void TakeValues(const Table& table, const Module1State& m, Record& r) {
    for (const auto& p : table) r.*p.record = m.*p.engine;
}
template <typename Table, typename Record>
void PutValues(const Table& table, const Record& r, Module1State& m) {
    for (const auto& p : table) m.*p.engine = r.*p.record;
}
template <typename Table, typename Record>
bool SameValues(const Table& table, const Module1State& m, const Record& r) {
    for (const auto& p : table)
        if (!(m.*p.engine == r.*p.record)) return false;
    return true;
}

struct StrokeRecord {
    std::vector<DrawStep> draws;
    CompositeSettings composite;
    float left = 0, top = 0, right = 0, bottom = 0;  // CommitStroke's rectangle
};

// Bodies. The Decode functions throw std::runtime_error on a body that does not hold its kind.
std::vector<uint8_t> EncodeSession(const SessionRecord& s);
SessionRecord DecodeSession(const std::vector<uint8_t>& body);
std::vector<uint8_t> EncodeFileIdentity(const FileIdentity& f);
FileIdentity DecodeFileIdentity(const std::vector<uint8_t>& body);
// Planes are compressed; the encoding may take long for a large image (run it off the UI).
std::vector<uint8_t> EncodePlanes(const PlanesRecord& p);
std::vector<uint8_t> EncodePlanes(int32_t width, int32_t height,
                                  const std::vector<const Plane*>& planes);
PlanesRecord DecodePlanes(const std::vector<uint8_t>& body, size_t planeCount);
std::vector<uint8_t> EncodeStroke(const StrokeRecord& s);
StrokeRecord DecodeStroke(const std::vector<uint8_t>& body);

// What a journal holds, read without replaying it.
struct JournalSummary {
    SessionRecord session;
    int strokes = 0;                // strokes committed
    int strokesNotSent = 0;         // of them, since the image last went back to its host
    bool changedSinceSent = false;  // any change since then (strokes, undo, clear, Get image)
    FileIdentity lastFile;          // the file as the session last read or wrote it
};
struct JournalContents;
// Throws std::runtime_error when the journal does not begin with its session.
JournalSummary SummarizeJournal(const JournalContents& journal);
