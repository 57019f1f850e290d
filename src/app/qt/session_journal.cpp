#include "app/qt/session_journal.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <ctime>

#include "app/engine_reset.h"
#include "app/startup.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "host/qt/file_name.h"
#include "host/qt/rescue_copy.h"
#include "journal/replay.h"

namespace {

std::string Local(const QString& s) { return NativeName(s).toStdString(); }
QString FromLocal(const std::string& s) { return NameFromNative(QByteArray::fromStdString(s)); }

// The writer's thread says a failure once; the painter hears it on the UI thread.
std::function<void(const std::string&)> OnUiThread(std::function<void(const QString&)> tell) {
    return [tell](const std::string& why) {
        const QString line = QStringLiteral(
                                 "The journal that keeps the painting safe if Marlo ends "
                                 "unexpectedly cannot be written any more (%1). Painting goes on; "
                                 "use \"Send image\" to keep your work.")
                                 .arg(FromLocal(why));
        QMetaObject::invokeMethod(
            qApp, [tell, line] { tell(line); }, Qt::QueuedConnection);
    };
}

QString ImageName(const JournalSummary& s) {
    if (s.session.host == "file") return QFileInfo(FromLocal(s.session.image)).fileName();
    return FromLocal(s.session.image);
}

// The rebuilt painting as a document to save: named after its file, or, for another host,
// placed among the rescue copies.
bool Rebuild(const LeftJournal& left, ImageDocument* doc, QString* problem) {
    ResetEngine();
    try {
        Main(std::make_shared<JournalHost>(left.contents), nullptr);
        const ReplayResult r = ReplayOperations(left.contents);
        if (!r.problem.empty()) *problem = FromLocal(r.problem);
        const Module1State& m = Module1;
        doc->r = m.RPlane;
        doc->g = m.GPlane;
        doc->b = m.BPlane;
    } catch (const std::exception& e) {
        *problem = QString::fromLocal8Bit(e.what());
        ResetEngine();
        return false;
    }
    ResetEngine();
    const JournalSummary& s = left.summary;
    doc->path = s.session.host == "file"
                    ? FromLocal(s.session.image)
                    : RescueFolderOfData() +
                          QStringLiteral("/marlo-%1-painting.png").arg(FromLocal(s.session.host));
    return true;
}

}  // namespace

QString JournalFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    const QString folder = state + QStringLiteral("/marlo/journal");
    QDir().mkpath(folder);
    ::chmod(Local(folder).c_str(), 0700);
    return folder;
}

std::vector<LeftJournal> FindLeftJournals(QStringList* problems) {
    std::vector<LeftJournal> found;
    const QDir dir(JournalFolder());
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.journal")}, QDir::Files,
                                                   QDir::Time | QDir::Reversed)) {
        const std::string path = Local(info.absoluteFilePath());
        if (JournalInUse(path)) continue;  // its session still runs
        LeftJournal left;
        left.path = info.absoluteFilePath();
        try {
            left.contents = ReadJournal(path);
            left.summary = SummarizeJournal(left.contents);
        } catch (const std::exception& e) {
            problems->append(QStringLiteral("%1 cannot be read back: %2")
                                 .arg(left.path, QString::fromLocal8Bit(e.what())));
            continue;
        }
        if (!left.contents.problem.empty())
            problems->append(
                QStringLiteral("%1: %2").arg(left.path, FromLocal(left.contents.problem)));
        left.ended = info.lastModified().toString(QStringLiteral("yyyy-MM-dd 'at' HH:mm"));
        found.push_back(std::move(left));
    }
    return found;
}

QString RecoveryQuestion(const LeftJournal& left) {
    return QStringLiteral(
               "Marlo ended unexpectedly on %1 while you painted %2 (%3 %4 not yet written "
               "back). Bring that painting back?")
        .arg(left.ended, ImageName(left.summary))
        .arg(left.summary.strokesNotSent)
        .arg(left.summary.strokesNotSent == 1 ? QStringLiteral("stroke")
                                              : QStringLiteral("strokes"));
}

QString RescueLeftJournal(const LeftJournal& left) {
    if (!left.summary.changedSinceSent) {
        // Nothing was painted since the image last went back: nothing is lost.
        QFile::remove(left.path);
        return {};
    }
    ImageDocument doc;
    QString problem, why;
    if (!Rebuild(left, &doc, &problem))
        return QStringLiteral(
                   "The painting of %1 left by Marlo on %2 could not be rebuilt (%3); "
                   "its journal is kept as %4")
            .arg(ImageName(left.summary), left.ended, problem, left.path);
    const QString saved = WriteRescueCopy(doc, &why);
    if (saved.isEmpty())
        return QStringLiteral(
                   "The painting of %1 left by Marlo on %2 was rebuilt, but no rescue "
                   "copy could be %3; its journal is kept as %4")
            .arg(ImageName(left.summary), left.ended, why, left.path);
    QFile::remove(left.path);
    QString line = QStringLiteral("The painting of %1 left by Marlo on %2 was saved as %3")
                       .arg(ImageName(left.summary), left.ended, saved);
    if (!problem.isEmpty())
        line += QStringLiteral(" (up to where its journal was damaged: %1)").arg(problem);
    return line;
}

std::unique_ptr<Journal> StartSessionJournal(const QString& hostKind, const QString& image,
                                             std::function<void(const QString&)> tell) {
    SessionRecord s;
    s.pid = ::getpid();
    s.startedUnix = static_cast<int64_t>(std::time(nullptr));
    s.host = hostKind.toStdString();
    s.image = Local(hostKind == QLatin1String("file") ? AbsoluteName(image) : image);
    if (hostKind == QLatin1String("file")) s.file = IdentityOfFile(s.image);
    s.undoBudget = UndoBudgetBytes();
    const QString path =
        JournalFolder() + QStringLiteral("/%1-%2.journal").arg(s.pid).arg(s.startedUnix);
    try {
        // The base image is compressed and written once the canvas is up: until the event loop
        // first runs, the start-up has both processors.
        auto journal = std::make_unique<Journal>(Local(path), s, OnUiThread(tell), true);
        QTimer::singleShot(0, qApp, [j = journal.get()] {
            if (Wiring.Journal == j) j->ReleaseWrites();
        });
        Wiring.Journal = journal.get();
        return journal;
    } catch (const std::exception& e) {
        tell(QStringLiteral("The journal that keeps the painting safe if Marlo ends unexpectedly "
                            "cannot be written (%1). Painting goes on; use \"Send image\" to keep "
                            "your work.")
                 .arg(QString::fromLocal8Bit(e.what())));
        return nullptr;
    }
}

std::unique_ptr<Journal> ResumeLeftJournal(const LeftJournal& left,
                                           std::function<void(const QString&)> tell,
                                           QString* error) {
    Module1State& m = Module1;
    try {
        JournalHost base(left.contents);
        if (base.Tarn_BufferWidth() != m.BufferWidth ||
            base.Tarn_BufferHeight() != m.BufferHeight) {
            *error = QStringLiteral("the painting in the journal has another size than the file");
            return nullptr;
        }
        auto journal = std::make_unique<Journal>(Local(left.path), left.contents, OnUiThread(tell));
        m.RPlane = base.Tarn_GetRBuffer();
        m.GPlane = base.Tarn_GetGBuffer();
        m.BPlane = base.Tarn_GetBBuffer();
        m.Paper = base.Tarn_GetPaper();
        m.PaperWidth = m.Paper.width;
        m.PaperHeight = m.Paper.height;
        m.UndoList.clear();
        DisplayCopyFollowsImage();
        const ReplayResult r = ReplayOperations(left.contents);
        if (!r.problem.empty())
            tell(QStringLiteral("The painting was brought back up to where its "
                                "journal is damaged: %1")
                     .arg(FromLocal(r.problem)));
        displaybuffers();
        Wiring.Journal = journal.get();
        return journal;
    } catch (const std::exception& e) {
        *error = QString::fromLocal8Bit(e.what());
        return nullptr;
    }
}

QString EndSessionJournal(std::unique_ptr<Journal> journal) {
    Wiring.Journal = nullptr;
    if (!journal) return {};
    journal->Drain();
    if (journal->NothingToKeep()) {
        journal->Remove();
        return {};
    }
    return QStringLiteral(
               "The painting since it was last written back is kept in %1; the next "
               "start of Marlo brings it back (marlo --recover saves it now).")
        .arg(FromLocal(journal->Path()));
}
