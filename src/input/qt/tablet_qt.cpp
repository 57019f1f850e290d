#include "input/qt/tablet_qt.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTabletEvent>
#include <QWidget>

namespace {

// The whole desktop, every monitor, in Qt's device-independent pixels: the screen that
// packets span. Global positions are measured from its top-left corner.
QRect Desktop(const QWidget* w) {
    QScreen* screen = w ? w->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) throw TabletError("There is no screen");
    return screen->virtualGeometry();
}

QWidget* WindowOf(TabletWindowHandle hWnd) { return hWnd ? QWidget::find(static_cast<WId>(hWnd)) : nullptr; }

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
        if (watched == QCoreApplication::instance()) {
            if (event->type() == QEvent::TabletEnterProximity) tablet_->DeliverProximity(true);
            else if (event->type() == QEvent::TabletLeaveProximity) tablet_->DeliverProximity(false);
        }
        return false;
    }

private:
    CTablet* tablet_;
};

class QtTablet final : public CTablet {
public:
    QtTablet() : proximity_(this) {}

    void ScreenSize(double& width, double& height) const override {
        const QRect desktop = Desktop(WindowOf(Window()));
        width = desktop.width();
        height = desktop.height();
    }

    void ClientToScreen(TabletWindowHandle hWnd, double& x, double& y) const override {
        const QWidget* w = WindowOf(hWnd);
        if (!w) throw TabletError("The tablet's window has gone");
        const QPointF origin = ClientArea(w)->mapToGlobal(QPointF(0, 0)) - QPointF(Desktop(w).topLeft());
        x = origin.x();
        y = origin.y();
    }

private:
    ProximityFilter proximity_;
};

}  // namespace

std::unique_ptr<CTablet> CreateQtTablet() {
    if (!QCoreApplication::instance()) throw TabletError("Tablet events need the application object");
    return std::make_unique<QtTablet>();
}

TabletWindowHandle TabletWindowOf(QWidget* w) {
    return w ? static_cast<TabletWindowHandle>(w->window()->winId()) : 0;
}

void RecordTabletEvent(CTablet& tablet, QWidget* receiver, const QTabletEvent& event) {
    const QPointF at = event.globalPosition() - QPointF(Desktop(receiver).topLeft());
    const bool eraser = event.pointerType() == QPointingDevice::PointerType::Eraser;
    tablet.DeliverPen(TabletWindowOf(receiver), at.x(), at.y(), event.pressure(),
                      AltitudeFromTilt(event.xTilt(), event.yTilt(), eraser));
}
