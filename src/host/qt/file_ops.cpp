#include "host/qt/file_ops.h"

#include <fcntl.h>
#include <sys/file.h>
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
#include "host/qt/temp_files.h"

namespace {

QByteArray Native(const QString& path) { return NativeName(path); }

FileStamp StampFromStat(const struct stat& st) {
    FileStamp s;
    s.file = IdentityOfStat(st);
    s.mode = st.st_mode & 07777;
    return s;
}

// Where path is a symbolic link: the link itself and what it says, into *s.
void StampLink(const QString& path, FileStamp* s) {
    const QByteArray name = Native(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return;
    s->link = IdentityOfStat(st);
    QByteArray text(4096, '\0');
    const ssize_t n = ::readlink(name.constData(), text.data(), static_cast<size_t>(text.size()));
    if (n >= 0) s->linkText = text.left(n);
}

bool SameInode(const FileIdentity& a, const FileIdentity& b) {
    return a.known == b.known && a.device == b.device && a.inode == b.inode;
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
    FileStamp s;
    if (::stat(Native(path).constData(), &st) == 0) s = StampFromStat(st);
    StampLink(path, &s);
    if (s.exists() && withDigest && S_ISREG(st.st_mode) && st.st_size <= kDigestLimit) {
        // Read in pieces into the digest: no buffer the size of the file.
        QString error;
        const int fd = OpenRegular(path, &st, &error);
        if (fd < 0) return s;
        FileStamp opened = StampFromStat(st);
        opened.link = s.link;
        opened.linkText = s.linkText;
        s = opened;
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
        s.file.size = static_cast<uint64_t>(done);
        if (done <= kDigestLimit) s.digest = DigestBytes(XXH3_128bits_digest(state.get()));
    }
    return s;
}

bool SameContent(const FileStamp& a, const FileStamp& b) {
    if (a.exists() != b.exists()) return false;
    if (!a.exists()) return true;
    if (!a.digest.isEmpty() && !b.digest.isEmpty()) return a.digest == b.digest;
    return a.file.size == b.file.size && a.file.modifiedNs == b.file.modifiedNs;
}

QString Replacement(const QString& path, const FileStamp& then, const FileStamp& now) {
    QString what;
    if (now.link.known && (!SameInode(now.link, then.link) || now.linkText != then.linkText))
        what = QStringLiteral("a symbolic link to %1").arg(NameFromNative(now.linkText));
    else if (now.exists() && !SameInode(now.file, then.file))
        what =
            QFileInfo(path).isDir() ? QStringLiteral("a folder") : QStringLiteral("another file");
    if (what.isEmpty()) return {};
    return QStringLiteral(
               "%1 was replaced by another program while Marlo had it open (it is now %2); "
               "Marlo writes only the file it opened, so it was left as it is")
        .arg(path, what);
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
    StampLink(path, stamp);
    stamp->file.size = static_cast<uint64_t>(done);
    if (done <= kDigestLimit) stamp->digest = ContentDigest(data);
    *bytes = std::move(data);
    return true;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode,
                         QString* error) {
    TempBeside temp(path);
    if (temp.fd() < 0) {
        *error =
            QStringLiteral("%1: cannot write in its folder (%2)").arg(path, SystemReason(errno));
        return false;
    }
    if (WriteAll(temp.fd(), bytes.constData(), bytes.size()) && ::fchmod(temp.fd(), mode) == 0 &&
        ::fsync(temp.fd()) == 0 && temp.RenameOver(Native(path)))
        return true;
    *error = QStringLiteral("%1: cannot write (%2)").arg(path, SystemReason(errno));
    return false;
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
    TempBeside temp(target);
    if (temp.fd() < 0) {
        *error =
            QStringLiteral("%1: cannot write in its folder (%2)").arg(target, SystemReason(errno));
        return false;
    }
    // While the link has only its temporary name, a shared lock on the source (the same file)
    // keeps another start from taking it for one a dead Marlo left.
    const int held = ::open(Native(source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (held >= 0) ::flock(held, LOCK_SH | LOCK_NB);
    if (!temp.BecomeLinkTo(Native(source))) {
        if (held >= 0) ::close(held);
        QByteArray bytes;
        FileStamp stamp;
        if (!ReadRegularFile(source, INT64_MAX, &bytes, &stamp, error)) return false;
        return WriteFileAtomically(target, bytes, stamp.mode, error);
    }
    const bool kept = temp.RenameOver(Native(target));
    const int saved = errno;
    if (held >= 0) ::close(held);
    if (!kept)
        *error = QStringLiteral("%1: cannot keep the backup (%2)").arg(target, SystemReason(saved));
    return kept;
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
