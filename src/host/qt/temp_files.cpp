#include "host/qt/temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "host/qt/file_name.h"

namespace {

constexpr char kPrefix[] = ".marlo-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr size_t kRandomLength = 6;  // mkostemp's XXXXXX

int64_t RealTimeNs() {
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Taken as the program is loaded, before anything of it runs. The file system stamps times from
// a coarse clock that may lag the fine one by a tick (at most 10 ms), so a file made just after
// the start could look older than it: the limit is set that much earlier.
const int64_t kStartedNs = RealTimeNs() - 20'000'000;

bool IsTemporaryName(const char* name) {
    if (std::strncmp(name, kPrefix, kPrefixLength) != 0) return false;
    const char* random = name + kPrefixLength;
    if (std::strlen(random) != kRandomLength) return false;
    for (const char* c = random; *c; ++c)
        if (!(('a' <= *c && *c <= 'z') || ('A' <= *c && *c <= 'Z') || ('0' <= *c && *c <= '9')))
            return false;
    return true;
}

// Removes folder's entry `name` when it is a temporary file left by a dead writer.
bool RemoveIfLeft(int folder, const char* name) {
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid())
        return false;
    if (int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec >= kStartedNs) return false;
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened;
    // Held by the lock, the file cannot become a live writer's: a writer locks before it
    // writes, and a name never comes back to life once its writer has gone.
    const bool left = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
                      opened.st_dev == st.st_dev && opened.st_ino == st.st_ino &&
                      ::unlinkat(folder, name, 0) == 0;
    ::close(fd);
    return left;
}

}  // namespace

TempBeside::TempBeside(const QString& path) {
    // The name is short, so that it fits where path's own name only just does.
    const QString absolute = AbsoluteName(path);
    name_ = NativeName(absolute.left(absolute.lastIndexOf(QLatin1Char('/'))) + QLatin1Char('/') +
                       QLatin1String(kPrefix) + QStringLiteral("XXXXXX"));
    fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        gone_ = true;
        return;
    }
    // Exclusive, so that a start elsewhere that probes it leaves it alone. Where it cannot be
    // had (a file system without locks), the file's age still keeps it.
    ::flock(fd_, LOCK_EX | LOCK_NB);
}

TempBeside::~TempBeside() {
    const int saved = errno;  // callers report the failure that brought them here
    if (fd_ >= 0) ::close(fd_);
    if (!gone_) ::unlink(name_.constData());
    errno = saved;
}

bool TempBeside::BecomeLinkTo(const QByteArray& source) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(name_.constData());
    if (::link(source.constData(), name_.constData()) == 0) return true;
    gone_ = true;
    return false;
}

bool TempBeside::RenameOver(const QByteArray& target) {
    if (::rename(name_.constData(), target.constData()) != 0) return false;
    gone_ = true;
    // The writer has had the data to disk (fsync) and seen any error there; closing after the
    // rename keeps the lock until the file has its name.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return true;
}

QStringList RemoveLeftTemporaryFiles(const QString& folder) {
    QStringList removed;
    DIR* dir = ::opendir(NativeName(folder).constData());
    if (!dir) return removed;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsTemporaryName(entry->d_name) && RemoveIfLeft(::dirfd(dir), entry->d_name))
            removed << folder + QLatin1Char('/') + NameFromNative(entry->d_name);
    }
    ::closedir(dir);
    return removed;
}
