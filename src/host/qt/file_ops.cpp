#include "host/qt/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include <memory>
#include <vector>

#include "core/large_pages.h"
#include "host/qt/file_name.h"

namespace {

QByteArray Native(const QString& path) { return NativeName(path); }

FileStamp StampFromStat(const struct stat& st) {
    FileStamp s;
    s.exists = true;
    s.size = st.st_size;
    s.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.mode = st.st_mode & 07777;
    return s;
}

QString KindReason(const QString& path, mode_t mode) {
    if (S_ISDIR(mode)) return QStringLiteral("%1 is a folder, not a picture file").arg(path);
    if (S_ISFIFO(mode)) return QStringLiteral("%1 is a named pipe, not a picture file").arg(path);
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("%1 is a device, not a picture file").arg(path);
    if (S_ISSOCK(mode)) return QStringLiteral("%1 is a socket, not a picture file").arg(path);
    return QStringLiteral("%1 is not a regular file").arg(path);
}

// path opened for reading when it is a regular file (its status in *st), else -1 with a
// reason naming the file.
int OpenRegular(const QString& path, struct stat* st, QString* error) {
    const QString kind = NotARegularFile(path);
    if (!kind.isEmpty()) {
        *error = kind;
        return -1;
    }
    // O_NONBLOCK: should the name have become a pipe since the check, opening it must not wait.
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(path, SystemReason(errno));
        return -1;
    }
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        *error = S_ISREG(st->st_mode) ? QStringLiteral("%1: %2").arg(path, SystemReason(errno))
                                      : KindReason(path, st->st_mode);
        ::close(fd);
        return -1;
    }
    return fd;
}

QByteArray DigestBytes(const XXH128_hash_t& h) {
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, h);
    return QByteArray(reinterpret_cast<const char*>(c.digest), sizeof c.digest);
}

// Writes all of bytes to fd; false with errno set on failure.
bool WriteAll(int fd, const char* data, int64_t size) {
    while (size > 0) {
        const ssize_t n =
            ::write(fd, data, static_cast<size_t>(std::min<int64_t>(size, int64_t(1) << 30)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// A temporary file beside path, opened for writing with mode; its name in *temp. The name is
// short so that it fits where path's own name only just does.
int CreateTempBeside(const QString& path, QString* temp) {
    const QString folder = QFileInfo(path).absolutePath();
    QByteArray pattern = Native(folder + QStringLiteral("/.marlo-XXXXXX"));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) *temp = NameFromNative(pattern);
    return fd;
}

}  // namespace

QString SystemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The digest only tells whether another program changed a file while Marlo had it open, so it
// need withstand accidents, not attacks: XXH3 with 128 bits (a chance collision about one in
// 2^128) hashes some 10 GB/s where BLAKE2b managed 0.5, which counts when a file of hundreds of
// megabytes is hashed at the start and again before each write.
QByteArray ContentDigest(const QByteArray& bytes) {
    return DigestBytes(XXH3_128bits(bytes.constData(), static_cast<size_t>(bytes.size())));
}

FileStamp StampOf(const QString& path, bool withDigest) {
    struct stat st;
    if (::stat(Native(path).constData(), &st) != 0) return {};
    FileStamp s = StampFromStat(st);
    if (withDigest && S_ISREG(st.st_mode) && st.st_size <= kDigestLimit) {
        // Read in pieces into the digest: no buffer the size of the file.
        QString error;
        const int fd = OpenRegular(path, &st, &error);
        if (fd < 0) return s;
        s = StampFromStat(st);
        std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(),
                                                                              XXH3_freeState);
        if (!state || XXH3_128bits_reset(state.get()) != XXH_OK) {
            ::close(fd);
            return s;
        }
        std::vector<char> piece(size_t(1) << 20);
        int64_t done = 0;
        for (;;) {
            const ssize_t n = ::read(fd, piece.data(), piece.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            XXH3_128bits_update(state.get(), piece.data(), static_cast<size_t>(n));
            done += n;
        }
        ::close(fd);
        s.size = done;
        if (done <= kDigestLimit) s.digest = DigestBytes(XXH3_128bits_digest(state.get()));
    }
    return s;
}

bool SameContent(const FileStamp& a, const FileStamp& b) {
    if (a.exists != b.exists) return false;
    if (!a.exists) return true;
    if (!a.digest.isEmpty() && !b.digest.isEmpty()) return a.digest == b.digest;
    return a.size == b.size && a.mtimeNs == b.mtimeNs;
}

QString NotARegularFile(const QString& path) {
    struct stat st;
    if (::stat(Native(path).constData(), &st) != 0) {
        if (errno == ENOENT) return QStringLiteral("%1: no such file").arg(path);
        return QStringLiteral("%1: %2").arg(path, SystemReason(errno));
    }
    if (!S_ISREG(st.st_mode)) return KindReason(path, st.st_mode);
    if (::access(Native(path).constData(), R_OK) != 0)
        return QStringLiteral("%1: %2").arg(path, SystemReason(errno));
    return {};
}

bool ReadRegularFile(const QString& path, int64_t maxBytes, QByteArray* bytes, FileStamp* stamp,
                     QString* error) {
    struct stat st;
    const int fd = OpenRegular(path, &st, error);
    if (fd < 0) return false;
    if (st.st_size > maxBytes) {
        *error = QStringLiteral("%1: the file has %2 bytes, more than the %3 that can be read")
                     .arg(path)
                     .arg(qint64(st.st_size))
                     .arg(qint64(maxBytes));
        ::close(fd);
        return false;
    }
    QByteArray data;
    try {
        data.resize(static_cast<qsizetype>(st.st_size));
        AdviseLargePages(data.data(), static_cast<size_t>(data.size()));
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("%1: not enough memory to read the file").arg(path);
        ::close(fd);
        return false;
    }
    int64_t done = 0;
    while (done < st.st_size) {
        const ssize_t n = ::read(fd, data.data() + done, static_cast<size_t>(st.st_size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = QStringLiteral("%1: %2").arg(path, SystemReason(errno));
            ::close(fd);
            return false;
        }
        if (n == 0) break;  // the file shrank meanwhile: take what is there
        done += n;
    }
    data.resize(static_cast<qsizetype>(done));
    ::close(fd);
    *stamp = StampFromStat(st);
    stamp->size = done;
    if (done <= kDigestLimit) stamp->digest = ContentDigest(data);
    *bytes = std::move(data);
    return true;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode,
                         QString* error) {
    QString temp;
    const int fd = CreateTempBeside(path, &temp);
    if (fd < 0) {
        *error =
            QStringLiteral("%1: cannot write in its folder (%2)").arg(path, SystemReason(errno));
        return false;
    }
    const QByteArray tempName = Native(temp);
    bool ok = WriteAll(fd, bytes.constData(), bytes.size()) && ::fchmod(fd, mode) == 0 &&
              ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(tempName.constData(), Native(path).constData()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(tempName.constData());
        *error = QStringLiteral("%1: cannot write (%2)").arg(path, SystemReason(saved));
    }
    return ok;
}

bool KeepCopy(const QString& source, const QString& target, QString* error) {
    const QString kind = NotARegularFile(source);
    if (!kind.isEmpty()) {
        *error = kind;
        return false;
    }
    struct stat existing;
    if (::lstat(Native(target).constData(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        *error = QStringLiteral("%1 is a folder; the backup cannot be kept there").arg(target);
        return false;
    }
    // A hard link keeps the bytes and the permission bits for nothing; where links are not
    // allowed, a byte copy with the same bits.
    QString temp;
    const int probe = CreateTempBeside(target, &temp);
    if (probe < 0) {
        *error =
            QStringLiteral("%1: cannot write in its folder (%2)").arg(target, SystemReason(errno));
        return false;
    }
    ::close(probe);
    const QByteArray tempName = Native(temp);
    ::unlink(tempName.constData());
    if (::link(Native(source).constData(), tempName.constData()) != 0) {
        QByteArray bytes;
        FileStamp stamp;
        if (!ReadRegularFile(source, INT64_MAX, &bytes, &stamp, error)) return false;
        return WriteFileAtomically(target, bytes, stamp.mode, error);
    }
    if (::rename(tempName.constData(), Native(target).constData()) != 0) {
        const int saved = errno;
        ::unlink(tempName.constData());
        *error = QStringLiteral("%1: cannot keep the backup (%2)").arg(target, SystemReason(saved));
        return false;
    }
    return true;
}

QString FreeNumberedBackup(const QString& path) {
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("%1.%2~").arg(path).arg(n);
        struct stat st;
        if (::lstat(Native(name).constData(), &st) != 0) return name;
    }
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}
