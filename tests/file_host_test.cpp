// The embedded file host and the program's start on files: the write-back rules with faults
// made for real (folders in the way, read-only and full file systems), the kinds of input, and
// the program's exit on signals and failures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>
#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QtEndian>
#include <csignal>

#include "app/qt/command_line.h"
#include "app/qt/make_host.h"
#include "core/errors.h"
#include "host/qt/file_host.h"
#include "host/qt/file_name.h"
#include "host/qt/image_file.h"
#include "qt_test_support.h"

namespace {

QString Path(const QString& name) { return QDir(TempDir()).filePath(name); }

QImage Sample(int w, int h, bool alpha) {
    QImage img(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         qRgba((x * 37) & 255, (y * 11) & 255, (x * y) & 255,
                               alpha ? (x + y * 3) & 255 : 255));
    return img;
}

// Through the file's own bytes, so any name the file system holds will do.
QByteArray Bytes(const QString& path) {
    QFile f;
    const int fd = ::open(NativeName(path).constData(), O_RDONLY | O_CLOEXEC);
    return f.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle) ? f.readAll() : QByteArray();
}

mode_t Mode(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f;
    const int fd =
        ::open(NativeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_TRUE(f.open(fd, QIODevice::WriteOnly, QFile::AutoCloseHandle));
    f.write(bytes);
}

FileHost Open(const QString& path) {
    ImageDocument doc;
    QString error;
    EXPECT_TRUE(LoadImageDocument(path, &doc, &error)) << error.toStdString();
    return FileHost(std::move(doc), DefaultPaper(), QString());
}

// Sends the host's image back with pixel (x, y) of the red plane set to v.
void SendWithRed(FileHost& host, int x, int y, uint8_t v) {
    Plane red = host.Tarn_GetRBuffer();
    red.at(x, y) = v;
    host.Tarn_SaveUndo();
    host.Tarn_SetRbuffer(red);
    host.Tarn_SetGbuffer(host.Tarn_GetGBuffer());
    host.Tarn_SetBbuffer(host.Tarn_GetBBuffer());
    host.tarn_Refresh();
}

// img encoded in format, with segment (a JPEG's, framed) after Qt's JFIF header.
QByteArray Encoded(const QImage& img, const char* format, const QByteArray& segment = {}) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(img.save(&buffer, format, 95));
    return bytes.insert(20, segment);
}

QByteArray JpegSegment(uchar marker, const QByteArray& data) {
    const int n = static_cast<int>(data.size()) + 2;
    return QByteArray{"\xFF"} + char(marker) + char(n >> 8) + char(n & 255) + data;
}

QByteArray BigEndian32(quint32 v) {
    QByteArray b(4, 0);
    qToBigEndian(v, b.data());
    return b;
}

// A PNG chunk: length, type, data and the CRC-32 of type and data.
QByteArray PngChunk(const char* type, const QByteArray& data) {
    const QByteArray typed = type + data;
    return BigEndian32(data.size()) + typed +
           BigEndian32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), typed.size()));
}

// An animated PNG of `frames` frames of 8 x 6, the first its default image, all of the same
// pixels (the IDAT of Qt's PNG).
QByteArray AnimatedPng(int frames) {
    const QByteArray png = Encoded(Sample(8, 6, false), "png");
    const qsizetype idat = png.indexOf("IDAT") - 4;
    const QByteArray pixels = png.mid(idat + 8, qFromBigEndian<quint32>(png.constData() + idat));
    QByteArray out = png.left(idat) + PngChunk("acTL", BigEndian32(frames) + QByteArray(4, 0));
    // fcTL after its sequence number: 8 x 6 at (0, 0), shown 1/10 s, no disposal, no blending.
    const QByteArray control("\0\0\0\x08\0\0\0\x06\0\0\0\0\0\0\0\0\0\x01\0\x0a\0\0", 22);
    for (quint32 f = 0, seq = 0; f < quint32(frames); ++f) {
        out += PngChunk("fcTL", BigEndian32(seq++) + control);
        out += f == 0 ? PngChunk("IDAT", pixels) : PngChunk("fdAT", BigEndian32(seq++) + pixels);
    }
    return out + PngChunk("IEND", {});
}

// An icon file with one PNG picture for each size.
QByteArray IconOfSizes(const QList<int>& sizes) {
    QByteArray head(6, 0), pictures;
    head[2] = 1;
    head[4] = char(sizes.size());
    quint32 at = 6 + 16 * quint32(sizes.size());
    for (int s : sizes) {
        const QByteArray png = Encoded(Sample(s, s, true), "png");
        QByteArray entry(16, 0);
        entry[0] = entry[1] = char(s & 255);  // 0 for 256
        entry[4] = 1;
        entry[6] = 32;
        qToLittleEndian<quint32>(png.size(), entry.data() + 8);
        qToLittleEndian<quint32>(at + pictures.size(), entry.data() + 12);
        head += entry;
        pictures += png;
    }
    return head + pictures;
}

QString MarloBinary() { return qEnvironmentVariable("MARLO_BINARY_DIR") + "/src/marlo"; }

struct RunResult {
    int exitCode;
    QString stderrText;
};

// Runs marlo in folder; with signal, sends it once marlo says its windows are up (after
// beforeSignal runs).
RunResult RunMarlo(const QStringList& args, int signal = 0,
                   const std::function<void()>& beforeSignal = {},
                   const QString& folder = TempDir(), const QString& program = MarloBinary()) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", Path("xdg-data"));
    if (signal != 0) env.insert("MARLO_SAY_READY", "1");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted());
    QByteArray err;
    if (signal != 0 && WaitForOutput(p, &err, "marlo: ready\n", QProcess::StandardError)) {
        if (beforeSignal) beforeSignal();
        SignalProcess(p, signal);
    }
    EXPECT_TRUE(p.waitForFinished(60000));
    err += p.readAllStandardError();
    err.replace("marlo: ready\n", "");
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(err)};
}

// A case of an input that is refused with a reason holding `words`.
template <typename Input>
struct Refusal {
    const char* name;
    Input input;
    const char* words;
};

}  // namespace

// Pixels come back exactly: with alpha, transparent pixels are shown over white, a painted one
// comes back opaque with its new colour and every other keeps its original RGBA. The taller
// picture is deflated in bands, one per processor, joined into one stream, and decoded into
// memory of our own (over 4 MiB).
TEST(ImageFile, RoundTripKeepsEveryUnpaintedPixelExactly) {
    for (const auto& [w, h] : {std::pair{31, 17}, std::pair{1030, 1100}})
        for (bool alpha : {false, true}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << (alpha ? " alpha" : ""));
            const QString path = Path(alpha ? "rt-alpha.png" : "rt.png");
            QFile::remove(path);
            QFile::remove(path + "~");
            const QImage original = Sample(w, h, alpha);
            ASSERT_TRUE(original.save(path));
            FileHost host = Open(path);
            EXPECT_EQ(host.document().alpha.empty(), !alpha);
            // (0, 0) has alpha 0: the canvas sees white there.
            EXPECT_EQ(host.Tarn_GetRBuffer().at(0, 0), alpha ? 255 : 0);
            SendWithRed(host, 0, 0, 7);
            const QImage back = QImage(path).convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(back.size(), original.size());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const QRgb want =
                        x == 0 && y == 0
                            ? qRgba(7, qGreen(alpha ? 0xFFFFFFFF : original.pixel(0, 0)),
                                    qBlue(alpha ? 0xFFFFFFFF : original.pixel(0, 0)), 255)
                            : original.pixel(x, y);
                    ASSERT_EQ(back.pixel(x, y), want) << x << "," << y;
                }
        }
}

// The write-back rules, each with its fault made for real.
TEST(FileHost, WriteBackRules) {
    struct Case {
        const char* name;
        const char* mount;  // tmpfs size for the image's folder, or nullptr
        std::function<void(const QString& image)> fault;  // done after the image is opened
        bool fails;            // the write-back fails and the painting is rescued
        const char* rescueIn;  // "image", "data" or "temp"; nullptr: nowhere to write
    };
    const QString data = Path("wb-data");
    const QString temp = Path("wb-temp");
    const Case cases[] = {
        {"changed twice", nullptr, nullptr, false, nullptr},
        {"changed on disk by another program", nullptr,
         [](const QString& image) { ASSERT_TRUE(Sample(9, 7, false).save(image)); }, false,
         nullptr},
        {"changed on disk with its size and time kept", nullptr,
         [](const QString& image) {
             struct stat st;
             ASSERT_EQ(::stat(QFile::encodeName(image).constData(), &st), 0);
             QByteArray bytes = Bytes(image);
             bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x5A);
             Write(image, bytes);
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(image).constData(), times, 0), 0);
         },
         false, nullptr},
        {"backup name is a folder", nullptr,
         [](const QString& image) { QDir().mkpath(image + "~"); }, true, "image"},
        {"image replaced by a folder", nullptr,
         [](const QString& image) {
             QFile::remove(image);
             QDir().mkpath(image);
         },
         true, "image"},
        {"read-only file system", "1m",
         [](const QString& image) { ASSERT_TRUE(MakeReadOnly(QFileInfo(image).path())); }, true,
         "data"},
        {"disk full", "256k",
         [](const QString& image) {
             Write(QFileInfo(image).path() + "/filler", QByteArray(512 * 1024, 'x'));
         },
         true, "data"},
        {"disk full, data folder read-only", "256k",
         [&](const QString& image) {
             Write(QFileInfo(image).path() + "/filler", QByteArray(512 * 1024, 'x'));
             ASSERT_TRUE(MountTmpfs(data, "size=64k") && MakeReadOnly(data));
         },
         true, "temp"},
        {"replaced by a link to another file", nullptr,
         [](const QString& image) {
             Write(QFileInfo(image).path() + "/victim.txt", "not a picture");
             QFile::remove(image);
             ASSERT_TRUE(QFile::link("victim.txt", image));
         },
         true, "image"},
        {"nowhere to write", "1m",
         [&](const QString& image) {
             ASSERT_TRUE(MakeReadOnly(QFileInfo(image).path()));
             ASSERT_TRUE(MountTmpfs(data, "size=64k") && MakeReadOnly(data));
             ASSERT_TRUE(MountTmpfs(temp, "size=64k") && MakeReadOnly(temp));
         },
         true, nullptr},
    };
    const KeepEnv keepData("XDG_DATA_HOME"), keepTemp("TMPDIR");
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
    qputenv("TMPDIR", temp.toLocal8Bit());
    int n = 0;
    const AtScopeEnd unmount([&] {
        for (int i = 0; i < n; ++i)
            ::umount2(QFile::encodeName(Path(QStringLiteral("wb-%1").arg(i))).constData(),
                      MNT_DETACH);
        for (const QString& mounted : {data, temp})
            ::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH);
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = Path(QStringLiteral("wb-%1").arg(n++));
        QDir(data).removeRecursively();
        QDir(temp).removeRecursively();
        QDir().mkpath(temp);
        if (c.mount &&
            !MountTmpfs(folder, QStringLiteral("size=%1").arg(c.mount).toLatin1().constData())) {
            std::printf("[ SKIPPED  ] %s: tmpfs cannot be mounted here\n", c.name);
            continue;
        }
        QDir().mkpath(folder);
        const QString image = folder + "/paint.png";
        ASSERT_TRUE(Sample(8, 6, false).save(image));
        ::chmod(QFile::encodeName(image).constData(), 0600);
        const QByteArray original = Bytes(image);
        FileHost host = Open(image);
        QStringList notices;
        host.SetNoticeSink([&](const QString& line) { notices << line; });

        // Nothing changed: the file and its backup are left alone.
        const QFileInfo before(image);
        SendWithRed(host, 3, 2, host.Tarn_GetRBuffer().at(3, 2));
        EXPECT_EQ(QFileInfo(image).lastModified(), before.lastModified());
        EXPECT_FALSE(QFile::exists(image + "~"));

        if (c.fault) c.fault(image);
        const QByteArray onDisk = QFileInfo(image).isFile() ? Bytes(image) : QByteArray();
        if (c.fails) {
            try {
                SendWithRed(host, 3, 2, 201);
                ADD_FAILURE() << "the write-back did not fail";
            } catch (const HostError& e) {
                // No temporary file is left, and no backup made of a file Marlo did not open.
                EXPECT_EQ(QDir(folder)
                              .entryList({".marlo-*", "victim.txt?*"}, QDir::Files | QDir::Hidden)
                              .join(' ')
                              .toStdString(),
                          "");
                if (!c.rescueIn) {  // the backup and the three places tried, each with its reason
                    EXPECT_EQ(QString(e.what()).count("(Read-only file system)"), 4) << e.what();
                    continue;
                }
                const QString folderOf = QString(c.rescueIn) == "image"  ? folder
                                         : QString(c.rescueIn) == "data" ? data + "/marlo/rescue"
                                                                         : temp;
                const QString rescue = folderOf + "/paint.marlo-rescue.png";
                EXPECT_TRUE(QString(e.what()).contains(rescue)) << e.what();
                EXPECT_EQ(host.WriteBackFailure(), QString(e.what()));
                EXPECT_EQ(qRed(QImage(rescue).pixel(3, 2)), 201);
                EXPECT_EQ(Mode(rescue), 0600);
            }
            if (!onDisk.isEmpty()) {
                EXPECT_EQ(Bytes(image), onDisk);  // never half-written
            }
            continue;
        }
        SendWithRed(host, 3, 2, 201);
        SendWithRed(host, 4, 2, 202);
        EXPECT_TRUE(host.WriteBackFailure().isEmpty());
        const QImage back(image);
        EXPECT_EQ(qRed(back.pixel(3, 2)), 201);
        EXPECT_EQ(qRed(back.pixel(4, 2)), 202);
        EXPECT_EQ(Mode(image), 0600);
        if (onDisk == original) {
            // One backup a session: the original's bytes and permission bits, kept after two
            // writes.
            EXPECT_EQ(Bytes(image + "~"), original);
            EXPECT_EQ(Mode(image + "~"), 0600);
            EXPECT_TRUE(notices.isEmpty());
        } else {
            // The other program's version is kept under a name of its own, and the painter told.
            EXPECT_EQ(Bytes(image + ".1~"), onDisk);
            EXPECT_FALSE(QFile::exists(image + "~"));
            ASSERT_EQ(notices.size(), 1);
            EXPECT_TRUE(notices[0].contains(image + ".1~"));
        }
    }
}

// A file is written in the format its content has, a lossy one only when it changed; a name
// so long that the backup's does not fit still leaves the painting safe.
TEST(FileHost, FormatsAndNames) {
    const QString misnamed = Path("really-a-png.jpg");
    ASSERT_TRUE(Sample(8, 6, false).save(misnamed, "PNG"));
    FileHost png = Open(misnamed);
    EXPECT_TRUE(FormatLossNote(png.document()).isEmpty());
    SendWithRed(png, 1, 1, 99);
    EXPECT_TRUE(Bytes(misnamed).startsWith("\x89PNG"));
    EXPECT_EQ(qRed(QImage(misnamed).pixel(1, 1)), 99);

    const QString link = Path("link-to-png.jpg");
    ASSERT_TRUE(QFile::link(misnamed, link));
    FileHost linked = Open(link);
    SendWithRed(linked, 2, 2, 98);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(qRed(QImage(misnamed).pixel(2, 2)), 98);

    const QString jpeg = Path("photo.jpg");
    ASSERT_TRUE(Sample(16, 16, false).save(jpeg, "JPEG", 50));
    const QByteArray jpegBytes = Bytes(jpeg);
    FileHost lossy = Open(jpeg);
    EXPECT_FALSE(FormatLossNote(lossy.document()).isEmpty());
    SendWithRed(lossy, 0, 0, lossy.Tarn_GetRBuffer().at(0, 0));  // unchanged: not re-encoded
    EXPECT_EQ(Bytes(jpeg), jpegBytes);
    SendWithRed(lossy, 0, 0, 255);  // written at quality 95: far closer than the original's 50
    EXPECT_TRUE(Bytes(jpeg).startsWith("\xFF\xD8"));
    EXPECT_GT(Bytes(jpeg).size(), jpegBytes.size());

    const QString longName = Path(QString(251, 'n') + ".png");
    ASSERT_TRUE(Sample(4, 4, false).save(longName));
    FileHost named = Open(longName);
    EXPECT_THROW(SendWithRed(named, 0, 0, 1), HostError);  // its backup's name is too long
    EXPECT_TRUE(QFile::exists(Path(QString(180, 'n') + ".marlo-rescue.png")));
}

// What the file carries besides the pixels comes back after a stroke: the colour profile's
// bytes, 300 ppi, the text, and in a JPEG the EXIF block (orientation: turned right) as it was.
TEST(FileHost, WriteBackKeepsProfileResolutionTextAndExif) {
    // EXIF, big-endian: one tag, Orientation (0x0112), SHORT, 1 value: 6.
    const QByteArray exif = JpegSegment(
        0xE1,
        QByteArray("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0",
                   32));
    for (const auto& [format, alpha] : {std::pair{"png", false}, {"png", true}, {"jpeg", false}}) {
        SCOPED_TRACE(testing::Message() << format << (alpha ? " alpha" : ""));
        const bool jpeg = QByteArray(format) == "jpeg";
        QImage img = Sample(12, 10, alpha);
        img.setColorSpace(QColorSpace::AdobeRgb);
        img.setDotsPerMeterX(11811);
        img.setDotsPerMeterY(11811);
        img.setText("Comment", "painted at dawn");
        const QString path = Path(QStringLiteral("extras-%1.%2").arg(alpha).arg(format));
        QFile::remove(path + "~");
        const QByteArray original = Encoded(img, format, jpeg ? exif : QByteArray());
        Write(path, original);
        FileHost host = Open(path);
        EXPECT_TRUE(ExtrasLossNote(path, host.document().extras).isEmpty());
        SendWithRed(host, 5, 4, 3);
        EXPECT_NE(Bytes(path), original);
        QImageReader reader(path);
        reader.setAutoTransform(false);
        const QImage back = reader.read();
        EXPECT_TRUE(jpeg || qRed(back.pixel(5, 4)) == 3);
        EXPECT_EQ(back.colorSpace().iccProfile(), img.colorSpace().iccProfile());
        EXPECT_EQ(back.dotsPerMeterX(), 11811);
        EXPECT_EQ(back.dotsPerMeterY(), 11811);
        EXPECT_EQ(back.text("Comment"), "painted at dawn");
        EXPECT_EQ(Bytes(path).contains(exif), jpeg);
        EXPECT_EQ(Bytes(path).count("pHYs"), jpeg ? 0 : 1);  // Qt's own 96 ppi is not added
        EXPECT_EQ(reader.transformation(), jpeg ? QImageIOHandler::TransformationRotate90
                                                : QImageIOHandler::TransformationNone);
    }
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
    EXPECT_NE(*std::min_element(a.bytes.begin(), a.bytes.end()),
              *std::max_element(a.bytes.begin(), a.bytes.end()));
}

// Every way a file can fail to be an image gets one line that names it and the reason.
TEST(FileHost, LoadFailuresGiveOneLineReasons) {
    Write(Path("not-an-image.png"), "this is no picture");
    QByteArray damaged = Bytes([&] {
        const QString p = Path("good.png");
        Sample(8, 8, false).save(p);
        return p;
    }());
    damaged[16] = damaged[17] = damaged[18] = damaged[19] = 0;  // IHDR width 0 ...
    damaged[12] = 'X';                                          // ... and its chunk name broken
    Write(Path("damaged.png"), damaged);
    ASSERT_TRUE(Sample(600, 600, false).save(Path("big.png")));
    QDir().mkpath(Path("a-folder.png"));
    ::mkfifo(QFile::encodeName(Path("pipe.png")).constData(), 0600);
    Write(Path("cut-header.png"), Bytes(Path("good.png")).left(24));
    Write(Path("animated.png"), AnimatedPng(3));
    Write(Path("sizes.ico"), IconOfSizes({16, 32, 64, 256}));
    const Refusal<QString> cases[] = {
        {"missing", Path("missing.png"), "no such file"},
        {"not an image", Path("not-an-image.png"), "not a picture"},
        {"damaged header", Path("damaged.png"), "PNG file is damaged"},
        {"header cut short", Path("cut-header.png"), "ends at byte 24, inside its header"},
        {"animated PNG", Path("animated.png"), "holds 3 frames; Marlo would paint the first"},
        {"icon of four sizes", Path("sizes.ico"), "holds 4 icons of different sizes"},
        {"a folder", Path("a-folder.png"), "is a folder"},
        {"a named pipe", Path("pipe.png"), "is a named pipe"},
        {"a device", "/dev/null", "is a device"},
        {"larger than memory allows", Path("big.png"),
         "600 x 600 pixels needs about 7.5 MiB of memory; 1.0 MiB is available (the limit "
         "MARLO_MEMORY_MB sets)"},
    };
    const KeepEnv keepMemory("MARLO_MEMORY_MB");
    qputenv("MARLO_MEMORY_MB", "1");
    for (const auto& c : cases) {
        ImageDocument doc;
        QString error;
        EXPECT_FALSE(LoadImageDocument(c.input, &doc, &error)) << c.name;
        EXPECT_TRUE(error.contains(c.words)) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(error.startsWith(c.input)) << c.name << ": " << error.toStdString();
        EXPECT_FALSE(error.contains('\n'));
        EXPECT_FALSE(error.contains("Unknown error")) << c.name << ": " << error.toStdString();
    }
    Plane paper;
    QString error;
    EXPECT_FALSE(LoadGreyPlane(Path("big.png"), &paper, &error));
    EXPECT_TRUE(error.contains("600 x 600")) << error.toStdString();
}

// Files that open though Qt reads them in part, or with a name that is no UTF-8: the damage
// told with the reader's reason, the rows the file does not hold white, the rest exact.
TEST(FileHost, FilesReadInPartOpenWithTheirDamageTold) {
    const QImage sample = Sample(8, 6, false);
    const QByteArray bmp = Encoded(sample, "bmp");  // 24 bits a pixel: rows of 24 bytes
    QByteArray topDown = bmp;
    qToLittleEndian<qint32>(-6, topDown.data() + 22);
    for (int y = 0; y < 6; ++y) topDown.replace(54 + 24 * y, 24, bmp.mid(54 + 24 * (5 - y), 24));
    QByteArray farOffset = bmp;
    qToLittleEndian<quint32>(5000, farOffset.data() + 10);
    const QByteArray jpeg = Encoded(Sample(64, 64, false), "jpeg");
    const QByteArray png = Encoded(Sample(64, 64, false), "png");
    struct Case {
        const char* name;
        QByteArray fileName, bytes;
        const char* damage;  // words of the reason, nullptr when read whole
        int white;           // white rows at the top, or with a minus sign at the bottom
        bool exact;          // the other rows are the sample's
    };
    const Case cases[] = {
        {"top-down BMP", "top-down.bmp", topDown, nullptr, 0, true},
        {"non-UTF-8 name", "caf\xe9-\xff.png", Encoded(sample, "png"), nullptr, 0, true},
        {"BMP cut short", "cut.bmp", bmp.left(bmp.size() - 53), "it ends after 3 of its 6 rows", 3,
         true},
        {"BMP pixels past its end", "far.bmp", farOffset, "past its end at 198", 0, false},
        {"JPEG cut short", "cut.jpg", jpeg.left(jpeg.size() / 2), "premature end", 0, false},
        {"PNG cut short", "cut.png", png.left(png.size() / 2), "Unable to read image data", -1,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(NameFromNative(c.fileName));
        Write(path, c.bytes);
        ImageDocument doc;
        QString error;
        ASSERT_TRUE(LoadImageDocument(path, &doc, &error)) << Shown(error).toStdString();
        const QString note = DamageNote(doc);
        EXPECT_EQ(note.isEmpty(), c.damage == nullptr) << note.toStdString();
        EXPECT_TRUE(doc.extras.lost.isEmpty()) << doc.extras.lost.join(", ").toStdString();
        if (c.damage) {
            EXPECT_TRUE(note.startsWith(path + " is damaged: part of it could not be read (") &&
                        note.contains(c.damage) &&
                        note.endsWith("). Writing back replaces it with what you see."))
                << note.toStdString();
        }
        const QImage want = Sample(doc.width(), doc.height(), false);
        for (int y = 0; y < want.height(); ++y) {
            const bool blank = c.white > 0 ? y < c.white : y >= want.height() + c.white;
            for (int x = 0; x < want.width() && (blank || c.exact); ++x)
                ASSERT_EQ(doc.r.at(x, y), blank ? 255 : qRed(want.pixel(x, y))) << x << "," << y;
        }
        FileHost host(std::move(doc), DefaultPaper(), QString());
        SendWithRed(host, 0, 0, host.Tarn_GetRBuffer().at(0, 0));
        EXPECT_EQ(Bytes(path), c.bytes);  // not written back without a change
        SendWithRed(host, 0, 0, 1);
        // Qt's temporary folder cannot remove what it cannot name.
        EXPECT_EQ(::unlink((NativeName(path) + '~').constData()), 0);
        ::unlink(NativeName(path).constData());
    }
    EXPECT_TRUE(Shown(Path(NameFromNative("caf\xe9-\xff.png"))).endsWith("/caf\\xE9-\\xFF.png"));
}

TEST(FileHost, FormatsThatCannotBeWrittenBackAreRefusedAtStart) {
    // Qt reads GIF but does not write it: a 1 x 1 GIF made by hand, under a PNG's name.
    const QString gif = Path("picture.png");
    const unsigned char bytes[] = {'G', 'I', 'F', '8', '9', 'a',  1,    0,    1,   0,    0x80,
                                   0,   0,   0,   0,   0,   0xFF, 0xFF, 0xFF, '!', 0xF9, 4,
                                   1,   0,   0,   0,   0,   ',',  0,    0,    0,   0,    1,
                                   0,   1,   0,   0,   2,   2,    'D',  1,    0,   ';'};
    Write(gif, QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes));
    if (QImageWriter::supportedImageFormats().contains("gif") || QImage(gif).isNull())
        GTEST_SKIP() << "GIF is not read-only here";
    ImageDocument doc;
    QString error;
    EXPECT_FALSE(LoadImageDocument(gif, &doc, &error));
    EXPECT_TRUE(error.contains("cannot write them back")) << error.toStdString();
}

TEST(MarloProgram, FailedStartsExitNonZeroWithOneLine) {
    ASSERT_TRUE(Sample(4, 4, false).save(Path("ok.png")));
    ::mkfifo(QFile::encodeName(Path("pipe-arg.png")).constData(), 0600);
    const Refusal<QStringList> cases[] = {
        {"new image in a missing folder",
         {Path("no-folder/nothing-here.png")},
         "no-folder/nothing-here.png: the folder"},
        {"size not WxH", {"--size", "640", Path("new.png")}, "--size 640 is not a size"},
        {"size of no pixels", {"--size=0x10", Path("new.png")}, "--size 0x10 is not a size"},
        {"size past any number", {"--size", "9999999999x2"}, "is too large for a canvas"},
        {"size past the memory",
         {"--size", "100000x100000", Path("new.png")},
         "A new canvas of 100000 x 100000 pixels is too large: it needs about"},
        {"size for an existing image", {Path("ok.png"), "--size", "8x8"}, "--size is for a new"},
        {"image is a named pipe", {Path("pipe-arg.png")}, "is a named pipe"},
        {"paper is a named pipe",
         {Path("ok.png"), "--paper", Path("pipe-arg.png")},
         "is a named pipe"},
        {"paper is a folder", {Path("ok.png"), "--paper", TempDir()}, "is a folder"},
        {"missing paper",
         {Path("ok.png"), "--paper", Path("no-paper.png")},
         "no-paper.png: no such file"},
        {"two images", {Path("ok.png"), Path("ok.png")}, "only one IMAGE"},
        {"unknown option", {"--frobnicate"}, "unknown option --frobnicate"},
        {"unknown option like a file", {"-dash.png"}, "unknown option -dash.png"},
        {"file after --", {"--", "-dash/x.png"}, "-dash/x.png: the folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = RunMarlo(c.input);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(r.stderrText.contains(c.words)) << r.stderrText.toStdString();
        // One line of ours (the platform may add its own notes).
        EXPECT_EQ(r.stderrText.count(QStringLiteral("marlo:")), 1) << r.stderrText.toStdString();
    }
    // With stderr a pipe nobody reads any more (a pipeline whose reader ended), the message is
    // lost but the program still ends by its own rules, not by SIGPIPE.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const QByteArray binary = QFile::encodeName(MarloBinary()), arg = "--frobnicate";
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(ends[1], 2);
        ::execl(binary.constData(), binary.constData(), arg.constData(), nullptr);
        ::_exit(127);
    }
    ::close(ends[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

// How the program ends: an unchanged image is left alone, a hang-up writes the painting back,
// a wallpaper that is no picture is told, and a close whose write fails rescues and exits 1.
TEST(MarloProgram, ClosingRules) {
    const QString path = Path("closing.png");
    ASSERT_TRUE(Sample(40, 30, true).save(path));
    const QByteArray original = Bytes(path);
    // Settings stores that are named pipes are left alone too: opening one would never end.
    const KeepEnv keepConfig("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", Path("fifo-config").toLocal8Bit());
    for (const char* store : {"tarnwick/tarnwick.ini", "marlo/marlo.conf"}) {
        QDir().mkpath(QFileInfo(Path("fifo-config/") + store).path());
        ::mkfifo(QFile::encodeName(Path("fifo-config/") + store).constData(), 0600);
    }
    RunResult r = RunMarlo({path, "--wallpaper", Path("pipe-arg.png")}, SIGTERM);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(r.stderrText.contains(
        "is a named pipe, not a picture file; the palette has its plain background"));
    for (const char* store : {"tarnwick/tarnwick.ini", "marlo/marlo.conf"})
        EXPECT_EQ(r.stderrText.count(QStringLiteral("the settings file %1 is not a regular file")
                                         .arg(Path("fifo-config/") + store)),
                  1)
            << r.stderrText.toStdString();
    EXPECT_EQ(Bytes(path), original);
    EXPECT_FALSE(QFile::exists(path + "~"));
    // A temporary file that a Marlo killed while writing left beside the image goes at the next
    // start; one its live writer holds locked stays, however old.
    // So does one a rescue copy left in the data folder's rescue place.
    const QString left = Path(".marlo-Left01"), held = Path(".marlo-Held01");
    const QString rescueLeft = Path("xdg-data/marlo/rescue/.marlo-Left02");
    QDir().mkpath(Path("xdg-data/marlo/rescue"));
    const struct timespec longAgo[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    for (const QString& f : {left, held, rescueLeft}) {
        Write(f, "half a picture");
        ::utimensat(AT_FDCWD, QFile::encodeName(f).constData(), longAgo, 0);
    }
    const int writer = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    r = RunMarlo({path}, SIGTERM);
    EXPECT_FALSE(QFile::exists(left) || QFile::exists(rescueLeft)) << r.stderrText.toStdString();
    EXPECT_TRUE(QFile::exists(held) && ::close(writer) == 0);
    // The other signals whose default ends a program at once close it the same way.
    for (int sig : {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
        r = RunMarlo({path}, sig);
        EXPECT_EQ(r.exitCode, 0) << strsignal(sig) << ": " << r.stderrText.toStdString();
    }

    // A new canvas left white is not written when the terminal hangs up, nor when something
    // took its name meanwhile: nothing was painted.
    const QString folder = Path("hangup");
    QDir().mkpath(folder);
    r = RunMarlo({}, SIGHUP, {}, folder);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(QDir(folder).isEmpty(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot));
    const QString blocked = Path("blocked");
    QDir().mkpath(blocked);
    r = RunMarlo(
        {}, SIGTERM, [&] { QDir().mkpath(blocked + "/untitled.png"); }, blocked);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_FALSE(QFile::exists(blocked + "/untitled.marlo-rescue.png"));
    // Nor a named new canvas.
    r = RunMarlo({"new.png", "--size", "40x30"}, SIGHUP, {}, folder);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_TRUE(r.stderrText.contains("new canvas " + folder + "/new.png"));
    EXPECT_TRUE(QDir(folder).isEmpty(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot));
}

// A colour profile Qt cannot use (the pixels are written as RGB) is told once at start, and the
// file written carries none.
TEST(MarloProgram, TellsAtStartWhatCannotBeWrittenBack) {
    const QString path = Path("odd-profile.jpg");
    Write(path, Encoded(Sample(8, 8, false), "jpeg",
                        JpegSegment(
                            0xE2, QByteArray("ICC_PROFILE\0\x01\x01", 14) + QByteArray(64, 'x'))));
    const RunResult r = RunMarlo({path}, SIGTERM);
    EXPECT_EQ(r.exitCode, 0) << r.stderrText.toStdString();
    EXPECT_EQ(r.stderrText.count(path + ": its colour profile cannot be written back"), 1)
        << r.stderrText.toStdString();
    FileHost host = Open(path);
    SendWithRed(host, 1, 1, 0);
    EXPECT_FALSE(Bytes(path).contains("ICC_PROFILE"));

    // A JPEG cut short, named with bytes that are no UTF-8 (passed as such by the shell).
    const QString cut = Path(NameFromNative("cut-\xff.jpg"));
    const QByteArray jpeg = Encoded(Sample(64, 64, false), "jpeg");
    Write(cut, jpeg.left(jpeg.size() / 2));
    const RunResult damaged =
        RunMarlo({"-c", "exec \"$0\" \"$(printf 'cut-\\377.jpg')\"", MarloBinary()}, SIGTERM, {},
                 TempDir(), "/bin/sh");
    EXPECT_EQ(damaged.exitCode, 0) << damaged.stderrText.toStdString();
    EXPECT_TRUE(damaged.stderrText.contains(Shown(cut) + " is damaged: part of it could not be "
                                                         "read (Corrupt JPEG data"))
        << damaged.stderrText.toStdString();
    EXPECT_EQ(Bytes(cut), jpeg.left(jpeg.size() / 2));
    ::unlink(NativeName(cut).constData());
}

TEST(MarloProgram, HelpAndVersion) {
    EXPECT_EQ(RunMarlo({"--version"}).exitCode, 0);
    EXPECT_EQ(RunMarlo({"--help"}).exitCode, 0);
    const CommandLine help = ParseCommandLine({"marlo", "--help"});
    EXPECT_TRUE(help.output.contains(" [options] [IMAGE]\n")) << help.output.toStdString();
    EXPECT_TRUE(help.output.contains("--size <WxH>"));
    EXPECT_EQ(RunMarlo({"--size", "4x", Path("x.png")}).exitCode, 2);  // a usage error
}

// A name that holds no file yet is a white canvas of --size (1024 x 768 without), written once
// painted, in the format its name says.
TEST(MarloProgram, NewImageIsWrittenOncePainted) {
    struct Case {
        const char* name;
        QStringList size;
        int w, h;
        const char* format;
    };
    const Case cases[] = {{"fresh.png", {"--size", "37x5"}, 37, 5, "png"},
                          {"fresh-default.png", {}, 1024, 768, "png"},
                          {"fresh.jpg", {"--size=3X2"}, 3, 2, "jpeg"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        QString error, notice;
        const std::shared_ptr<FileHost> host =
            MakeHost(ParseCommandLine(QStringList{"marlo", path} + c.size), &error, &notice);
        ASSERT_TRUE(host) << error.toStdString();
        EXPECT_TRUE(notice.startsWith("new canvas " + path)) << notice.toStdString();
        EXPECT_FALSE(QFile::exists(path));  // nothing until it comes back painted
        SendWithRed(*host, c.w - 1, c.h - 1, 0);
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), c.format);
        const QImage img = reader.read();
        ASSERT_EQ(img.size(), QSize(c.w, c.h));
        if (QByteArray(c.format) == "png") {  // exact; JPEG only near
            EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
            EXPECT_EQ(img.pixel(c.w - 1, c.h - 1), qRgb(0, 255, 255));
        }
        EXPECT_FALSE(QFile::exists(path + "~"));  // there was nothing to keep
    }
}
