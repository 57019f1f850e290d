// marlo-picture OUT.png: starts Marlo on a generated picture, paints a few strokes with real
// pointer events, and writes the canvas and the palette side by side (the README's picture).
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

#include "app/qt/application.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/palette_window.h"
#include "core/module1.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/trackle.h"

namespace {

void Send(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button,
          Qt::MouseButtons held) {
    QMouseEvent e(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// One stroke through the points of f(t), t in 0..1.
template <typename F>
void Stroke(QWidget* view, F f, int steps) {
    Send(view, QEvent::MouseButtonPress, f(0.0), Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i < steps; ++i)
        Send(view, QEvent::MouseMove, f(double(i) / steps), Qt::NoButton, Qt::LeftButton);
    Send(view, QEvent::MouseButtonRelease, f(1.0), Qt::LeftButton, Qt::NoButton);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: marlo-picture OUT.png\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString image = dir.filePath("sky.png");
    QImage sky(420, 300, QImage::Format_RGB32);
    for (int y = 0; y < sky.height(); ++y)
        for (int x = 0; x < sky.width(); ++x)
            sky.setPixel(x, y, qRgb(200 + y / 6, 220 + y / 12, 250 - y / 10));
    sky.save(image);

    CommandLine cl;
    cl.image = image;
    QString error, notice;
    auto host = MakeHost(cl, &error, &notice);
    Form1* window = host ? StartMarlo(host, &error) : nullptr;
    if (!window) {
        std::fprintf(stderr, "marlo-picture: %s\n", qPrintable(error));
        return 1;
    }
    QApplication::processEvents();
    QWidget* view = window->view();
    auto* tools = dynamic_cast<Form2*>(window->palette());
    if (!tools) {
        std::fprintf(stderr, "marlo-picture: no palette\n");
        return 1;
    }
    // Settings go through the palette's own controls, so the picture shows them.
    tools->Trackle1->setValue(9);
    tools->SetRed(30), tools->SetGreen(60), tools->SetBlue(140);
    tools->DrawTriangle();
    Stroke(
        view, [](double t) { return QPointF(40 + 340 * t, 150 + 70 * std::sin(t * 6.28)); }, 60);
    tools->Trackle1->setValue(6);
    tools->Trackle7->setValue(120);
    tools->SetRed(200), tools->SetGreen(40), tools->SetBlue(30);
    tools->DrawTriangle();
    tools->kt_button7_MouseDown(1, 0, 5, 5);  // the Gel brush
    Stroke(
        view, [](double t) { return QPointF(60 + 300 * t, 60 + 160 * t * t); }, 50);
    QApplication::processEvents();

    const QPixmap canvas = window->grab();
    const QPixmap palette = window->palette() ? window->palette()->Widget()->grab() : QPixmap();
    QImage out(canvas.width() + palette.width(), std::max(canvas.height(), palette.height()),
               QImage::Format_RGB32);
    out.fill(QColor(60, 60, 60));
    QPainter p(&out);
    p.drawPixmap(0, 0, canvas);
    p.drawPixmap(canvas.width(), 0, palette);
    p.end();
    if (!out.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "marlo-picture: cannot write %s\n", argv[1]);
        return 1;
    }
    delete window;
    return 0;
}
