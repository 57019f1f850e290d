// The painter's safety net around a session: the journal of this session (journal/journal.h),
// and what is done at start with the journals that sessions which died left behind.
//
// Journals live in $XDG_STATE_HOME/marlo/journal (~/.local/state/marlo/journal), one file a
// session (PID-SECONDS.journal, mode 0600, locked while its session runs). A session that ends
// as the painter meant it (the image written back, or the changes dropped at the size
// question) deletes its journal; one that dies leaves it. The next start finds it:
//   - `marlo IMAGE` on the same, unchanged file asks whether to bring the painting back; Yes
//     rebuilds it on the canvas (undo steps included) and goes on with the same journal, No
//     saves it as a rescue PNG;
//   - every other left journal is rebuilt into a rescue PNG at once, and the painter is told;
//   - `marlo --recover` does the latter for all of them without a canvas; `--list` only lists.
#pragma once
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "journal/journal.h"
#include "journal/journal_file.h"
#include "journal/journal_records.h"

QString JournalFolder();

struct LeftJournal {
    QString path;
    JournalContents contents;
    JournalSummary summary;
    QString ended;  // when it was last written, as the painter reads a date
};

// The journals of sessions no longer running, oldest first. A file that is no journal, or
// cannot be read, is named in *problems and left alone.
std::vector<LeftJournal> FindLeftJournals(QStringList* problems);

// "Marlo ended unexpectedly on DATE while you painted NAME (N strokes not yet written back).
// Bring that painting back?"
QString RecoveryQuestion(const LeftJournal& left);

// Rebuilds the painting on a fresh engine, saves it as a rescue PNG named after its image, and
// deletes the journal once the copy is written. Returns the line for the painter. The engine is
// left fresh (ResetEngine).
QString RescueLeftJournal(const LeftJournal& left);

// The session's journal, started once the canvas holds its image; told of every change
// through Wiring.Journal from then on. A journal that cannot be written is said once through
// `tell` (on the UI thread), and painting goes on without it. Null when it cannot be started.
std::unique_ptr<Journal> StartSessionJournal(const QString& hostKind, const QString& image,
                                             std::function<void(const QString&)> tell);

// Rebuilds `left` on the canvas Main has just set up from the same file, and goes on with it
// as this session's journal. False with *error when it cannot (then nothing is changed).
std::unique_ptr<Journal> ResumeLeftJournal(const LeftJournal& left,
                                           std::function<void(const QString&)> tell,
                                           QString* error);

// The end of the session: the journal is deleted when it keeps nothing that is not elsewhere
// (the image written back, or a rescue copy made, or the changes dropped); otherwise it stays
// for the next start, and the returned line says so ("" when deleted).
QString EndSessionJournal(std::unique_ptr<Journal> journal);
