// The palette on a real X server under a real window manager (Xvfb and openbox): after a click
// into another program and back onto the canvas, the palette is above the canvas. Skipped with a
// message where Xvfb or openbox cannot start.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <memory>

#include "qt_test_support.h"

namespace {

constexpr int kLimitMs = 30000;

// True once cond holds, looking again every few milliseconds; false after kLimitMs.
bool WaitUntil(const std::function<bool()>& cond) {
    const QDeadlineTimer deadline(kLimitMs);
    while (!cond()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
    return true;
}

class XServer {
public:
    ~XServer() {
        for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(10000)) (*it)->kill();
            (*it)->waitForFinished(10000);
        }
    }
    // Xvfb on a display it chooses, then openbox on it; an empty string when either fails.
    QString Start(const QString& screen) {
        QProcess* xvfb =
            Spawn("Xvfb", {"-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp"});
        QByteArray seen;
        if (!WaitForOutput(*xvfb, &seen, "\n", QProcess::StandardOutput, kLimitMs)) return {};
        display_ = ":" + QString::fromLatin1(seen.trimmed());
        Spawn("openbox", {});
        if (!WaitUntil([&] {
                return Run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
            }))
            return {};
        return display_;
    }
    QProcess* Spawn(const QString& program, const QStringList& args, const QStringList& env = {}) {
        auto* p = children_.emplace_back(std::make_unique<QProcess>()).get();
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        if (!display_.isEmpty()) e.insert("DISPLAY", display_);
        for (const QString& kv : env) e.insert(kv.section('=', 0, 0), kv.section('=', 1));
        p->setProcessEnvironment(e);
        p->start(program, args);
        p->waitForStarted();
        return p;
    }
    QByteArray Run(const QString& program, const QStringList& args) const {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("DISPLAY", display_);
        p.setProcessEnvironment(e);
        p.start(program, args);
        p.waitForFinished(kLimitMs);
        return p.readAllStandardOutput();
    }
    // The frame of a top-level window, from xwininfo.
    QRect Frame(const QByteArray& id) const {
        const QByteArray info = Run("xwininfo", {"-frame", "-id", QString::fromLatin1(id)});
        auto field = [&](const char* name) {
            const int at = info.indexOf(name);
            return at < 0 ? -1 : info.mid(at + qstrlen(name)).trimmed().split('\n')[0].toInt();
        };
        return QRect(field("Absolute upper-left X:"), field("Absolute upper-left Y:"),
                     field("Width:"), field("Height:"));
    }
    // Window ids bottom to top, as the window manager stacks them.
    QList<QByteArray> Stacking() const {
        QList<QByteArray> ids;
        const QByteArray line = Run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
        const int hash = line.indexOf('#');
        if (hash < 0) return ids;
        for (const QByteArray& id : line.mid(hash + 1).split(','))
            ids << QByteArray::number(id.trimmed().toUInt(nullptr, 16));
        return ids;
    }
    QByteArray Find(const char* title) const {
        return Run("xdotool", {"search", "--name", title}).trimmed().split('\n').value(0);
    }
    void Click(QPoint at) const {
        Run("xdotool",
            {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

private:
    QString display_;
    std::vector<std::unique_ptr<QProcess>> children_;
};

TEST(RealX, PaletteStaysAboveTheCanvasAfterAClickElsewhereAndBack) {
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "xmessage"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/deps.sh installs it)";
    XServer x;
    if (x.Start("1366x768x24").isEmpty()) GTEST_SKIP() << "Xvfb with openbox did not start";

    // An image larger than the screen.
    const QString image = TempDir() + "/real-x.png";
    QImage picture(1600, 1000, QImage::Format_RGB32);
    picture.fill(QColor(200, 180, 160));
    ASSERT_TRUE(picture.save(image));
    QProcess* marlo = x.Spawn(qEnvironmentVariable("MARLO_BINARY_DIR") + "/src/marlo", {image},
                              {"QT_QPA_PLATFORM=xcb", "MARLO_SAY_READY=1"});
    QByteArray said;
    ASSERT_TRUE(WaitForOutput(*marlo, &said, "marlo: ready", QProcess::StandardError, kLimitMs))
        << said.toStdString();
    QByteArray canvas, tools;
    ASSERT_TRUE(WaitUntil([&] {
        canvas = x.Find("^Marlo for Tarnwick");
        tools = x.Find("^Tools$");
        return !canvas.isEmpty() && !tools.isEmpty();
    }));
    const QRect screen(0, 0, 1366, 768);
    // Both on the screen, the palette beside the canvas (the window manager places the canvas
    // after it shows; the palette follows).
    ASSERT_TRUE(WaitUntil([&] {
        const QRect c = x.Frame(canvas), t = x.Frame(tools);
        return screen.contains(c) && screen.contains(t) && !c.intersects(t);
    })) << "canvas "
        << x.Frame(canvas).width() << "x" << x.Frame(canvas).height();

    // Another program over the palette, clicked; then the canvas, clicked.
    const QRect t = x.Frame(tools);
    x.Spawn("xmessage", {"-geometry", QStringLiteral("400x600+%1+%2").arg(t.x() - 100).arg(t.y()),
                         "another program"});
    QByteArray other;
    ASSERT_TRUE(WaitUntil([&] {
        other = x.Find("^xmessage$");
        return !other.isEmpty() && x.Stacking().size() == 3;
    }));
    const QByteArray canvasId = QByteArray::number(canvas.toUInt());
    const QByteArray toolsId = QByteArray::number(tools.toUInt());
    const QByteArray otherId = QByteArray::number(other.toUInt());
    x.Click(x.Frame(other).center());
    ASSERT_TRUE(WaitUntil([&] { return x.Stacking().value(2) == otherId; }));
    const QRect c = x.Frame(canvas);
    x.Click(QPoint(c.x() + c.width() / 4, c.center().y()));
    const bool above = WaitUntil([&] {
        const QList<QByteArray> order = x.Stacking();
        return order == QList<QByteArray>{otherId, canvasId, toolsId};
    });
    EXPECT_TRUE(above) << "stacking, bottom first: " << x.Stacking().join(' ').toStdString()
                       << "; canvas " << canvasId.data() << ", tools " << toolsId.data()
                       << ", other " << otherId.data();
}

}  // namespace
