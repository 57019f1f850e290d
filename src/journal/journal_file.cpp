#include "journal/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#define XXH_STATIC_LINKING_ONLY  // the hash state on the stack
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint64_t GetLE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t{p[i]} << (8 * i);
    return v;
}

std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (w == 0) {
            errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

std::vector<uint8_t> FrameRecord(uint32_t kind, const std::vector<uint8_t>& body) {
    if (body.size() > kJournalMostBody) throw std::length_error("journal record too large");
    std::vector<uint8_t> out;
    out.reserve(body.size() + 16);
    PutU32(out, static_cast<uint32_t>(body.size()));
    PutU32(out, kind);
    out.insert(out.end(), body.begin(), body.end());
    const uint64_t check = XXH64(out.data(), out.size(), 0);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(check >> (8 * i)));
    return out;
}

JournalContents ReadJournal(const std::string& path) {
    // Record by record straight into the bodies: the file is never held whole beside them.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error(Reason(("cannot open " + path).c_str()));
    const auto end = static_cast<uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
    in.seekg(0);
    auto read = [&in, &path](void* to, uint64_t n) {
        in.read(static_cast<char*>(to), static_cast<std::streamsize>(n));
        if (in.bad()) throw std::runtime_error(Reason(("cannot read " + path).c_str()));
        return static_cast<uint64_t>(in.gcount()) == n;
    };
    char magic[sizeof kJournalMagic];
    if (end < sizeof magic || !read(magic, sizeof magic) ||
        std::memcmp(magic, kJournalMagic, sizeof magic) != 0)
        throw std::runtime_error(path + " is not a Marlo journal");

    JournalContents c;
    uint64_t at = sizeof magic;
    c.wholeBytes = at;
    while (at < end) {
        const uint64_t left = end - at;
        uint8_t head[8] = {}, check[8] = {};
        const bool headRead = left >= 8 && read(head, 8);
        const uint64_t length = headRead ? GetLE(head, 4) : 0;
        const bool whole = headRead && length <= kJournalMostBody && length + 16 <= left;
        JournalRecord rec;
        bool good = false;
        if (whole) {
            rec.body.resize(length);
            if (read(rec.body.data(), length) && read(check, 8)) {
                XXH64_state_t state;
                XXH64_reset(&state, 0);
                XXH64_update(&state, head, 8);
                XXH64_update(&state, rec.body.data(), length);
                good = XXH64_digest(&state) == GetLE(check, 8);
            }
        }
        if (!good) {
            // A bad record at the very end is one the process died writing; past it, damage.
            const bool last = !whole || at + length + 16 == end;
            (last ? c.torn : c.damaged) = true;
            c.problem = last ? "the last record was cut short and is left out"
                             : "record " + std::to_string(c.records.size() + 1) +
                                   " is damaged; it and everything after it are left out";
            break;
        }
        rec.kind = static_cast<uint32_t>(GetLE(head + 4, 4));
        c.records.push_back(std::move(rec));
        at += length + 16;
        c.wholeBytes = at;
    }
    return c;
}

bool JournalInUse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

JournalWriter::JournalWriter(const std::string& path,
                             std::function<void(const std::string&)> onFailure)
    : path_(path), onFailure_(std::move(onFailure)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::runtime_error(Reason(("cannot make " + path).c_str()));
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 ||
        !WriteAll(fd_, reinterpret_cast<const uint8_t*>(kJournalMagic), sizeof kJournalMagic)) {
        const std::string why = Reason(("cannot start " + path).c_str());
        ::close(fd_);
        ::unlink(path.c_str());
        throw std::runtime_error(why);
    }
    thread_ = std::thread([this] { Run(); });
}

JournalWriter::~JournalWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

JournalWriter::JournalWriter(const std::string& path, uint64_t wholeBytes,
                             std::function<void(const std::string&)> onFailure)
    : path_(path), onFailure_(std::move(onFailure)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ < 0) throw std::runtime_error(Reason(("cannot open " + path).c_str()));
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 ||
        ::ftruncate(fd_, static_cast<off_t>(wholeBytes)) != 0 || ::lseek(fd_, 0, SEEK_END) < 0) {
        const std::string why = Reason(("cannot take over " + path).c_str());
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error(why);
    }
    thread_ = std::thread([this] { Run(); });
}

void JournalWriter::Append(uint32_t kind, std::vector<uint8_t> body, bool sync) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failed_ || fd_ < 0) return;
        jobs_.push_back({kind, std::move(body), nullptr, sync});
    }
    wake_.notify_one();
}

void JournalWriter::AppendMade(uint32_t kind, std::function<std::vector<uint8_t>()> make,
                               bool sync) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failed_ || fd_ < 0) return;
        jobs_.push_back({kind, {}, std::move(make), sync});
    }
    wake_.notify_one();
}

void JournalWriter::Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
}

void JournalWriter::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!held_) return;
        held_ = false;
    }
    wake_.notify_all();
}

void JournalWriter::Drain() {
    Release();
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return (jobs_.empty() && !busy_) || failed_; });
}

bool JournalWriter::Failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

void JournalWriter::Remove() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) {
        ::unlink(path_.c_str());
        ::close(fd_);
        fd_ = -1;
    }
}

void JournalWriter::Fail(const std::string& why) {
    // Told before anyone waiting in Drain goes on, so that what they do next can count on it.
    if (onFailure_) onFailure_(why);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        jobs_.clear();
    }
    idle_.notify_all();
}

void JournalWriter::Run() {
    // The painter's thread comes first: the journal's compression and writing yield to it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            busy_ = false;
            idle_.notify_all();
            // A stop writes what is queued, held or not.
            wake_.wait(lock, [this] { return stop_ || (!held_ && !jobs_.empty()); });
            if (jobs_.empty() || failed_) return;  // stopping with nothing left
            job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
        }
        std::vector<uint8_t> framed;
        try {
            framed = FrameRecord(job.kind, job.make ? job.make() : job.body);
        } catch (const std::exception& e) {
            Fail(std::string("a journal record could not be made: ") + e.what());
            return;
        }
        if (!WriteAll(fd_, framed.data(), framed.size())) {
            Fail(Reason(("cannot write " + path_).c_str()));
            return;
        }
        if (job.sync && ::fdatasync(fd_) != 0) {
            Fail(Reason(("cannot sync " + path_).c_str()));
            return;
        }
    }
}
