// The journal file: what a session did to its planes, record by record, so that a painting
// survives the death of its process. The file is
//
//   "MARLOJ1\n"                                  8 bytes
//   record*                                      each:
//     uint32 length   bytes of the body          little-endian
//     uint32 kind     what the body holds (journal/journal_records.h)
//     body            `length` bytes
//     uint64 check    XXH64 (seed 0) of length, kind and body as stored
//
// A record is only trusted whole: a short or failing record at the end is one the process died
// while writing (dropped, the file is "torn"); one followed by more bytes means the file was
// damaged later, and everything from it on is dropped with a word.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

inline constexpr char kJournalMagic[8] = {'M', 'A', 'R', 'L', 'O', 'J', '1', '\n'};
// The largest body a record can have (its length is 32 bits); a larger one is made as a run of
// records by the caller.
inline constexpr uint64_t kJournalMostBody = 0xFFFFFFFFu - 16;

struct JournalRecord {
    uint32_t kind = 0;
    std::vector<uint8_t> body;
};

// The framing of one record (length, kind, body, check) as it goes to the file. Throws
// std::length_error for a body over kJournalMostBody.
std::vector<uint8_t> FrameRecord(uint32_t kind, const std::vector<uint8_t>& body);

struct JournalContents {
    std::vector<JournalRecord> records;  // every whole record, in order
    bool torn = false;     // the last record was cut short or its check failed: dropped
    bool damaged = false;  // a record with bytes after it failed its check: it and the rest dropped
    std::string problem;   // what was wrong, for the painter ("" when nothing was)
    uint64_t wholeBytes = 0;  // the file's length up to the end of its last whole record
};

// Reads a journal. Throws std::runtime_error when the file cannot be read or is no journal.
JournalContents ReadJournal(const std::string& path);

// True when a live session holds the journal's lock (its process still runs).
bool JournalInUse(const std::string& path);

// Appends records to a journal from a thread of its own, so the painter never waits for the
// disk. The file is created new (mode 0600) and locked for as long as the writer lives. A
// record marked `sync` is followed by fdatasync. When a write fails the writer stops writing
// and calls `onFailure` once, on its own thread, with the reason; painting goes on.
class JournalWriter {
public:
    // Throws std::runtime_error (with the reason) when the file cannot be made or locked.
    JournalWriter(const std::string& path, std::function<void(const std::string&)> onFailure);
    // Takes over a left journal to go on writing it: locks it, cuts it to its whole records
    // (`wholeBytes` of ReadJournal) and appends after them.
    JournalWriter(const std::string& path, uint64_t wholeBytes,
                  std::function<void(const std::string&)> onFailure);
    ~JournalWriter();  // writes what is queued, then closes (the file stays)
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    const std::string& Path() const { return path_; }
    // Queues a record; a `make` function runs on the writer's thread (for work such as
    // compressing an image that must not hold up the caller) and gives the body.
    void Append(uint32_t kind, std::vector<uint8_t> body, bool sync);
    void AppendMade(uint32_t kind, std::function<std::vector<uint8_t>()> make, bool sync);
    // Holds records back in the queue (Hold) until Release: a start-up that has more urgent work
    // for the machine (showing the canvas) lets the first records wait. Drain releases too.
    void Hold();
    void Release();
    // Waits until every queued record is written (or the writer has failed).
    void Drain();
    bool Failed() const;
    // Stops, closes and deletes the file: the session ended as the painter meant it to.
    void Remove();

private:
    struct Job {
        uint32_t kind;
        std::vector<uint8_t> body;
        std::function<std::vector<uint8_t>()> make;
        bool sync;
    };
    void Run();
    void Fail(const std::string& why);

    std::string path_;
    int fd_ = -1;
    std::function<void(const std::string&)> onFailure_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> jobs_;
    bool busy_ = false, stop_ = false, failed_ = false, held_ = false;
    std::thread thread_;
};
