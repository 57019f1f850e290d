// The temporary files Marlo writes beside a file before renaming them over it (.marlo-XXXXXX),
// and the removal of those a Marlo that died while writing left behind.
//
// A temporary file is locked (flock) by its writer from the moment it exists until it is renamed
// into place, and removed on every way out of its writer's scope, an exception's too. The end
// signals close the canvas through its close rules, so only SIGKILL, a crash or a power cut can
// leave one. The next start on an image removes those beside it that are
//   - regular files of this user,
//   - last modified before this process started, and
//   - locked by nobody.
// The lock tells a dead writer's file from a live one's whatever their ages: the kernel drops
// it with the process that held it. The age covers the instant between a live writer making its
// file and locking it, and a writer that never locks.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

class TempBeside {
public:
    // Makes .marlo-XXXXXX in path's folder, opened for writing and locked. fd() < 0 when it
    // cannot (errno says why).
    explicit TempBeside(const QString& path);
    ~TempBeside();  // removes the file unless it was renamed into place
    TempBeside(const TempBeside&) = delete;
    TempBeside& operator=(const TempBeside&) = delete;

    int fd() const { return fd_; }
    const QByteArray& name() const { return name_; }
    // Puts a hard link to source under this file's name instead of the file (false with errno
    // set when links are not allowed there; the name is then free). The caller holds a lock on
    // source until the link is renamed into place.
    bool BecomeLinkTo(const QByteArray& source);
    // Renames the file over target and closes it. False with errno set (the file stays, for the
    // destructor).
    bool RenameOver(const QByteArray& target);

private:
    int fd_ = -1;
    QByteArray name_;
    bool gone_ = false;  // renamed into place, or never made
};

// Removes from folder the temporary files a Marlo that died while writing left there, by the
// rules above. Returns their paths.
QStringList RemoveLeftTemporaryFiles(const QString& folder);
