// marlo-gimp inside a real GIMP 2.10 in batch mode: GIMP gets a profile of its own in a temporary
// folder whose plug-in path holds only Script-Fu, the PNG plug-in and marlo-gimp. Script-Fu
// loads a PNG, names its layer after the case, runs plug-in-marlo on it and saves the result; the
// result is compared pixel by pixel. Marlo is the scripted client (gimp_test_client, which runs
// Marlo's engine for the case "merge"), the real `marlo --dbus` closed by SIGTERM, or nobody when
// another host holds the name.
#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>

#include "gimp_test_change.h"

namespace {

QString Built(const QString& path) {
    return qEnvironmentVariable("MARLO_BINARY_DIR") + QLatin1Char('/') + path;
}

// Straight colour with an alpha that varies (8 or 16 bits a channel, the 16-bit values off the
// 8-bit steps), or grey without alpha.
QImage Input(QImage::Format format, QSize size) {
    QImage image(size, format);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (format == QImage::Format_Grayscale8)
                image.scanLine(y)[x] = static_cast<uchar>(x * 15 + y * 9);
            else if (format == QImage::Format_RGBA64)
                image.setPixelColor(
                    x, y,
                    QColor::fromRgba64(QRgba64::fromRgba64(
                        (x * 4099 + y * 733) & 0xFFFF, (x * 1021 + y * 7919) & 0xFFFF,
                        (x * 3001) ^ (y * 211), 16000 + x * 1999 + y * 997)));
            else
                image.setPixel(x, y,
                               qRgba((x * 37 + y * 11) & 255, (x * 5 + y * 29) & 255,
                                     (x * 13) ^ (y * 7), 64 + ((x * 9 + y * 17) & 127)));
        }
    return image;
}

// A 16-bit channel as GIMP shows it in 8 bits: the nearest.
uint8_t To8(uint16_t v) { return static_cast<uint8_t>((v * 2 + 257) / 514); }

enum class Marlo { Client, Real, NameTaken };
// Merged: the known change painted by Marlo's engine while GIMP changed the layer (OtherChange);
// both come back, the painting where the two overlap. Rescued: the layer was removed while Marlo
// painted; the painting is in a rescue copy.
enum class Expect { KnownChange, Merged, Unchanged, Refused, Rescued };

const char kTaken[] = "another host already owns the name Tarnwick.Tarnwick_Class";
// Under the 1 MiB the refusing run gives Marlo: refused before the name is tried.
const char kNoRoom[] =
    "The layer of 600 x 500 pixels is too large: the plug-in needs about 1.1 MiB "
    "of memory for it and [0-9]+ KiB is available \\(the limit MARLO_MEMORY_MB "
    "sets\\)\\.";

struct Case {
    const char* name;
    Marlo marlo;  // the cases of one kind share one GIMP run
    QImage::Format format;
    QRect selection;  // empty: none
    Expect expect;
    const char* said = "";  // a pattern GIMP's messages match when refused
    QSize size = {16, 10};
};

struct GimpRun {
    QString output;
    bool finished = false;
};

// Runs GIMP once in batch mode over `cases`; `meanwhile` runs while GIMP does.
GimpRun RunGimp(const QTemporaryDir& dir, const std::vector<const Case*>& cases,
                const QProcessEnvironment& env, const std::function<void()>& meanwhile = {}) {
    QString script = QStringLiteral(
        "(define (marlo-case name in out sel x y w h)"
        "  (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE in in)))"
        "         (layer (car (gimp-image-get-active-drawable image))))"
        "    (gimp-item-set-name layer name)"
        "    (if sel (gimp-image-select-rectangle image CHANNEL-OP-REPLACE x y w h))"
        "    (gimp-image-clean-all image)"
        "    (catch (gimp-message (string-append \"marlo-case \" name \": failed\"))"
        "      (plug-in-marlo RUN-NONINTERACTIVE image layer)"
        "      (gimp-message (string-append \"marlo-case \" name \": returned, dirty \""
        "                                   (number->string (car (gimp-image-is-dirty image))))))"
        "    (if (= TRUE (car (gimp-item-is-valid layer)))"
        "        (gimp-file-save RUN-NONINTERACTIVE image layer out out))"
        "    (gimp-image-delete image)))"
        "(let ((info (gimp-pattern-get-info (car (gimp-context-get-pattern)))))"
        "  (gimp-message (string-append \"marlo-pattern \" (number->string (car info)) \"x\""
        "                               (number->string (cadr info)))))");
    for (const Case* c : cases) {
        const QRect s = c->selection;
        script += QStringLiteral("(marlo-case \"%1\" \"%2\" \"%3\" %4 %5 %6 %7 %8)")
                      .arg(QLatin1String(c->name),
                           dir.filePath(QLatin1String(c->name) + QStringLiteral("-in.png")),
                           dir.filePath(QLatin1String(c->name) + QStringLiteral("-out.png")),
                           s.isEmpty() ? QStringLiteral("#f") : QStringLiteral("#t"))
                      .arg(s.x())
                      .arg(s.y())
                      .arg(s.width())
                      .arg(s.height());
    }
    QProcess gimp;
    gimp.setProcessEnvironment(env);
    gimp.setProcessChannelMode(QProcess::MergedChannels);
    gimp.start(
        QStringLiteral("gimp"),
        {QStringLiteral("-i"), QStringLiteral("-f"), QStringLiteral("--console-messages"),
         QStringLiteral("-b"), script, QStringLiteral("-b"), QStringLiteral("(gimp-quit 0)")});
    GimpRun run;
    if (!gimp.waitForStarted(30000)) return run;
    if (meanwhile) meanwhile();
    run.finished = gimp.waitForFinished(90000);
    if (!run.finished) gimp.kill(), gimp.waitForFinished();
    run.output = QString::fromLocal8Bit(gimp.readAll());
    return run;
}

// Marlo's process, once it runs its event loop: it answers PrefsCallback on its canvas window.
void WaitForMarloThenTerminate(const QString& pidFile) {
    QElapsedTimer timer;
    timer.start();
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    while (timer.elapsed() < 60000) {
        QThread::msleep(100);
        QFile file(pidFile);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const uint pid = file.readAll().trimmed().toUInt();
        for (const QString& name : bus->registeredServiceNames().value()) {
            if (!name.startsWith(QLatin1Char(':')) || bus->servicePid(name).value() != pid)
                continue;
            const QDBusMessage reply = QDBusConnection::sessionBus().call(
                QDBusMessage::createMethodCall(name, QStringLiteral("/Form1"),
                                               QStringLiteral("Marlo.Form1"),
                                               QStringLiteral("PrefsCallback")),
                QDBus::Block, 5000);
            if (reply.type() != QDBusMessage::ReplyMessage) continue;
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            return;
        }
    }
    ADD_FAILURE() << "marlo --dbus did not come up under GIMP";
}

// The layer as it must come back: the known change inside the selection, the rest as it was.
// A channel the change leaves at its 8-bit value keeps its stored value, all 16 bits of it.
QImage Expected(const Case& c, const QImage& in) {
    if (c.expect != Expect::KnownChange && c.expect != Expect::Merged) return in;
    QImage out = in;
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) {
            if (c.expect == Expect::Merged && InOtherChange(x, y) && !InKnownChange(x, y)) {
                uint8_t r = 0, g = 0, b = 0;
                OtherChange(&r, &g, &b);
                out.setPixel(x, y, qRgba(r, g, b, qAlpha(in.pixel(x, y))));
                continue;
            }
            if (!InKnownChange(x, y) || (!c.selection.isEmpty() && !c.selection.contains(x, y)))
                continue;
            const QRgba64 p = in.pixelColor(x, y).rgba64();
            const uint16_t stored[3] = {p.red(), p.green(), p.blue()};
            uint8_t seen[3], painted[3];
            for (int i = 0; i < 3; ++i) seen[i] = painted[i] = To8(stored[i]);
            KnownChange(x, y, &painted[0], &painted[1], &painted[2]);
            if (in.format() == QImage::Format_Grayscale8) {
                out.scanLine(y)[x] =
                    static_cast<uchar>((painted[0] + painted[1] + painted[2] + 1) / 3);
                continue;
            }
            uint16_t now[3];
            for (int i = 0; i < 3; ++i)
                now[i] = painted[i] == seen[i] ? stored[i] : painted[i] * 257;
            out.setPixelColor(
                x, y, QColor::fromRgba64(QRgba64::fromRgba64(now[0], now[1], now[2], p.alpha())));
        }
    return out;
}

// Every channel of every pixel, at 16 bits.
void ExpectSamePixels(const QImage& got, const QImage& want) {
    ASSERT_EQ(got.size(), want.size());
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            ASSERT_EQ(got.pixelColor(x, y).rgba64(), want.pixelColor(x, y).rgba64())
                << "at " << x << ", " << y;
}

TEST(GimpPlugin, RunsMarloOnTheLayerAndTakesBackExactlyWhatChanged) {
    if (QStandardPaths::findExecutable(QStringLiteral("gimp")).isEmpty())
        GTEST_SKIP() << "GIMP is not installed (apt-get install gimp): the plug-in cannot be run";
    const std::vector<Case> cases = {
        {"rgba", Marlo::Client, QImage::Format_ARGB32, {}, Expect::KnownChange},
        {"selection", Marlo::Client, QImage::Format_ARGB32, QRect(9, 4, 6, 4), Expect::KnownChange},
        {"grey", Marlo::Client, QImage::Format_Grayscale8, {}, Expect::KnownChange},
        {"rgba16", Marlo::Client, QImage::Format_RGBA64, {}, Expect::KnownChange},
        {"merge", Marlo::Client, QImage::Format_ARGB32, {}, Expect::Merged},
        {"layer-gone", Marlo::Client, QImage::Format_ARGB32, {}, Expect::Rescued},
        {"real-marlo", Marlo::Real, QImage::Format_RGBA64, {}, Expect::Unchanged},
        {"name-taken", Marlo::NameTaken, QImage::Format_ARGB32, {}, Expect::Refused, kTaken},
        {"big", Marlo::NameTaken, QImage::Format_ARGB32, {}, Expect::Refused, kNoRoom, {600, 500}},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // GIMP's own profile, with a plug-in path of three plug-ins: start-up takes about a second.
    QDir root(dir.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("profile/gradients")) &&
                root.mkpath(QStringLiteral("plug-ins")) && root.mkpath(QStringLiteral("report")));
    for (const char* plugIn : {"script-fu", "file-png"})
        ASSERT_TRUE(QFile::link(QStringLiteral(MARLO_GIMP_PLUGIN_DIR "/") + QLatin1String(plugIn),
                                dir.filePath(QStringLiteral("plug-ins/") + QLatin1String(plugIn))));
    for (const char* plugIn : {"marlo-gimp", "marlo-test-gimp-side"})
        ASSERT_TRUE(QFile::link(Built(QStringLiteral("gimp-plug-in/") + QLatin1String(plugIn)),
                                dir.filePath(QStringLiteral("plug-ins/") + QLatin1String(plugIn))));
    {
        QFile rc(dir.filePath(QStringLiteral("profile/gimprc")));
        ASSERT_TRUE(rc.open(QIODevice::WriteOnly));
        rc.write(QStringLiteral("(plug-in-path \"%1\")\n")
                     .arg(dir.filePath(QStringLiteral("plug-ins")))
                     .toUtf8());
    }
    // The real Marlo, by way of a script that leaves its process id behind.
    const QString pidFile = dir.filePath(QStringLiteral("marlo.pid"));
    const QString realMarlo = dir.filePath(QStringLiteral("marlo.sh"));
    {
        QFile sh(realMarlo);
        ASSERT_TRUE(sh.open(QIODevice::WriteOnly));
        sh.write(QStringLiteral("#!/bin/sh\necho $$ > '%1'\nexec '%2' \"$@\"\n")
                     .arg(pidFile, Built(QStringLiteral("src/marlo")))
                     .toUtf8());
        sh.setPermissions(sh.permissions() | QFile::ExeOwner);
    }
    for (const Case& c : cases)
        ASSERT_TRUE(Input(c.format, c.size)
                        .save(dir.filePath(QLatin1String(c.name) + QStringLiteral("-in.png"))));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GIMP2_DIRECTORY"), dir.filePath(QStringLiteral("profile")));
    env.insert(QStringLiteral("MARLO_TEST_REPORT"), dir.filePath(QStringLiteral("report")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    std::map<Marlo, GimpRun> runs;
    for (Marlo marlo : {Marlo::Client, Marlo::Real, Marlo::NameTaken}) {
        std::vector<const Case*> group;
        for (const Case& c : cases)
            if (c.marlo == marlo) group.push_back(&c);
        QProcessEnvironment e = env;
        std::function<void()> meanwhile;
        if (marlo == Marlo::Client) {
            e.insert(QStringLiteral("MARLO_EXECUTABLE"),
                     Built(QStringLiteral("tests/gimp_test_client")));
            // GIMP without a session bus: the plug-in brings a bus of its own.
            e.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                     QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("no-bus")));
        } else if (marlo == Marlo::Real) {
            e.insert(QStringLiteral("MARLO_EXECUTABLE"), realMarlo);
            meanwhile = [&] { WaitForMarloThenTerminate(pidFile); };
        } else {
            e.insert(QStringLiteral("MARLO_EXECUTABLE"),
                     Built(QStringLiteral("tests/gimp_test_client")));
            e.insert(QStringLiteral("MARLO_MEMORY_MB"), QStringLiteral("1"));
            ASSERT_TRUE(QDBusConnection::sessionBus().registerService(
                QStringLiteral("Tarnwick.Tarnwick_Class")));
        }
        runs[marlo] = RunGimp(dir, group, e, meanwhile);
        if (marlo == Marlo::NameTaken)
            QDBusConnection::sessionBus().unregisterService(
                QStringLiteral("Tarnwick.Tarnwick_Class"));
        ASSERT_TRUE(runs[marlo].finished) << runs[marlo].output.toStdString();
        for (const char* fault : {"inconsistent", "Sanitizer", "runtime error", "crashed"})
            EXPECT_FALSE(runs[marlo].output.contains(QLatin1String(fault)))
                << runs[marlo].output.toStdString();
    }

    int clientRun = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString& output = runs[c.marlo].output;
        const QImage in = Input(c.format, c.size);
        if (c.expect == Expect::Rescued) {
            // The known change on the layer's colour, as Marlo saw it.
            const QString said = QStringLiteral("client: The painting was saved as ");
            const qsizetype at = output.indexOf(said);
            ASSERT_GE(at, 0) << output.toStdString();
            const QString rescue =
                output.mid(at + said.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
            QImage want = in.convertToFormat(QImage::Format_RGB32);
            for (int y = kChangeY0; y < kChangeY1; ++y)
                for (int x = kChangeX0; x < kChangeX1; ++x) {
                    const QRgb p = want.pixel(x, y);
                    uint8_t r = qRed(p), g = qGreen(p), b = qBlue(p);
                    KnownChange(x, y, &r, &g, &b);
                    want.setPixel(x, y, qRgb(r, g, b));
                }
            ExpectSamePixels(QImage(rescue).convertToFormat(QImage::Format_RGB32), want);
            ++clientRun;
            continue;
        }
        ExpectSamePixels(QImage(dir.filePath(QLatin1String(c.name) + QStringLiteral("-out.png")))
                             .convertToFormat(c.format),
                         Expected(c, in));
        const QString done = QStringLiteral("marlo-case %1: ").arg(QLatin1String(c.name));
        if (c.expect == Expect::Refused) {
            EXPECT_TRUE(output.contains(done + QStringLiteral("failed"))) << output.toStdString();
            EXPECT_TRUE(output.contains(QRegularExpression(QLatin1String(c.said))))
                << output.toStdString();
            continue;
        }
        // One write-back, and the image is dirty from it; Marlo closed without painting writes
        // nothing, and the image stays clean: no undo step in GIMP.
        const bool written = c.expect != Expect::Unchanged;
        EXPECT_TRUE(output.contains(done + QStringLiteral("returned, dirty %1").arg(written)))
            << output.toStdString();
        if (c.expect == Expect::Merged) {
            EXPECT_TRUE(output.contains(
                QStringLiteral(
                    "client: asked \"%1 was changed in GIMP while you painted; your strokes will "
                    "replace those pixels. Write?\"")
                    .arg(QLatin1String(kMergeLayer))))
                << output.toStdString();
        }
        if (c.marlo != Marlo::Client) continue;
        // What the client read: the layer's colour (a grey layer three times) and the pattern as
        // paper.
        ++clientRun;
        QImage seen(in.size(), QImage::Format_RGB32);
        for (int y = 0; y < in.height(); ++y)
            for (int x = 0; x < in.width(); ++x) {
                const QRgba64 p = in.pixelColor(x, y).rgba64();
                seen.setPixel(x, y, qRgb(To8(p.red()), To8(p.green()), To8(p.blue())));
            }
        const QImage read(dir.filePath(QStringLiteral("report/read-%1.png").arg(clientRun)));
        ExpectSamePixels(read.convertToFormat(QImage::Format_RGB32), seen);
        const QImage paper(dir.filePath(QStringLiteral("report/paper-%1.png").arg(clientRun)));
        EXPECT_TRUE(output.contains(
            QStringLiteral("marlo-pattern %1x%2").arg(paper.width()).arg(paper.height())))
            << output.toStdString();
    }
    EXPECT_FALSE(
        QFile::exists(dir.filePath(QStringLiteral("report/read-%1.png").arg(clientRun + 1))));
}

}  // namespace
