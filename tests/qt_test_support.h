// Test helpers that need Qt: temporary folders, child processes and what they print.
#pragma once
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "test_support.h"

class Form1;

// A temporary folder path for test files.
QString TempDir();
// Saves a white w x h picture (RGB) as path; false when it cannot be written.
bool SaveWhite(const QString& path, int w, int h);

// Sends sig to a started child process; nothing when it never started (a process id of 0 would
// signal the whole process group, the test runner included).
void SignalProcess(const QProcess& process, int sig);

// Reads the process's channel into *seen until it holds text; false if the process ends or
// timeoutMs runs out first.
bool WaitForOutput(QProcess& process, QByteArray* seen, const char* text,
                   QProcess::ProcessChannel channel = QProcess::StandardOutput,
                   int timeoutMs = 120000);

// Closing the canvas window after the host's image changed size, answering No (the caller's
// message box hook collects the questions into messages): the window stays shown and the one
// question is the size question.
void ExpectCloseRefusedOverSize(Form1* window, const QStringList& messages);

// A fresh folder holding a tmpfs of `size` ("size=64k"), mounted in a mount namespace of this
// test process's own (its mounts vanish with it; children see them). False where mounting is
// not allowed.
bool MountTmpfs(const QString& folder, const char* size);
// Remounts such a folder read-only (no write gets through, a root's neither).
bool MakeReadOnly(const QString& folder);
