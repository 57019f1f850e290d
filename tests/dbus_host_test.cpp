// Marlo and a host on the session bus: calling orders, the window hand-over and call-back,
// closing against a resized or vanished host, and answers that must be refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMutex>
#include <QTest>
#include <QXmlStreamReader>
#include <atomic>
#include <map>

#include "app/engine_reset.h"
#include "app/qt/application.h"
#include "app/qt/make_host.h"
#include "app/startup.h"
#include "canvas/dibs.h"
#include "canvas/image_exchange.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/report.h"
#include "core/errors.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "dbus_test_support.h"
#include "host/host.h"
#include "host/qt/dbus_interface.h"
#include "qt_test_support.h"
#include "test_support.h"

namespace {

using Calls = std::vector<std::string>;
const Calls kStartCalls = {"Tarn_GetPaperWidth", "tarn_GetPaperHeight", "Tarn_GetPaper",
                           "Tarn_BufferWidth",   "Tarn_BufferHeight",   "Tarn_GetRBuffer",
                           "Tarn_GetGBuffer",    "Tarn_GetBBuffer",     "Tarn_SendFormObject"};
const Calls kWriteBack = {"Tarn_SaveUndo", "Tarn_SetRbuffer", "Tarn_SetGbuffer", "Tarn_SetBbuffer",
                          "tarn_Refresh"};
const Calls kSizeCheck = {"Tarn_BufferWidth", "Tarn_BufferHeight"};
// The host's planes as they are now, fetched before a write-back to merge with.
const Calls kFetch = {"Tarn_GetRBuffer", "Tarn_GetGBuffer", "Tarn_GetBBuffer"};

Calls operator+(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct FakeWindow : HostCallbackTarget {
    std::atomic<int> prefs{0}, shown{0};
    bool failPrefs = false;
    void PrefsCallback() override {
        ++prefs;
        if (failPrefs) throw MarloError(5, "the theme cannot be read");
    }
    void ShowCanvas() override { ++shown; }
};

class DbusHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetEngine();
        Wiring.MessageBoxHook = [this](const QString& text, bool) {
            messages.push_back(text);
            return answerYes;
        };
    }
    void TearDown() override {
        Wiring.MessageBoxHook = nullptr;
        delete window;
        Module1.Host.reset();  // takes /Form1 off the bus
        DeleteDisplayBitmap();
        ResetEngine();
    }
    // Starts Marlo with its real canvas window on the host served on the bus.
    void StartOnBus() {
        QString error;
        window = StartMarlo(AttachDbusHost(), &error);
        ASSERT_NE(window, nullptr) << error.toStdString();
        // The window's own start shows the palette, which asks for the wallpaper.
        ASSERT_EQ(recorder->calls, kStartCalls + Calls({"Tarn_WallpaperFilename"}));
        recorder->calls.clear();
    }

    std::shared_ptr<RecordingHost> recorder = std::make_shared<RecordingHost>(7, 5, 4, 3);
    Form1* window = nullptr;
    QStringList messages;
    bool answerYes = false;
};

TEST_F(DbusHostTest, StartCallsTheHostInOrderAndTakesItsPlanes) {
    ServedHost served(recorder);
    FakeWindow canvas;
    Main(AttachDbusHost(), [&] { return &canvas; });
    EXPECT_EQ(recorder->calls, kStartCalls);
    EXPECT_EQ(Module1.RPlane.bytes, recorder->r.bytes);
    EXPECT_EQ(Module1.GPlane.bytes, recorder->g.bytes);
    EXPECT_EQ(Module1.BPlane.bytes, recorder->b.bytes);
    EXPECT_EQ(Module1.Paper.bytes, recorder->paper.bytes);
    EXPECT_EQ(Module1.PaperWidth, 4);
    EXPECT_EQ(Module1.BufferHeight, 5);
    EXPECT_EQ(canvas.shown, 1);  // the canvas shows itself; no host on the bus can
}

TEST_F(DbusHostTest, HostCallsPrefsCallbackOnTheCanvasWindow) {
    for (const bool fail : {false, true}) {
        SCOPED_TRACE(fail ? "failing call-back" : "call-back");
        ServedHost served(recorder);
        FakeWindow canvas;
        canvas.failPrefs = fail;
        Main(AttachDbusHost(), [&] { return &canvas; });
        RemoteForm* form = served.service()->form();
        ASSERT_NE(form, nullptr);
        QObject here;
        bool answered = false;
        QString error;
        QObject::connect(form, &RemoteForm::prefsCallbackAnswered, &here, [&](const QString& e) {
            answered = true;
            error = e;
        });
        QMetaObject::invokeMethod(form, [form] { form->PrefsCallback(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 20000));
        EXPECT_EQ(canvas.prefs, 1);
        EXPECT_EQ(error.contains(QLatin1String("the theme cannot be read")), fail)
            << error.toStdString();
        Module1.Host.reset();
    }
}

TEST_F(DbusHostTest, SendImageAndClosingWriteBackInOrder) {
    ServedHost served(recorder);
    StartOnBus();
    Module1.RPlane.at(6, 4) = 200;
    Module1.BPlane.at(0, 0) = 1;
    EXPECT_EQ(WriteImageBack({}), WriteBack::kWritten);
    EXPECT_EQ(recorder->calls, kFetch + kWriteBack);
    EXPECT_EQ(recorder->sentR.bytes, Module1.RPlane.bytes);
    EXPECT_EQ(recorder->sentG.bytes, Module1.GPlane.bytes);
    EXPECT_EQ(recorder->sentB.bytes, Module1.BPlane.bytes);
    EXPECT_EQ(recorder->sentR.width, 7);

    recorder->calls.clear();
    Module1.GPlane.at(1, 1) = 9;
    EXPECT_TRUE(window->close());
    EXPECT_EQ(recorder->calls, kSizeCheck + kFetch + kWriteBack);
    EXPECT_EQ(recorder->sentG.at(1, 1), 9);
    EXPECT_TRUE(messages.isEmpty());
}

// Over the bus the close fetches what the host holds now and merges the painting into it; the
// question names the host and its image as the host gives them.
TEST_F(DbusHostTest, TheCloseMergesWithTheHostsImageNowAndAsksInItsNames) {
    ServedHost served(recorder);
    StartOnBus();
    recorder->hostName = "GIMP";
    recorder->imageName = "Background";
    Module1.RPlane.at(2, 2) = 200;  // painted
    recorder->r.at(2, 2) = 1;       // changed by the host too
    recorder->b.at(6, 4) = 3;       // changed by the host alone
    answerYes = true;
    EXPECT_TRUE(window->close());
    EXPECT_EQ(messages, QStringList{"Background was changed in GIMP while you painted; your "
                                    "strokes will replace those pixels. Write?"});
    EXPECT_EQ(recorder->calls, kSizeCheck + kFetch + kWriteBack);
    Plane r = recorder->r, b = recorder->b;
    r.at(2, 2) = 200;
    EXPECT_EQ(recorder->sentR.bytes, r.bytes);
    EXPECT_EQ(recorder->sentB.bytes, b.bytes);
}

TEST_F(DbusHostTest, ClosingAgainstAResizedHostAsksAndWritesNothing) {
    ServedHost served(recorder);
    StartOnBus();
    recorder->width = 9;
    answerYes = false;
    ASSERT_NO_FATAL_FAILURE(ExpectCloseRefusedOverSize(window, messages));
    answerYes = true;
    EXPECT_TRUE(window->close());
    EXPECT_EQ(messages.size(), 2);
    // Both sizes are asked each time, though the width alone differs.
    EXPECT_EQ(recorder->calls, Calls({"Tarn_BufferWidth", "Tarn_BufferHeight", "Tarn_BufferWidth",
                                      "Tarn_BufferHeight"}));
}

TEST_F(DbusHostTest, ClosingAfterTheHostLeftClosesWithoutAMessage) {
    ServedHost served(recorder);
    StartOnBus();
    served.Leave();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(recorder->calls.empty());
}

// Each case scripts the host's answers, makes the calls in order and expects the last to be
// refused with a message naming the fault.
struct MalformedCase {
    const char* name;
    std::vector<std::pair<QString, QVariantList>> answers;
    std::function<void(DbusHost&)> calls;
    const char* refusal;
    // A limit no answer comes near on a loaded machine; the case that hangs waits it out.
    int callMs = 60000;
};

constexpr int kAllSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

TEST(DbusHostReplies, MalformedAnswersAreRefused) {
    const int unsealed = MemoryFile(4, 0), shortFile = MemoryFile(3, kAllSeals);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const std::pair<QString, QVariantList> offersFds{QStringLiteral("Introspect"),
                                                     {FdMethodsXml()}};
    const std::vector<MalformedCase> cases = {
        {"paper byte count",
         {{"Tarn_GetPaperWidth", {4}},
          {"tarn_GetPaperHeight", {3}},
          {"Tarn_GetPaper", {RawPlane(4, 3, 11)}}},
         [](DbusHost& h) {
             h.Tarn_GetPaperWidth();
             h.tarn_GetPaperHeight();
             h.Tarn_GetPaper();
         },
         "with 11 bytes instead of 12"},
        {"negative plane",
         {{"Tarn_GetRBuffer", {RawPlane(-2, 3, 0)}}},
         [](DbusHost& h) { h.Tarn_GetRBuffer(); },
         "negative size (-2 x 3)"},
        {"plane of another size than reported",
         {{"Tarn_BufferWidth", {5}},
          {"Tarn_BufferHeight", {3}},
          {"Tarn_GetGBuffer", {RawPlane(3, 5, 15)}}},
         [](DbusHost& h) {
             h.Tarn_BufferWidth();
             h.Tarn_BufferHeight();
             h.Tarn_GetGBuffer();
         },
         "is 3 x 5 but the host reported 5 x 3"},
        {"plane as a number",
         {{"Tarn_GetBBuffer", {9}}},
         [](DbusHost& h) { h.Tarn_GetBBuffer(); },
         "came as \"i\" instead of \"(iiay)\""},
        {"negative width",
         {{"Tarn_BufferWidth", {-1}}},
         [](DbusHost& h) { h.Tarn_BufferWidth(); },
         "negative image width -1"},
        {"height as text",
         {{"tarn_GetPaperHeight", {QStringLiteral("3")}}},
         [](DbusHost& h) { h.tarn_GetPaperHeight(); },
         "not a 32-bit number"},
        {"height beyond 32 bits",
         {{"Tarn_BufferHeight", {qint64(1) << 40}}},
         [](DbusHost& h) { h.Tarn_BufferHeight(); },
         "not a 32-bit number"},
        {"no answer", {}, [](DbusHost& h) { h.Tarn_SaveUndo(); }, "did not answer", 300},
        // Sizes the bus cannot carry as (iiay) are refused before anything is fetched.
        {"image too large for arrays",
         {{"Tarn_BufferWidth", {8192}}, {"Tarn_BufferHeight", {8192}}},
         [](DbusHost& h) {
             h.Tarn_BufferWidth();
             h.Tarn_BufferHeight();
         },
         "Tarnwick's image of 8192 x 8192 pixels cannot cross the session bus: a 8192 x 8192 plane "
         "is 67108864 "
         "bytes, more than the 65994752 bytes"},
        {"paper too large for arrays",
         {{"Tarn_GetPaperWidth", {9000}}, {"tarn_GetPaperHeight", {8000}}},
         [](DbusHost& h) {
             h.Tarn_GetPaperWidth();
             h.tarn_GetPaperHeight();
         },
         "paper of 9000 x 8000 pixels cannot cross the session bus"},
        {"plane to send too large for arrays",
         {},
         [](DbusHost& h) { h.Tarn_SetGbuffer(Plane(8124, 8124)); },
         "Tarn_SetGbuffer: the plane cannot cross the session bus"},
        // A host's descriptor is checked before a byte is read.
        {"unsealed memory file",
         {offersFds, {"Tarn_GetRBufferFd", {FdPlane(2, 2, unsealed)}}},
         [](DbusHost& h) { h.Tarn_GetRBuffer(); },
         "not sealed against shrinking, growing, writing"},
        {"memory file of another size",
         {offersFds, {"Tarn_GetGBufferFd", {FdPlane(2, 2, shortFile)}}},
         [](DbusHost& h) { h.Tarn_GetGBuffer(); },
         "memory file of 3 bytes instead of 4"},
        {"a pipe for the paper",
         {offersFds, {"Tarn_GetPaperFd", {FdPlane(2, 2, pipe[0])}}},
         [](DbusHost& h) { h.Tarn_GetPaper(); },
         "no sealed memory file"},
    };
    for (const int fd : {unsealed, shortFile, pipe[0], pipe[1]}) ::close(fd);
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost scripted;
        for (const auto& [method, args] : c.answers) scripted.Script(method, args);
        auto host = AttachDbusHost(DbusTimeouts{c.callMs, 0});
        ASSERT_TRUE(host);
        ExpectHostError([&] { c.calls(*host); }, c.refusal, "accepted");
    }
}

TEST(DbusHostReplies, SizesInOtherNumberTypesAreConverted) {
    const std::vector<std::pair<QVariant, int32_t>> cases = {{QVariant::fromValue(qint16(7)), 7},
                                                             {QVariant::fromValue(quint64(9)), 9},
                                                             {2.5, 2},
                                                             {3.5, 4}};
    for (const auto& [answer, expected] : cases) {
        ScriptedHost scripted;
        scripted.Script(QStringLiteral("Tarn_GetPaperWidth"), {answer});
        auto host = AttachDbusHost();
        ASSERT_TRUE(host);
        EXPECT_EQ(host->Tarn_GetPaperWidth(), expected) << answer.toString().toStdString();
    }
}

// A host that refuses a plane after it took others is left with part of the painting: the error
// says so, since nothing more will be sent.
TEST(DbusHostReplies, ARefusedPlaneSaysWhatTheHostWasLeftWith) {
    ScriptedHost scripted;
    for (const char* method : {"Tarn_SaveUndo", "Tarn_SetRbuffer", "Tarn_SetGbuffer"})
        scripted.Script(QLatin1String(method), {});
    scripted.ScriptError(QStringLiteral("Tarn_SetBbuffer"));
    auto host = AttachDbusHost();
    ASSERT_TRUE(host);
    const Plane plane(3, 2, 9);
    host->Tarn_SaveUndo();
    host->Tarn_SetRbuffer(plane);
    host->Tarn_SetGbuffer(plane);
    ExpectHostError([&] { host->Tarn_SetBbuffer(plane); },
                    "left with only the red and green planes of the painting and nothing more is "
                    "coming",
                    "accepted");
}

TEST(DbusService, AHostErrorBecomesAnErrorReplyAndAHostErrorAgain) {
    auto recorder = std::make_shared<RecordingHost>(2, 2);
    recorder->failOn = "Tarn_GetGBuffer";
    ServedHost served(recorder);
    auto host = AttachDbusHost();
    ASSERT_TRUE(host);
    EXPECT_EQ(host->Tarn_GetRBuffer().bytes, recorder->r.bytes);
    ExpectHostError([&] { host->Tarn_GetGBuffer(); }, "host failed in Tarn_GetGBuffer", "no error");
}

TEST(DbusService, MalformedPlanesFromTheCallerAreRefused) {
    auto recorder = std::make_shared<RecordingHost>(2, 2);
    ServedHost served(recorder);
    const int unsealed = MemoryFile(4, 0), longFile = MemoryFile(5, kAllSeals);
    const std::vector<std::pair<const char*, QVariant>> calls = {
        {"Tarn_SetRbuffer", RawPlane(2, 2, 3)},
        {"Tarn_SetRbuffer", RawPlane(-1, -1, 1)},
        {"Tarn_SetGbufferFd", FdPlane(2, 2, unsealed)},
        {"Tarn_SetBbufferFd", FdPlane(2, 2, longFile)},
    };
    ::close(unsealed);
    ::close(longFile);
    for (const auto& [method, plane] : calls) {
        SCOPED_TRACE(method);
        QDBusMessage call = QDBusMessage::createMethodCall(
            served.connection().baseService(), QLatin1String(kTarnwickPath),
            QLatin1String(kTarnwickInterface), QLatin1String(method));
        call << plane;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), QLatin1String("org.freedesktop.DBus.Error.InvalidArgs"));
    }
    EXPECT_TRUE(recorder->calls.empty());
}

// Method name -> its arguments as "direction type", from introspection data.
std::map<QString, QStringList> Methods(const QString& xml, const QString& interface) {
    std::map<QString, QStringList> methods;
    QXmlStreamReader reader(xml);
    QString current;
    bool inInterface = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("interface"))
            inInterface = reader.attributes().value(QLatin1String("name")) == interface;
        else if (reader.isEndElement() && reader.name() == QLatin1String("interface"))
            inInterface = false;
        else if (inInterface && reader.isStartElement() && reader.name() == QLatin1String("method"))
            methods[current = reader.attributes().value(QLatin1String("name")).toString()];
        else if (inInterface && reader.isStartElement() && reader.name() == QLatin1String("arg"))
            methods[current] << reader.attributes().value(QLatin1String("direction")).toString() +
                                    QLatin1Char(' ') +
                                    reader.attributes().value(QLatin1String("type")).toString();
    }
    return methods;
}

QString RepositoryXml(const char* file) {
    QFile f(QStringLiteral(MARLO_SOURCE_DIR "/src/host/") + QLatin1String(file));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file;
    return QString::fromUtf8(f.readAll());
}

// Asks for an object's introspection without blocking this thread, which may be the one
// that has to answer.
QString Introspect(const QDBusConnection& from, const QString& service, const QString& path) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
        QStringLiteral("Introspect"));
    QDBusPendingCall pending = from.asyncCall(call, 20000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 20000));
    return pending.reply().arguments().value(0).toString();
}

TEST_F(DbusHostTest, BothObjectsServeTheInterfacesWrittenInTheRepository) {
    ServedHost served(recorder);
    FakeWindow canvas;
    Main(AttachDbusHost(), [&] { return &canvas; });
    const QString host =
        Introspect(QDBusConnection::sessionBus(), served.connection().baseService(),
                   QLatin1String(kTarnwickPath));
    const QString form = Introspect(
        served.connection(), QDBusConnection::sessionBus().baseService(), QLatin1String(kFormPath));
    const auto hostMethods = Methods(host, QLatin1String(kTarnwickInterface));
    EXPECT_EQ(hostMethods.size(), 24u);
    EXPECT_EQ(hostMethods, Methods(RepositoryXml("Tarnwick.Tarnwick_Class.xml"),
                                   QLatin1String(kTarnwickInterface)));
    EXPECT_EQ(Methods(form, QLatin1String(kFormInterface)),
              Methods(RepositoryXml("Marlo.Form1.xml"), QLatin1String(kFormInterface)));
    EXPECT_EQ(Methods(form, QLatin1String(kFormInterface)).count(QStringLiteral("PrefsCallback")),
              1u);
}

TEST_F(DbusHostTest, PlanesCrossAsMemoryFilesWhenOfferedAndAsArraysOtherwise) {
    for (const bool fds : {true, false}) {
        SCOPED_TRACE(fds ? "memory files" : "arrays");
        recorder->calls.clear();
        ServedHost served(recorder, fds);
        const auto offered =
            Methods(Introspect(QDBusConnection::sessionBus(), served.connection().baseService(),
                               QLatin1String(kTarnwickPath)),
                    QLatin1String(kTarnwickInterface));
        EXPECT_EQ(offered.size(), fds ? 24u : 17u);
        QMutex mutex;
        QStringList answered;
        QObject::connect(
            served.service(), &TarnwickService::answered, served.service(),
            [&](const QString& method) {
                QMutexLocker lock(&mutex);
                answered << method;
            },
            Qt::DirectConnection);
        FakeWindow canvas;
        Main(AttachDbusHost(), [&] { return &canvas; });
        EXPECT_EQ(recorder->calls, kStartCalls);
        EXPECT_EQ(Module1.Paper.bytes, recorder->paper.bytes);
        EXPECT_EQ(Module1.RPlane.bytes, recorder->r.bytes);
        EXPECT_EQ(Module1.GPlane.bytes, recorder->g.bytes);
        EXPECT_EQ(Module1.BPlane.bytes, recorder->b.bytes);
        Plane painted = Module1.GPlane;
        painted.at(6, 4) = 251;
        Module1.Host->Tarn_SetGbuffer(painted);
        EXPECT_EQ(recorder->sentG.bytes, painted.bytes);
        EXPECT_EQ(recorder->sentG.width, 7);
        const QString way = fds ? QStringLiteral("Fd") : QString();
        QMutexLocker lock(&mutex);
        for (const char* method : {"Tarn_GetPaper", "Tarn_GetRBuffer", "Tarn_GetGBuffer",
                                   "Tarn_GetBBuffer", "Tarn_SetGbuffer"})
            EXPECT_TRUE(answered.contains(QLatin1String(method) + way)) << method;
        EXPECT_EQ(answered.filter(QStringLiteral("Fd")).size(), fds ? 5 : 0);
        lock.unlock();
        Module1.Host.reset();
    }
}

// The host's own words for its image cross the bus, as Tarn_DescribeImage, to the palette's
// tooltips, also from a host that serves planes as arrays only; a host that does not say goes
// unnamed.
TEST_F(DbusHostTest, TheHostsWordsForItsImageReachTheHostButtons) {
    const QString photo = QDir(TempDir()).filePath(QStringLiteral("photo.png"));
    ASSERT_TRUE(SaveWhite(photo, 7, 5));
    CommandLine cl;
    cl.image = photo;
    QString error, notice;
    const std::shared_ptr<Host> file = MakeHost(cl, &error, &notice);
    ASSERT_NE(file, nullptr) << error.toStdString();
    struct Case {
        const char* name;
        std::shared_ptr<Host> served;
        bool fds;
        const char *getTip, *sendTip;
    };
    const Case cases[] = {
        {"a file", file, true, "Get image from Tarnwick (reads photo.png)",
         "Send image to Tarnwick (writes photo.png)"},
        {"a file served as arrays only", file, false, "Get image from Tarnwick (reads photo.png)",
         "Send image to Tarnwick (writes photo.png)"},
        {"a host that does not say", recorder, true, "Get image from Tarnwick",
         "Send image to Tarnwick"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetEngine();
        ServedHost served(c.served, c.fds);
        FakeWindow canvas;
        Main(AttachDbusHost(), [&] { return &canvas; });
        ASSERT_NE(Module1.Host, nullptr);
        EXPECT_EQ(HostButtonTip(Module1.Host.get(), "Get image from Tarnwick", false), c.getTip);
        EXPECT_EQ(HostButtonTip(Module1.Host.get(), "Send image to Tarnwick", true), c.sendTip);
        Module1.Host.reset();
    }
}

}  // namespace
