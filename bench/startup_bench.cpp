#include "startup_bench.h"

#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "app/qt/application.h"
#include "app/module1.h"
#include "app/startup.h"
#include "bench_scene.h"
#include "canvas/dibs.h"
#include "figures.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the canvas window does when the host shows it, without the window itself: the brush
// at its design values and the first full paint of the image.
class FirstPaintWindow : public HostCallbackTarget {
public:
    void PrefsCallback() override {}
    void ShowCanvas() override {
        Module1State& m = Module1;
        m.StrokePoints.assign(static_cast<size_t>(kStrokeRows) * 3, 0.0f);
        m.StampStrength = 255;
        m.BrushSize = 2;
        m.BrushOpacity = 255;
        m.StampSpacing = 15;
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

}  // namespace

StartupFigures MeasureStartup(int runs) {
    QTemporaryDir dir;
    CommandLine cl;
    cl.image = WriteImage(dir);
    static BenchSurface surface;
    FirstPaintWindow window;
    std::vector<double> total, load;
    for (int i = 0; i < runs; ++i) {
        ResetModule1();
        DeleteDisplayBitmap();
        Dibs.View = &surface;
        const auto t0 = Clock::now();
        QString error, notice;
        std::shared_ptr<Host> host = MakeHost(cl, &error, &notice);
        if (!host) throw std::runtime_error(error.toStdString());
        const auto t1 = Clock::now();
        Main(host, [&window]() -> HostCallbackTarget* { return &window; });
        const auto t2 = Clock::now();
        total.push_back(std::chrono::duration<double>(t2 - t0).count() * 1e3);
        load.push_back(std::chrono::duration<double>(t1 - t0).count() * 1e3);
    }
    ResetModule1();
    return {Median(total), Median(load)};
}
