// A painting survives the death of its process: a real Marlo session (RunMarlo on a file,
// painted with real pointer events and palette clicks) is killed with SIGKILL, and the real
// `marlo --recover`, or the next start on the same file, rebuilds exactly what was painted.
// The sessions run as this program started again for one role.
#include <gtest/gtest.h>
#include <sys/mount.h>
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <csignal>

#include "app/qt/application.h"
#include "app/qt/command_line.h"
#include "canvas/qt/form1.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "journal/journal.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "qt_test_support.h"

namespace {

uint64_t DigestOf(const Plane& r, const Plane& g, const Plane& b) {
    uint64_t h = 0;
    for (const Plane* p : {&r, &g, &b}) h = XXH64(p->bytes.data(), p->bytes.size(), h);
    return h;
}

uint64_t DigestNow() { return DigestOf(Module1.RPlane, Module1.GPlane, Module1.BPlane); }

uint64_t DigestOfFile(const QString& path) {
    QImage image(path);
    image = image.convertToFormat(QImage::Format_RGB32);
    Plane r(image.width(), image.height()), g = r, b = r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            r.at(x, y) = qRed(c), g.at(x, y) = qGreen(c), b.at(x, y) = qBlue(c);
        }
    return DigestOf(r, g, b);
}

Form1* Canvas() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<Form1*>(w)) return f;
    return nullptr;
}

void Stroke(Form1* window, QPoint from, QPoint step, int moves) {
    QWidget* view = window->view();
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= moves; ++i) QTest::mouseMove(view, from + step * i + QPoint(0, i % 3));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, from + step * moves);
}

void Press(kt_button* button) {
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
}

// The painting, an operation at a time: brush kinds by their buttons, settings changed between
// and within strokes, undo and clear by theirs.
const std::vector<std::function<void(Form1*, Form2*)>> kOperations = {
    [](Form1* w, Form2*) {
        Stroke(w, {10, 10}, {4, 2}, 20);
    },
    [](Form1* w, Form2* p) {
        Press(p->kt_button9);  // Water brush
        Module1.BrushSize = 9;
        Stroke(w, {20, 60}, {5, -1}, 16);
    },
    [](Form1* w, Form2* p) {
        Press(p->kt_button7);  // Gel brush
        Module1.ColorR = 200, Module1.PaperStrength = 120;
        Stroke(w, {90, 10}, {-2, 5}, 18);
    },
    [](Form1*, Form2* p) { Press(p->kt_button1); },  // Undo
    [](Form1* w, Form2* p) {
        Press(p->kt_button6);  // Ink
        Module1.BrushOpacity = 90;
        Stroke(w, {5, 90}, {6, -3}, 22);
    },
    [](Form1*, Form2* p) { Press(p->kt_button2); },  // Clear
    [](Form1* w, Form2* p) {
        Press(p->kt_button8);  // Pen
        Module1.BrushSize = 4, Module1.StampSpacing = 40, Module1.ColorG = 180;
        Stroke(w, {30, 30}, {3, 3}, 25);
    },
    [](Form1* w, Form2*) {
        Stroke(w, {100, 80}, {-5, -2}, 15);
    },
};

// Each operation's result as the session's digest line: "op K DIGEST", once the journal has it.
void PaintAndReport() {
    Form1* window = Canvas();
    auto* palette = window ? dynamic_cast<Form2*>(window->palette()) : nullptr;
    if (!palette) {
        std::printf("no canvas\n");
        std::fflush(stdout);
        return;
    }
    const int upTo = qEnvironmentVariableIntValue("MARLO_RECOVERY_OPS");
    std::printf("op 0 %llx\n", static_cast<unsigned long long>(DigestNow()));
    for (int k = 0; k < upTo; ++k) {
        kOperations[k](window, palette);
        if (auto* journal = dynamic_cast<Journal*>(Wiring.Journal)) journal->Drain();
        QCoreApplication::processEvents();  // the event loop's turn between two operations
        std::printf("op %d %llx\n", k + 1, static_cast<unsigned long long>(DigestNow()));
        std::fflush(stdout);
    }
    std::fflush(stdout);
}

struct Session {
    QString folder;  // holds paint.png, state/ and data/
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", folder + "/state");
        env.insert("XDG_DATA_HOME", folder + "/data");
        env.insert("TMPDIR", folder + "/tmp");
        return env;
    }
};

Session NewSession(const char* name) {
    Session s{QDir(TempDir()).filePath(name)};
    QDir(s.folder).removeRecursively();
    QDir().mkpath(s.folder);
    QImage image(120, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 120; ++x) image.setPixel(x, y, qRgb(x * 2, y * 2, (x + y) & 0xFF));
    EXPECT_TRUE(image.save(s.folder + "/paint.png"));
    return s;
}

// Starts this program as a session on the folder's paint.png; role: "paint" paints ops,
// "resume" answers the recovery question with Yes, then undoes once.
void StartChild(QProcess& child, const Session& s, const char* role, int ops) {
    QProcessEnvironment env = s.Env();
    env.insert("MARLO_RECOVERY_ROLE", role);
    env.insert("MARLO_RECOVERY_IMAGE", s.folder + "/paint.png");
    env.insert("MARLO_RECOVERY_OPS", QString::number(ops));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=Recovery.Session"});
    ASSERT_TRUE(child.waitForStarted());
}

// The digest after each operation, from a session on s painted to the end (then killed);
// what it said on stderr goes to *said.
std::vector<QByteArray> PaintedDigests(const Session& s, QByteArray* said = nullptr) {
    QProcess child;
    StartChild(child, s, "paint", static_cast<int>(kOperations.size()));
    QByteArray out;
    EXPECT_TRUE(WaitForOutput(child, &out, QString("op %1 ").arg(kOperations.size()).toLatin1()));
    SignalProcess(child, SIGKILL);
    child.waitForFinished();
    out += child.readAllStandardOutput();
    if (said) *said = child.readAllStandardError();
    std::vector<QByteArray> digests;
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith("op ")) digests.push_back(line.split(' ').value(2));
    return digests;
}

std::vector<QByteArray> ReferenceDigests() {
    return PaintedDigests(NewSession("recovery-reference"));
}

}  // namespace

// Run by the tests below with MARLO_RECOVERY_ROLE set.
TEST(Recovery, Session) {
    const QByteArray role = qgetenv("MARLO_RECOVERY_ROLE");
    if (role.isEmpty()) GTEST_SKIP() << "run by the recovery tests";
    CommandLine cl;
    cl.image = qEnvironmentVariable("MARLO_RECOVERY_IMAGE");
    QString question;
    Wiring.MessageBoxHook = [&question](const QString& text, bool) {
        question = text;
        return true;
    };
    QTimer::singleShot(0, [&] {
        if (role == "paint") {
            PaintAndReport();
            return;
        }
        std::printf("asked %s\nop %llx\n", qPrintable(question),
                    static_cast<unsigned long long>(DigestNow()));
        if (Form1* window = Canvas()) QTest::keyClick(window->view(), Qt::Key_U);
        std::printf("undone %llx\n", static_cast<unsigned long long>(DigestNow()));
        std::fflush(stdout);
        if (Form1* window = Canvas()) window->close();
    });
    RunMarlo(cl);
}

// Killed after each of a few operations: `marlo --recover` saves exactly what the session had
// painted (or that and the operation under way), and the next start on the file offers the
// painting back with its undo steps.
TEST(Recovery, AKilledSessionIsRebuiltByteForByte) {
    const std::vector<QByteArray> digests = ReferenceDigests();
    ASSERT_EQ(digests.size(), kOperations.size() + 1);
    for (int killAfter : {4, 5, 7}) {
        SCOPED_TRACE(killAfter);
        const Session s = NewSession("recovery-killed");
        QProcess child;
        // It stops after the next operation, so the kill finds it in that one or done with it.
        StartChild(child, s, "paint", std::min<int>(killAfter + 1, kOperations.size()));
        QByteArray out;
        ASSERT_TRUE(WaitForOutput(child, &out, QString("op %1 ").arg(killAfter).toLatin1()));
        SignalProcess(child, SIGKILL);
        child.waitForFinished();
        out += child.readAllStandardOutput();
        // The painting it had when killed, or that and the operation after.
        const int reported = killAfter;
        const QList<QByteArray> possible = {
            digests[reported], digests[std::min<size_t>(reported + 1, digests.size() - 1)]};
        if (killAfter == 4) {
            // The next start on the same file: asked, rebuilt, and its undo steps are there.
            QProcess again;
            StartChild(again, s, "resume", 0);
            ASSERT_TRUE(again.waitForFinished(120000));
            const QByteArray said = again.readAllStandardOutput();
            EXPECT_TRUE(said.contains("asked Marlo ended unexpectedly on ")) << said.toStdString();
            QByteArray rebuilt, undone;
            for (const QByteArray& line : said.split('\n')) {
                if (line.startsWith("op ")) rebuilt = line.mid(3);
                if (line.startsWith("undone ")) undone = line.mid(7);
            }
            // Killed after the undo (op 4) or in the stroke after it (op 5): an undo then takes
            // back op 2's stroke or op 5's.
            EXPECT_TRUE(rebuilt == digests[4] || rebuilt == digests[5]) << said.toStdString();
            EXPECT_EQ(undone, rebuilt == digests[4] ? digests[1] : digests[4]);
            continue;
        }
        QProcess recover;
        recover.setProcessEnvironment(s.Env());
        recover.start(qEnvironmentVariable("MARLO_BINARY_DIR") + "/src/marlo", {"--recover"});
        ASSERT_TRUE(recover.waitForFinished(120000));
        const QString said = QString::fromLocal8Bit(recover.readAllStandardOutput());
        EXPECT_EQ(recover.exitCode(), 0);
        const QString saved = said.section(QStringLiteral(" was saved as "), 1).trimmed();
        ASSERT_FALSE(saved.isEmpty()) << said.toStdString();
        const QByteArray got = QByteArray::number(static_cast<qulonglong>(DigestOfFile(saved)), 16);
        EXPECT_TRUE(possible.contains(got)) << got.toStdString() << " after op " << reported;
        EXPECT_TRUE(QDir(s.folder + "/state/marlo/journal").isEmpty());
    }
}

// A journal that cannot be written (its folder cannot be made) is said once, and the painting
// goes on exactly as with one.
TEST(Recovery, NoJournalIsSaidOnceAndPaintingGoesOn) {
    const std::vector<QByteArray> digests = ReferenceDigests();
    Session s = NewSession("recovery-nojournal");
    QFile blocker(s.folder + "/state");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the state folder would be
    blocker.close();
    QByteArray said;
    EXPECT_EQ(PaintedDigests(s, &said), digests);
    EXPECT_EQ(said.count("The journal that keeps the painting safe"), 1) << said.toStdString();
}

// A journal whose disk fills while the painter paints: said once, and the painting goes on.
TEST(Recovery, AFullDiskIsSaidOnceAndPaintingGoesOn) {
    const std::vector<QByteArray> digests = ReferenceDigests();
    const Session s = NewSession("recovery-full");
    if (!MountTmpfs(s.folder + "/state", "size=12k"))
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    QByteArray said;
    EXPECT_EQ(PaintedDigests(s, &said), digests);
    EXPECT_EQ(said.count("cannot be written any more"), 1) << said.toStdString();
}

// A signal's close with nowhere at all to write (the image's folder, the data folder and the
// temporary folder read-only): the painting stays in the journal for the next start.
TEST(Recovery, ASignalWithNowhereToWriteLeavesThePaintingInTheJournal) {
    Session s{QDir(TempDir()).filePath("recovery-nowhere")};
    if (!MountTmpfs(s.folder, "size=1m")) GTEST_SKIP() << "tmpfs cannot be mounted here";
    const QByteArray original = [&] {
        const Session made = NewSession("recovery-nowhere/made");
        QFile::rename(made.folder + "/paint.png", s.folder + "/paint.png");
        QFile file(s.folder + "/paint.png");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_TRUE(MountTmpfs(s.folder + "/state", "size=1m") && MakeReadOnly(s.folder));
    QProcess child;
    StartChild(child, s, "paint", 2);
    QByteArray out;
    ASSERT_TRUE(WaitForOutput(child, &out, "op 2 "));
    SignalProcess(child, SIGTERM);
    ASSERT_TRUE(child.waitForFinished(60000));
    QFile image(s.folder + "/paint.png");
    EXPECT_TRUE(image.open(QIODevice::ReadOnly) && image.readAll() == original);
    EXPECT_EQ(QDir(s.folder + "/state/marlo/journal").entryList({"*.journal"}).size(), 1)
        << child.readAllStandardError().toStdString();
    for (const QString& mounted : {s.folder + "/state", s.folder})
        ::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH);
}
