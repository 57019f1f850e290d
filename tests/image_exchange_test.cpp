// Get image, Send image and the closing write-back, driven through the palette's buttons.
#include <gtest/gtest.h>

#include <qpa/qwindowsysteminterface.h>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/qt/application.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/report.h"
#include "canvas/undo.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "marlo_window_test.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"

namespace {

class ImageExchange : public MarloWindowTest {
protected:
    void SetUp() override { StartOn(30, 20); }
    void Click(kt_button* b) {
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    }
};

}  // namespace

const std::vector<std::string> kFetch = {"Tarn_GetRBuffer", "Tarn_GetGBuffer", "Tarn_GetBBuffer"};
const std::vector<std::string> kWrite = {"Tarn_SaveUndo", "Tarn_SetRbuffer", "Tarn_SetGbuffer",
                                         "Tarn_SetBbuffer", "tarn_Refresh"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A send writes once per painting: a second send, and a close, with nothing painted since make
// no host call at all (no undo step in the host, no rewritten layer).
TEST_F(ImageExchange, EachPaintingIsSentOnceAndNothingPaintedCallsNoHost) {
    Module1.RPlane.at(4, 5) = 250;
    Click(palette->kt_button4);
    Click(palette->kt_button4);
    EXPECT_EQ(host->calls, kFetch + kWrite);
    EXPECT_EQ(host->sentR.at(4, 5), 250);
    Module1.BPlane.at(0, 0) = 7;  // painted again: sent again
    Click(palette->kt_button4);
    EXPECT_EQ(host->calls, kFetch + kWrite + kFetch + kWrite);
    EXPECT_EQ(host->sentB.at(0, 0), 7);
    host->calls.clear();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(host->calls, (std::vector<std::string>{"Tarn_BufferWidth", "Tarn_BufferHeight"}));
    EXPECT_TRUE(messages.isEmpty());
}

// The host changes its image between Marlo's fetch and the write-back: pixels the painter left
// alone are written as the host has them now, painted ones as painted; where both changed the
// painter is asked first, by the close and by Send image alike.
TEST_F(ImageExchange, WriteBackMergesThePaintingWithTheHostsChanges) {
    struct Case {
        const char* name;
        bool close;           // the close writes back, else Send image
        uint8_t hostPainted;  // what the host puts at the painted pixel (4, 5) meanwhile
        bool yes;             // the answer, when asked
        bool asked, written;
    };
    const uint8_t before = Module1.RPlane.at(4, 5);
    const Case cases[] = {
        {"changed elsewhere", false, before, false, false, true},
        {"changed where painted, Yes", false, 99, true, true, true},
        {"changed where painted, No", false, 99, false, true, false},
        {"changed where painted to the painter's colour", false, 250, false, false, true},
        {"closing, changed where painted, No", true, 99, false, true, false},
        {"closing, changed where painted, Yes", true, 99, true, true, true},
    };
    const Plane startR = host->r, startG = host->g, startB = host->b;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host->r = startR, host->g = startG, host->b = startB;
        Click(palette->kt_button3);  // the host's image as it is: nothing painted since
        FinishUndoPacking();         // its copy compressed, as idle turns leave it
        ASSERT_TRUE(Module1.HostImage[1].raw.empty() && !Module1.HostImage[1].packed.empty());
        Module1.RPlane.at(4, 5) = 250;
        host->r.at(4, 5) = c.hostPainted;
        host->g.at(20, 10) = 1;  // the host's stroke away from the painter's
        host->calls.clear();
        messages.clear();
        answerYes = c.yes;
        const size_t steps = Module1.UndoList.size();
        EXPECT_EQ(c.close ? window->close() : true, !c.close || c.written);
        if (!c.close) Click(palette->kt_button4);

        const QString question = QStringLiteral(
            "Marlo for Tarnwick Artist - Spline based paint engine was changed in Tarnwick while "
            "you painted; your strokes will replace those pixels. Write?");
        EXPECT_EQ(messages, c.asked ? QStringList{question} : QStringList{});
        const auto sizes = std::vector<std::string>{"Tarn_BufferWidth", "Tarn_BufferHeight"};
        EXPECT_EQ(host->calls, (c.close ? sizes : std::vector<std::string>{}) + kFetch +
                                   (c.written ? kWrite : std::vector<std::string>{}));
        EXPECT_EQ(Module1.RPlane.at(4, 5), 250);  // the painting stays on the canvas either way
        if (!c.written) {
            EXPECT_EQ(Module1.GPlane.at(20, 10), startG.at(20, 10));
            EXPECT_EQ(Module1.UndoList.size(), steps);
            ASSERT_TRUE(window->isVisible());
            continue;
        }
        Plane want = startG;
        want.at(20, 10) = 1;
        EXPECT_EQ(host->sentG.bytes, want.bytes);
        want = startR;
        want.at(4, 5) = 250;
        EXPECT_EQ(host->sentR.bytes, want.bytes);
        EXPECT_EQ(host->sentB.bytes, startB.bytes);
        if (c.close) break;  // the window is gone
        // The canvas took the host's stroke as one undo step, so the next write keeps it.
        EXPECT_EQ(Module1.GPlane.bytes, host->sentG.bytes);
        EXPECT_EQ(Module1.GBase.bytes, host->sentG.bytes);
        EXPECT_EQ(Module1.UndoList.size(), steps + 5);
        host->calls.clear();
        Click(palette->kt_button4);
        EXPECT_TRUE(host->calls.empty());
    }
}

// A host that cannot give its image at the write-back fails it: nothing is written.
TEST_F(ImageExchange, AFetchThatFailsAtWriteBackWritesNothing) {
    Module1.RPlane.at(4, 5) = 250;
    host->failOn = "Tarn_GetBBuffer";
    Click(palette->kt_button4);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("host failed in Tarn_GetBBuffer"))
        << messages[0].toStdString();
    EXPECT_EQ(host->calls, kFetch);
}

TEST_F(ImageExchange, GetImageThenUndoRestoresTheFormerImage) {
    const auto before = Module1.BPlane.bytes;
    host->b = Plane(30, 20, 17);
    Click(palette->kt_button3);
    EXPECT_EQ(Module1.BPlane.bytes, std::vector<uint8_t>(600, 17));
    EXPECT_EQ(Module1.BBase.bytes, Module1.BPlane.bytes);
    EXPECT_EQ(Module1.UndoList.size(), 5u);
    Click(palette->kt_button1);
    EXPECT_EQ(Module1.BPlane.bytes, before);
}

TEST_F(ImageExchange, GetImageOfAnotherSizeIsRefusedAndChangesNothing) {
    const auto before = Module1.RPlane.bytes;
    host->r = Plane(31, 20, 1);
    host->g = Plane(31, 20, 2);
    host->b = Plane(31, 20, 3);
    Click(palette->kt_button3);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("31 x 20")) << messages[0].toStdString();
    EXPECT_EQ(Module1.RPlane.bytes, before);
    EXPECT_TRUE(Module1.UndoList.empty());  // the step saved first is taken back
}

TEST_F(ImageExchange, ARefusedImageKeepsAFullHistoryWhole) {
    for (int i = 0; i < 33; ++i) PushUndo(i % 30, 0, i % 30, 0);
    const int32_t oldestLeft = std::get<int32_t>(Module1.UndoList[4]);
    host->g = Plane(2, 2);
    Click(palette->kt_button3);
    EXPECT_EQ(messages.size(), 1);
    ASSERT_EQ(Module1.UndoList.size(), 33u * 5);
    EXPECT_EQ(std::get<int32_t>(Module1.UndoList[4]), oldestLeft);
}

TEST_F(ImageExchange, AFailingHostStopsTheHandlerWithAMessage) {
    host->failOn = "Tarn_GetGBuffer";
    const auto before = Module1.RPlane.bytes;
    Click(palette->kt_button3);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(Module1.RPlane.bytes, before);
    EXPECT_TRUE(Module1.UndoList.empty());
    host->failOn = "Tarn_SetGbuffer";
    Module1.RPlane.at(1, 1) ^= 1;
    Click(palette->kt_button4);
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "tarn_Refresh"), 0);
}

TEST_F(ImageExchange, ClosingTheCanvasClosesThePalette) {
    ASSERT_TRUE(palette->isVisible());
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(palette->isVisible());
}

TEST_F(ImageExchange, NoToTheSizeQuestionKeepsBothWindowsOpen) {
    host->height = 5;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(palette->isVisible());
}

// Clear and Get image in a row over a small undo budget (as a large image under a memory limit)
// bring up the notice that steps were dropped. A close the window system asks for while it waits
// is carried out once it is answered, never dropped; a click meanwhile is held back.
TEST_F(ImageExchange, ACloseAskedForUnderABoxIsCarriedOutOnceItIsAnswered) {
    uint32_t noise = 1;  // the host's image does not compress, as a photograph's grain
    for (Plane* p : {&host->r, &host->g, &host->b})
        for (uint8_t& v : p->bytes) {
            noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
            v = static_cast<uint8_t>(noise >> 24);
        }
    SetUndoBudget(int64_t{30} * 20 * 3 * 3);  // room for about three steps
    Wiring.MessageBoxHook = nullptr;
    QString notice;
    bool clickHeldBack = false, openUnderBox = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QMessageBox* box = OpenMessageBox();
        if (!box || !notice.isEmpty()) return;
        notice = box->text();
        const std::vector<uint8_t> shown = Module1.RPlane.bytes;
        Click(palette->kt_button2);
        clickHeldBack = Module1.RPlane.bytes == shown;
        QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
            window->windowHandle());
        openUnderBox = window->isVisible();
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(5);
    for (int i = 0; i < 16 && notice.isEmpty(); ++i) {
        Click(palette->kt_button2);
        Click(palette->kt_button3);
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notice.isEmpty(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 20000));
    EXPECT_TRUE(notice.startsWith("Undo keeps the last ")) << notice.toStdString();
    EXPECT_TRUE(clickHeldBack);
    EXPECT_TRUE(openUnderBox);
    // The close ran its rules: it asked the host's size, and wrote the canvas only if it differs
    // from the host's image (which the last Get image may have taken).
    EXPECT_NE(std::find(host->calls.begin(), host->calls.end(), "Tarn_BufferHeight"),
              host->calls.end());
    if (host->calls.back() == "tarn_Refresh") {
        EXPECT_EQ(host->sentR.bytes, Module1.RPlane.bytes);
    }
}
