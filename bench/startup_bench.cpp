#include "startup_bench.h"
#include "app/engine_reset.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "app/qt/application.h"
#include "app/startup.h"
#include "bench_scene.h"
#include "canvas/dibs.h"
#include "canvas/image_exchange.h"
#include "core/module1.h"
#include "figures.h"
#include "palette/slider_roles.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the canvas window does when the host shows it, without the window itself: the brush
// at its design values and the first full paint of the image.
class FirstPaintWindow : public HostCallbackTarget {
public:
    void PrefsCallback() override {}
    void ShowCanvas() override {
        Module1State& m = Module1;
        m.StampStrength = DesignOf(kPressSlider).start;
        m.BrushSize = DesignOf(kSizeSlider).start;
        m.BrushOpacity = DesignOf(kOpacitySlider).start;
        m.StampSpacing = DesignOf(kStepSlider).start;
        displaybuffers();
    }
};

QString WriteImage(const QTemporaryDir& dir) {
    QImage image(kCanvasSize, kCanvasSize, QImage::Format_RGB32);
    for (int y = 0; y < kCanvasSize; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kCanvasSize; ++x)
            row[x] = qRgb(((x + y) >> 5) & 0xFF, 128 + ((x >> 4) & 0x7F), 255 - ((y >> 4) & 0xFF));
    }
    const QString path = dir.filePath(QStringLiteral("canvas.png"));
    if (!image.save(path)) throw std::runtime_error("cannot write the start-up image");
    return path;
}

// Smooth light and colour over the picture with a camera's grain: it compresses as photographs
// do, unlike a flat pattern.
QString WritePhoto(const QTemporaryDir& dir, int size) {
    QImage image(size, size, QImage::Format_RGB32);
    uint32_t grain = 12345;
    for (int y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double fy = static_cast<double>(y) / size;
        for (int x = 0; x < size; ++x) {
            const double fx = static_cast<double>(x) / size;
            grain = grain * 1664525u + 1013904223u;
            const int n = static_cast<int>(grain >> 29) - 4;  // -4 .. 3
            const int light = static_cast<int>(90 + 80 * fx * (1 - fy) + 40 * fy * fy);
            row[x] = qRgb(std::clamp(light + 40 * static_cast<int>(fx * 3) % 60 + n, 0, 255),
                          std::clamp(light + 20 + n, 0, 255),
                          std::clamp(static_cast<int>(200 - 120 * fy) + n, 0, 255));
        }
    }
    const QString path = dir.filePath(QStringLiteral("photo.png"));
    QImageWriter writer(path, "png");
    writer.setCompression(1);  // making the input is not measured
    if (!writer.write(image)) throw std::runtime_error("cannot write the large image");
    return path;
}

}  // namespace

namespace {

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count() * 1e3;
}

// A fresh start on cl's image up to the first paint: the milliseconds until the host had the
// file read, and until the first paint.
struct StartTimes {
    double hostMs, paintMs;
};
StartTimes StartOn(const CommandLine& cl) {
    static BenchSurface surface;
    static FirstPaintWindow window;  // the host keeps it until the next start
    ResetEngine();
    Dibs.View = &surface;
    const auto t0 = Clock::now();
    QString error, notice;
    std::shared_ptr<Host> host = MakeHost(cl, &error, &notice);
    if (!host) throw std::runtime_error(error.toStdString());
    const double hostMs = MsSince(t0);
    Main(host, []() -> HostCallbackTarget* { return &window; });
    return {hostMs, MsSince(t0)};
}

}  // namespace

LargeImageFigures MeasureLargeImage(int size) {
    QTemporaryDir dir;
    CommandLine cl;
    cl.image = WritePhoto(dir, size);
    LargeImageFigures f;
    f.startMs = StartOn(cl).paintMs;
    Module1.RPlane.at(size / 2, size / 2) ^= 1;  // a stroke's worth of change
    const auto t0 = Clock::now();
    WriteImageBack({});
    f.closeMs = MsSince(t0);
    if (!QFileInfo::exists(cl.image + QLatin1Char('~')))
        throw std::runtime_error("the large image was not written back");
    ResetEngine();
    return f;
}

StartupFigures MeasureStartup(int runs) {
    QTemporaryDir dir;
    CommandLine cl;
    cl.image = WriteImage(dir);
    std::vector<double> total, load;
    for (int i = 0; i < runs; ++i) {
        const StartTimes t = StartOn(cl);
        total.push_back(t.paintMs);
        load.push_back(t.hostMs);
    }
    ResetEngine();
    return {Median(total), Median(load)};
}
