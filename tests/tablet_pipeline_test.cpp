// Real tablet events through Qt's pipeline to the canvas window.
#include <gtest/gtest.h>

#include <qpa/qwindowsysteminterface.h>
#include <qpa/qwindowsysteminterface_p.h>
#include <QPointingDevice>
#include <QTest>

#include "app/qt/application.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/report.h"
#include "core/wiring.h"
#include "input/qt/tablet_qt.h"
#include "input/tablet_handlers.h"
#include "marlo_window_test.h"

namespace {

// The real canvas window fed with tablet events the way a platform plugin delivers them.
class TabletPipeline : public MarloWindowTest {
protected:
    void SetUp() override {
        StartOn(120, 90);
        // The X11 and Wayland plugins leave the pointer events of a pen to Qt.
        QWindowSystemInterfacePrivate::TabletEvent::setPlatformSynthesizesMouse(false);
    }
    void TearDown() override {
        QWindowSystemInterfacePrivate::TabletEvent::setPlatformSynthesizesMouse(true);
        MarloWindowTest::TearDown();
    }

    static const QPointingDevice* Device(QPointingDevice::PointerType type) {
        const qint64 id = 7000 + static_cast<int>(type);
        for (const QInputDevice* d : QInputDevice::devices())
            if (d->systemId() == id) return static_cast<const QPointingDevice*>(d);
        auto* device = new QPointingDevice(
            "pen", id, QInputDevice::DeviceType::Stylus, type,
            QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3,
            QString(), QPointingDeviceUniqueId::fromNumericId(id), qApp);
        QWindowSystemInterface::registerInputDevice(device);
        return device;
    }

    // The pen at client position p of the canvas.
    void Pen(QPointF p, Qt::MouseButtons buttons, qreal pressure, int xTilt = 0,
             QPointingDevice::PointerType type = QPointingDevice::PointerType::Pen) {
        const QPointF local = QPointF(window->view()->mapTo(window, QPoint(0, 0))) + p;
        QWindowSystemInterface::handleTabletEvent(window->windowHandle(), Device(type), local,
                                                  window->view()->mapToGlobal(p), buttons, pressure,
                                                  xTilt, 0, 0, 0, 0);
        QWindowSystemInterface::flushWindowSystemEvents();
    }
    void Proximity(bool in) {
        QWindowSystemInterface::handleTabletEnterLeaveProximityEvent(
            window->windowHandle(), Device(QPointingDevice::PointerType::Pen), in);
        QWindowSystemInterface::flushWindowSystemEvents();
    }
};

TEST_F(TabletPipeline, APenStrokeGivesOnePointPerTabletEventWithItsPressure) {
    (void)Device(QPointingDevice::PointerType::Pen);  // the platform lists a pen
    window->Tablet.reset();
    OpenTablet(window->Tablet, CreateQtTablet, TabletWindowOf(window));
    ASSERT_TRUE(Module1.TabletPresent);
    ASSERT_FALSE(QCoreApplication::testAttribute(Qt::AA_CompressTabletEvents));
    Proximity(true);
    EXPECT_TRUE(Module1.PenInProximity);
    Pen({9.25, 20.75}, Qt::NoButton, 0);  // hovering: the pen is followed, no point
    EXPECT_NEAR(Module1.PenX, 8.75, 1e-3);
    const std::vector<std::pair<QPointF, qreal>> stroke = {
        {{10.25, 20.75}, 0.2},  {{13.5, 22.125}, 0.35}, {{17.75, 24.5}, 0.5},
        {{22.0, 26.25}, 0.8},   {{26.625, 27.0}, 0.65}, {{31.5, 27.5}, 0.4},
        {{36.25, 28.0}, 0.125}, {{40.0, 28.0}, 0.0}};  // released away from the last move: Qt moves
                                                       // there first
    for (size_t i = 0; i < stroke.size(); ++i)
        Pen(stroke[i].first, i + 1 < stroke.size() ? Qt::LeftButton : Qt::NoButton,
            stroke[i].second);
    EXPECT_FALSE(Module1.ButtonDown);
    ASSERT_EQ(Module1.PointCount, static_cast<int>(stroke.size()) - 1);
    for (int i = 0; i < static_cast<int>(stroke.size()); ++i) {
        // The pen sits half a pixel up and left of the pixel corner it reports.
        EXPECT_NEAR(Module1.Stroke(i, 0), stroke[i].first.x() - 0.5, 1e-3) << i;
        EXPECT_NEAR(Module1.Stroke(i, 1), stroke[i].first.y() - 0.5, 1e-3) << i;
        EXPECT_NEAR(Module1.Stroke(i, 2), stroke[i].second, 1e-4) << i;
    }
    EXPECT_EQ(Module1.UndoList.size(), 5u);

    // A tap in place, then the mouse out of range: full pressure from its press on, and its
    // moves count even where the pen was lifted.
    Pen({60, 60}, Qt::LeftButton, 0.5);
    Pen({60, 60}, Qt::NoButton, 0);
    Proximity(false);
    EXPECT_FALSE(Module1.PenInProximity);
    QTest::mousePress(window->view(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 40));
    EXPECT_EQ(Module1.Stroke(0, 0), 50.0f);
    EXPECT_EQ(Module1.Stroke(0, 2), 1.0f);
    QTest::mouseMove(window->view(), QPoint(60, 60));
    EXPECT_EQ(Module1.PointCount, 1);
    QTest::mouseRelease(window->view(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
}

// Drivers that send no proximity event: the pen's first report brings it into range before its
// packet, so the first press already has the pen's position and pressure. A real mouse takes
// the pen out of range; so does the leave event.
TEST_F(TabletPipeline, WithoutProximityEventsThePenPaintsAndARealMouseTakesOver) {
    const QList<const QInputDevice*> devices = QInputDevice::devices();
    const bool listed = std::any_of(devices.begin(), devices.end(), [](const QInputDevice* d) {
        return d->type() == QInputDevice::DeviceType::Stylus;
    });
    EXPECT_EQ(Module1.TabletPresent != 0, listed);  // no tablet seen: the mouse alone
    Pen({10.25, 20.75}, Qt::LeftButton, 0.3);
    EXPECT_TRUE(Module1.TabletPresent);
    EXPECT_TRUE(Module1.PenInProximity);
    EXPECT_NEAR(Module1.Stroke(0, 0), 9.75, 1e-3);
    EXPECT_NEAR(Module1.Stroke(0, 1), 20.25, 1e-3);
    EXPECT_NEAR(Module1.Stroke(0, 2), 0.3, 1e-4);
    Pen({14.5, 22.0}, Qt::LeftButton, 0.5);
    Pen({14.5, 22.0}, Qt::NoButton, 0);
    EXPECT_NEAR(Module1.Stroke(1, 2), 0.5, 1e-4);
    EXPECT_EQ(Module1.UndoList.size(), 5u);

    QTest::mousePress(window->view(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 31));
    EXPECT_FALSE(Module1.PenInProximity);
    EXPECT_EQ(Module1.Stroke(0, 0), 30.0f);
    EXPECT_EQ(Module1.Stroke(0, 2), 1.0f);
    QTest::mouseRelease(window->view(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 31));

    Pen({40.5, 40.5}, Qt::NoButton, 0);  // hovering again
    EXPECT_TRUE(Module1.PenInProximity);
    EXPECT_NEAR(Module1.PenX, 40.0, 1e-3);
    Proximity(false);
    EXPECT_FALSE(Module1.PenInProximity);
}

TEST_F(TabletPipeline, TheEraserEndGivesANegativeAltitude) {
    Pen({20, 20}, Qt::NoButton, 0, 60, QPointingDevice::PointerType::Eraser);
    EXPECT_EQ(Module1.PenAltitude, -300.0f);
    Pen({20, 20}, Qt::NoButton, 0);
    EXPECT_EQ(Module1.PenAltitude, 900.0f);
}

TEST_F(TabletPipeline, OnlyClosingWithTheWriteBackShutsTheTabletDown) {
    host->width = 121;  // the host's image changed size: the user answers Yes, losing the changes
    const Restore<decltype(Wiring.MessageBoxHook)> keepHook(Wiring.MessageBoxHook);
    Wiring.MessageBoxHook = [](const QString&, bool) { return true; };
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(window->Tablet->Connected);
    EXPECT_EQ(window->Tablet->Context().Name(), "FirstContext");
    host->width = 120;
    window->show();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->Tablet->Connected);
    EXPECT_THROW(window->Tablet->Context(), TabletError);
    Proximity(true);  // no longer reaches the pen fields
    EXPECT_FALSE(Module1.PenInProximity);
}

}  // namespace
