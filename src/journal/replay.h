// A painting rebuilt from its journal: the journal's base image and paper served as a host, so
// that Main sets the engine up exactly as the session started, then every later record run
// through the engine calls that made it. The engine is exact, so the planes come out as the
// session left them after its last whole record.
#pragma once
#include <memory>
#include <string>

#include "host/host.h"
#include "journal/journal_file.h"
#include "journal/journal_records.h"

// Serves a journal's base image and first paper; takes and forgets what is sent back.
class JournalHost : public Host {
public:
    explicit JournalHost(const JournalContents& journal);  // throws std::runtime_error
    int32_t Tarn_GetPaperWidth() override { return paper_.width; }
    int32_t tarn_GetPaperHeight() override { return paper_.height; }
    Plane Tarn_GetPaper() override { return paper_.planes[0]; }
    int32_t Tarn_BufferWidth() override { return image_.width; }
    int32_t Tarn_BufferHeight() override { return image_.height; }
    Plane Tarn_GetRBuffer() override { return image_.planes[0]; }
    Plane Tarn_GetGBuffer() override { return image_.planes[1]; }
    Plane Tarn_GetBBuffer() override { return image_.planes[2]; }
    void Tarn_SendFormObject(HostCallbackTarget*, int16_t&) override {}
    void Tarn_SaveUndo() override {}
    void Tarn_SetRbuffer(const Plane&) override {}
    void Tarn_SetGbuffer(const Plane&) override {}
    void Tarn_SetBbuffer(const Plane&) override {}
    void tarn_Refresh() override {}
    std::string Tarn_WallpaperFilename() override { return {}; }

    const SessionRecord& Session() const { return session_; }

private:
    SessionRecord session_;
    PlanesRecord image_, paper_;
};

struct ReplayResult {
    int strokes = 0;         // strokes committed
    int changes = 0;         // records that changed the planes
    size_t recordsUsed = 0;  // the records run (the journal's whole records)
    std::string problem;     // a record that could not be run, with the reason ("" if none)
};

// Runs the records after the base image and first paper on the engine, which Main has set up
// from a JournalHost of the same journal (zoom 1, no scroll). Stops at a record that cannot be
// run (a damaged body, an image of another size) and says so in `problem`.
ReplayResult ReplayOperations(const JournalContents& journal);
