// The file-system steps the file host takes, in POSIX terms so that every failure carries the
// system's own reason (strerror): reading only regular files, writing a file atomically with
// the former file's permission bits, and keeping a copy of a file by hard link or byte copy.
#pragma once
#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "journal/journal_records.h"

// What a name led to on disk, to tell whether someone else changed the file or put another in
// its place since.
struct FileStamp {
    FileIdentity file;    // the file itself; known = false when there is none
    FileIdentity link;    // where the name is a symbolic link, the link itself (else not known)
    QByteArray linkText;  // and what it says
    mode_t mode = 0;
    QByteArray digest;  // of the content, for files up to kDigestLimit bytes; empty otherwise
    bool exists() const { return file.known; }
};
constexpr int64_t kDigestLimit = int64_t(256) << 20;

QByteArray ContentDigest(const QByteArray& bytes);

// The stamp of path now (exists = false when there is nothing there). With withDigest, a
// regular file up to kDigestLimit is read for its digest.
FileStamp StampOf(const QString& path, bool withDigest);
// True when the two stamps describe the same content: the digests where both have one,
// else size and modification time.
bool SameContent(const FileStamp& a, const FileStamp& b);
// "" while path (stamped `now`) still leads to the file stamped `then`, or to nothing at all;
// else how another program replaced it ("it is now a symbolic link to victim.txt").
QString Replacement(const QString& path, const FileStamp& then, const FileStamp& now);

// "" when path names a regular file (or a link to one); otherwise a one-line reason that names
// the file: missing, a folder, a named pipe, a device, a socket, unreadable.
QString NotARegularFile(const QString& path);

// Reads a whole regular file without ever blocking on a pipe or device. maxBytes bounds what
// is read (a larger file is refused with a reason naming both sizes).
bool ReadRegularFile(const QString& path, int64_t maxBytes, QByteArray* bytes, FileStamp* stamp,
                     QString* error);

// Writes bytes to path atomically: a temporary file in the same folder, flushed to disk, given
// mode (the former file's permission bits) and renamed over path. On failure path is untouched.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode, QString* error);

// Makes target hold source's exact bytes and permission bits: a hard link where the file system
// allows one, else a byte copy; then renamed over target, so a failure leaves target as it was.
bool KeepCopy(const QString& source, const QString& target, QString* error);

// "Name.ext" -> "Name.ext.1~", "Name.ext.2~", ...: the first that does not exist.
QString FreeNumberedBackup(const QString& path);

// The reason of the last failed system call, in the system's words.
QString SystemReason(int error);

// The permission bits a new file gets under the process's umask.
mode_t NewFileMode();
