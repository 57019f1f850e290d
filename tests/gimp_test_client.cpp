// A scripted Marlo for the GIMP plug-in's tests. Started by the plug-in as `CLIENT --dbus`, it
// reads the layer and the paper as Marlo does, keeps what it read in $MARLO_TEST_REPORT
// (read-N.png, paper-N.png for the Nth run), paints the known change and sends the image back.
// On the layer kMergeLayer it runs Marlo's engine instead: it paints the known change on the
// canvas, another editor on a connection of its own changes the layer meanwhile (OtherChange),
// and the engine's write-back merges the two, answering Yes to its question.
// `CLIENT --grab FILE` saves a picture of the whole screen instead (scripts/gimp-screenshot.sh).
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>

#include "app/engine_reset.h"
#include "app/startup.h"
#include "canvas/image_exchange.h"
#include "core/module1.h"
#include "gimp_test_change.h"
#include "host/qt/dbus_host.h"

namespace {

QImage Colour(const Plane& r, const Plane& g, const Plane& b) {
    QImage image(r.width, r.height, QImage::Format_RGB888);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            image.setPixel(x, y, qRgb(r.at(x, y), g.at(x, y), b.at(x, y)));
    return image;
}

// The other editor: fetches the layer as it is, changes it and writes it back.
void ChangeFromElsewhere() {
    QString error;
    const auto other = ConnectDbusHost(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other")), {},
        &error);
    if (!other) throw std::runtime_error("the other editor: " + error.toStdString());
    Plane r = other->Tarn_GetRBuffer(), g = other->Tarn_GetGBuffer(), b = other->Tarn_GetBBuffer();
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            if (InOtherChange(x, y)) OtherChange(x, y, &r.at(x, y), &g.at(x, y), &b.at(x, y));
    other->Tarn_SaveUndo();
    other->Tarn_SetRbuffer(r);
    other->Tarn_SetGbuffer(g);
    other->Tarn_SetBbuffer(b);
    other->tarn_Refresh();
}

// Marlo's engine on the layer: the painting and the other editor's change merged at the close.
void PaintWhileTheLayerChanges(std::shared_ptr<Host> host) {
    ResetEngine();
    Main(host, nullptr);
    PaintKnownChange(Module1.RPlane, Module1.GPlane, Module1.BPlane);
    ChangeFromElsewhere();
    const WriteBack done = WriteImageBack([](const std::string& question) {
        std::fprintf(stderr, "client: asked \"%s\"\n", question.c_str());
        return true;
    });
    if (done != WriteBack::kWritten) throw std::runtime_error("the merge was not written");
    Module1.Host.reset();
    ResetEngine();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--grab") == 0) {
        QGuiApplication app(argc, argv);
        return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]))
                   ? 0
                   : 1;
    }
    QCoreApplication app(argc, argv);
    QString error;
    const auto host = ConnectDbusHost(&error);
    if (!host) {
        std::fprintf(stderr, "client: %s\n", qPrintable(error));
        return 2;
    }
    try {
        host->Tarn_GetPaperWidth();
        host->tarn_GetPaperHeight();
        const Plane paper = host->Tarn_GetPaper();
        host->Tarn_BufferWidth();
        host->Tarn_BufferHeight();
        QElapsedTimer timer;
        timer.start();
        Plane r = host->Tarn_GetRBuffer(), g = host->Tarn_GetGBuffer(), b = host->Tarn_GetBBuffer();
        const qint64 readMs = timer.elapsed();
        const QDir report(qEnvironmentVariable("MARLO_TEST_REPORT"));
        int run = 1;
        while (report.exists(QStringLiteral("read-%1.png").arg(run))) ++run;
        QImage grey(paper.bytes.data(), paper.width, paper.height, paper.width,
                    QImage::Format_Grayscale8);
        if (!grey.save(report.filePath(QStringLiteral("paper-%1.png").arg(run))) ||
            !Colour(r, g, b).save(report.filePath(QStringLiteral("read-%1.png").arg(run))))
            throw std::runtime_error("cannot write the report in " + report.path().toStdString());
        if (host->ImageName() == kMergeLayer) {
            PaintWhileTheLayerChanges(host);
            return 0;
        }
        PaintKnownChange(r, g, b);
        timer.restart();
        host->Tarn_SaveUndo();
        host->Tarn_SetRbuffer(r);
        host->Tarn_SetGbuffer(g);
        host->Tarn_SetBbuffer(b);
        host->tarn_Refresh();
        std::fprintf(stderr, "client: %d x %d: planes read in %lld ms, written back in %lld ms\n",
                     r.width, r.height, static_cast<long long>(readMs),
                     static_cast<long long>(timer.elapsed()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "client: %s\n", e.what());
        return 3;
    }
    return 0;
}
