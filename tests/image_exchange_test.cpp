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

TEST_F(ImageExchange, SendTwiceSavesTheHostsUndoTwice) {
    Module1.RPlane.at(4, 5) = 250;
    Click(palette->kt_button4);
    Click(palette->kt_button4);
    const std::vector<std::string> once = {"Tarn_SaveUndo", "Tarn_SetRbuffer", "Tarn_SetGbuffer",
                                           "Tarn_SetBbuffer", "tarn_Refresh"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(host->calls, twice);
    EXPECT_EQ(host->sentR.at(4, 5), 250);
    EXPECT_TRUE(messages.isEmpty());
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
    EXPECT_EQ(host->calls.back(), "tarn_Refresh");  // the close wrote the image back
    EXPECT_EQ(host->sentR.bytes, host->r.bytes);
}
