#include "input/qt/tablet_qt.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputDevice>
#include <QMainWindow>
#include <QMouseEvent>
#include <QScreen>
#include <QTabletEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

// The whole desktop, every monitor, in Qt's device-independent pixels: the screen that
// packets span. Global positions are measured from its top-left corner.
QRect Desktop(const QWidget* w) {
    QScreen* screen = w ? w->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) throw TabletError("There is no screen");
    return screen->virtualGeometry();
}

QWidget* WindowOf(TabletWindowHandle hWnd) {
    return hWnd ? QWidget::find(static_cast<WId>(hWnd)) : nullptr;
}

// Packets and client positions are in device pixels, as the canvas's client pixels are.
qreal Dpr(const QWidget* w) { return w ? w->devicePixelRatioF() : 1.0; }

bool IsTablet(const QInputDevice* d) {
    using T = QInputDevice::DeviceType;
    return d && (d->type() == T::Stylus || d->type() == T::Airbrush || d->type() == T::Puck);
}

// A pointer event of a real mouse or touchpad, not one made from a pen's report. Qt makes the
// pointer event of an unaccepted tablet event as if from the mouse, at the tablet event's
// position rounded to whole pixels: that position tells the two apart.
bool FromRealMouse(const QMouseEvent* e, const QPointF& lastPen) {
    using T = QInputDevice::DeviceType;
    const QInputDevice* d = e->device();
    return e->source() == Qt::MouseEventNotSynthesized && d &&
           (d->type() == T::Mouse || d->type() == T::TouchPad) &&
           !(std::abs(e->globalPosition().x() - lastPen.x()) < 1 &&
             std::abs(e->globalPosition().y() - lastPen.y()) < 1);
}

// The client area of a main window is its central widget: the menu bar lies outside it.
const QWidget* ClientArea(const QWidget* w) {
    if (auto* main = qobject_cast<const QMainWindow*>(w); main && main->centralWidget())
        return main->centralWidget();
    return w;
}

class ProximityFilter : public QObject {
public:
    explicit ProximityFilter(CTablet* tablet) : tablet_(tablet) {
        if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == QCoreApplication::instance()) {
            if (type == QEvent::TabletEnterProximity)
                tablet_->DeliverProximity(true);
            else if (type == QEvent::TabletLeaveProximity)
                tablet_->DeliverProximity(false);
        } else if (type == QEvent::TabletPress || type == QEvent::TabletMove ||
                   type == QEvent::TabletRelease) {
            lastPen_ = static_cast<QTabletEvent*>(event)->globalPosition();
        } else if ((type == QEvent::MouseButtonPress || type == QEvent::MouseMove ||
                    type == QEvent::MouseButtonRelease) &&
                   tablet_->PenInRange() &&
                   FromRealMouse(static_cast<QMouseEvent*>(event), lastPen_)) {
            // The mouse is in use: a pen that left without a word is out of range.
            tablet_->DeliverProximity(false);
        }
        return false;
    }

private:
    CTablet* tablet_;
    QPointF lastPen_{-1e9, -1e9};  // global position of the last tablet event
};

class QtTablet final : public CTablet {
public:
    QtTablet() : proximity_(this) {}

    void ScreenSize(double& width, double& height) const override {
        const QWidget* w = WindowOf(Window());
        const QRect desktop = Desktop(w);
        width = desktop.width() * Dpr(w);
        height = desktop.height() * Dpr(w);
    }

    void ClientToScreen(TabletWindowHandle hWnd, double& x, double& y) const override {
        const QWidget* w = WindowOf(hWnd);
        if (!w) throw TabletError("The tablet's window has gone");
        const QPointF origin =
            ClientArea(w)->mapToGlobal(QPointF(0, 0)) - QPointF(Desktop(w).topLeft());
        x = origin.x() * Dpr(w);
        y = origin.y() * Dpr(w);
    }

    bool DeviceListed() const override {
        const QList<const QInputDevice*> devices = QInputDevice::devices();
        return std::any_of(devices.begin(), devices.end(), IsTablet);
    }

private:
    ProximityFilter proximity_;
};

}  // namespace

std::unique_ptr<CTablet> CreateQtTablet() {
    if (!QCoreApplication::instance())
        throw TabletError("Tablet events need the application object");
    return std::make_unique<QtTablet>();
}

TabletWindowHandle TabletWindowOf(QWidget* w) {
    return w ? static_cast<TabletWindowHandle>(w->window()->winId()) : 0;
}

void RecordTabletEvent(CTablet& tablet, QWidget* receiver, const QTabletEvent& event) {
    // Some drivers never report proximity: a pen that reports is in range.
    if (!tablet.PenInRange()) tablet.DeliverProximity(true);
    const QPointF at =
        (event.globalPosition() - QPointF(Desktop(receiver).topLeft())) * Dpr(receiver->window());
    const bool eraser = event.pointerType() == QPointingDevice::PointerType::Eraser;
    tablet.DeliverPen(TabletWindowOf(receiver), at.x(), at.y(), event.pressure(),
                      AltitudeFromTilt(event.xTilt(), event.yTilt(), eraser));
}
