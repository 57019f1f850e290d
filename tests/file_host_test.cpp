// The embedded file host and the program's start on files: round trips, backups, failures.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <csignal>

#include "app/errors.h"
#include "host/file_host.h"
#include "host/image_file.h"
#include "test_support.h"

namespace {

QString Path(const QString& name) { return QDir(TempDir()).filePath(name); }

QImage Sample(int w, int h, bool alpha) {
    QImage img(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba((x * 37) & 255, (y * 11) & 255, (x * y) & 255, alpha ? (x + y * 3) & 255 : 255));
    return img;
}

QString MarloBinary() { return qEnvironmentVariable("MARLO_BINARY_DIR") + "/src/marlo"; }

struct RunResult {
    int exitCode;
    QString stderrText;
};

RunResult RunMarlo(const QStringList& args, int killAfterMs = -1) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(TempDir());
    p.start(MarloBinary(), args);
    EXPECT_TRUE(p.waitForStarted());
    if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs)) ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardError())};
}

}  // namespace

TEST(ImageFile, RoundTripIsByteExactWithAndWithoutAlpha) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha);
        const QString path = Path(alpha ? "rt-alpha.png" : "rt.png");
        const QImage original = Sample(31, 17, alpha);
        ASSERT_TRUE(original.save(path));
        ImageDocument doc;
        QString error;
        ASSERT_TRUE(LoadImageDocument(path, &doc, &error)) << error.toStdString();
        EXPECT_EQ(doc.alpha.empty(), !alpha);
        FileHost host(doc, DefaultPaper(), QString());
        host.Tarn_SaveUndo();
        host.Tarn_SetRbuffer(host.Tarn_GetRBuffer());
        host.Tarn_SetGbuffer(host.Tarn_GetGBuffer());
        host.Tarn_SetBbuffer(host.Tarn_GetBBuffer());
        host.tarn_Refresh();
        const QImage back(path);
        ASSERT_EQ(back.size(), original.size());
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 31; ++x) ASSERT_EQ(back.pixel(x, y), original.pixel(x, y)) << x << "," << y;
        EXPECT_TRUE(QFile::exists(path + "~"));
    }
}

TEST(FileHost, WritesChangesAndKeepsTheFormerFileAsBackup) {
    const QString path = Path("paint.png");
    ASSERT_TRUE(Sample(8, 6, false).save(path));
    const QByteArray before = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    ImageDocument doc;
    QString error;
    ASSERT_TRUE(LoadImageDocument(path, &doc, &error));
    FileHost host(doc, DefaultPaper(), QString());
    Plane red = host.Tarn_GetRBuffer();
    red.at(3, 2) = 201;
    host.Tarn_SaveUndo();
    host.Tarn_SetRbuffer(red);
    host.tarn_Refresh();
    EXPECT_EQ(qRed(QImage(path).pixel(3, 2)), 201);
    QFile backup(path + "~");
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), before);
    // A plane of another size is refused and the file's planes stay.
    EXPECT_THROW(host.Tarn_SetGbuffer(Plane(3, 3)), HostError);
    EXPECT_EQ(host.document().g.width, 8);
}

TEST(FileHost, UntitledNamesAndDefaultPaper) {
    const QString folder = Path("untitled-folder");
    QDir().mkpath(folder);
    EXPECT_TRUE(NewUntitledPath(folder).endsWith("/untitled.png"));
    QFile(folder + "/untitled.png").open(QIODevice::WriteOnly);
    EXPECT_TRUE(NewUntitledPath(folder).endsWith("/untitled-1.png"));
    const Plane a = DefaultPaper(), b = DefaultPaper();
    EXPECT_GT(a.width, 0);
    EXPECT_EQ(a.bytes, b.bytes);  // deterministic
    EXPECT_NE(*std::min_element(a.bytes.begin(), a.bytes.end()), *std::max_element(a.bytes.begin(), a.bytes.end()));
}

TEST(FileHost, LoadFailuresGiveOneLineReasons) {
    QFile text(Path("not-an-image.png"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is no picture");
    text.close();
    QDir().mkpath(Path("a-folder.png"));
    struct Case { const char* name; QString path; const char* words; };
    const Case cases[] = {
        {"missing", Path("missing.png"), "no such file"},
        {"not an image", Path("not-an-image.png"), "not an image"},
        {"a folder", Path("a-folder.png"), "cannot be read"},
    };
    for (const Case& c : cases) {
        ImageDocument doc;
        QString error;
        EXPECT_FALSE(LoadImageDocument(c.path, &doc, &error)) << c.name;
        EXPECT_TRUE(error.contains(c.words)) << c.name << ": " << error.toStdString();
        EXPECT_FALSE(error.contains('\n'));
    }
}

TEST(FileHost, FormatsThatCannotBeWrittenBackAreRefusedAtStart) {
    // Qt reads GIF but does not write it: a 1 x 1 GIF made by hand.
    const QString gif = Path("picture.gif");
    const unsigned char bytes[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF,
                                   0xFF, '!', 0xF9, 4, 1, 0, 0, 0, 0, ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2,
                                   'D', 1, 0, ';'};
    QFile file(gif);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    file.close();
    if (QImageWriter::supportedImageFormats().contains("gif") || QImage(gif).isNull())
        GTEST_SKIP() << "GIF is not read-only here";
    ImageDocument doc;
    QString error;
    EXPECT_FALSE(LoadImageDocument(gif, &doc, &error));
    EXPECT_TRUE(error.contains("cannot write it back")) << error.toStdString();
    EXPECT_FALSE(FormatLossNote(Path("a.jpg")).isEmpty());
    EXPECT_TRUE(FormatLossNote(Path("a.png")).isEmpty());
}

TEST(FileHost, AFailedWriteSavesARescueCopy) {
    const QString folder = Path("vanishing");
    QDir().mkpath(folder);
    const QString path = folder + "/work.png";
    ASSERT_TRUE(Sample(6, 5, false).save(path));
    ImageDocument doc;
    QString error;
    ASSERT_TRUE(LoadImageDocument(path, &doc, &error));
    FileHost host(doc, DefaultPaper(), QString());
    Plane red = host.Tarn_GetRBuffer();
    red.at(1, 1) = 3;
    host.Tarn_SetRbuffer(red);
    ASSERT_TRUE(QDir(folder).removeRecursively());  // the folder is gone: the file cannot be written
    qputenv("HOME", TempDir().toLocal8Bit());
    EXPECT_THROW(host.tarn_Refresh(), HostError);
    const QImage rescued(QDir(TempDir()).filePath("work.marlo-rescue.png"));
    ASSERT_FALSE(rescued.isNull());
    EXPECT_EQ(qRed(rescued.pixel(1, 1)), 3);
}

TEST(MarloProgram, FailedStartsExitNonZeroWithOneLine) {
    ASSERT_TRUE(Sample(4, 4, false).save(Path("ok.png")));
    struct Case { const char* name; QStringList args; const char* words; };
    const Case cases[] = {
        {"missing image", {Path("nothing-here.png")}, "no such file"},
        {"not an image", {Path("not-an-image.png")}, "not an image"},
        {"missing paper", {Path("ok.png"), "--paper", Path("no-paper.png")}, "no-paper.png"},
        {"two images", {Path("ok.png"), Path("ok.png")}, "only one IMAGE"},
        {"unknown option", {"--frobnicate"}, "frobnicate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = RunMarlo(c.args);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(r.stderrText.contains(c.words)) << r.stderrText.toStdString();
        // One line of ours (the platform may add its own notes).
        EXPECT_EQ(r.stderrText.count(QStringLiteral("marlo:")), 1) << r.stderrText.toStdString();
    }
}

TEST(MarloProgram, ClosingWritesTheUnchangedImageBack) {
    const QString path = Path("closing.png");
    const QImage original = Sample(40, 30, true);
    ASSERT_TRUE(original.save(path));
    const RunResult r = RunMarlo({path}, 1500);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(QFile::exists(path + "~"));
    const QImage back(path);
    ASSERT_EQ(back.size(), original.size());
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(back.pixel(x, y), original.pixel(x, y));
}

TEST(MarloProgram, HelpAndVersion) {
    EXPECT_EQ(RunMarlo({"--version"}).exitCode, 0);
    EXPECT_EQ(RunMarlo({"--help"}).exitCode, 0);
}
