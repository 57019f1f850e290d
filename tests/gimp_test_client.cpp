// A scripted Marlo for the GIMP plug-in's tests. Started by the plug-in as `CLIENT --dbus`, it
// reads the layer and the paper as Marlo does, keeps what it read in $MARLO_TEST_REPORT
// (read-N.png, paper-N.png for the Nth run), paints the known change and sends the image back.
// On the layers kMergeLayer and kGoneLayer it runs Marlo's engine instead: it paints the known
// change on the canvas, has GIMP change the layer or remove it meanwhile (marlo-test-gimp-side),
// and closes as Marlo does: the write-back merges the two, answering Yes to its question, or the
// painting goes to a rescue copy.
// `CLIENT --grab FILE` saves a picture of the whole screen instead (scripts/gimp-screenshot.sh).
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>

#include "app/engine_reset.h"
#include "app/startup.h"
#include "canvas/image_exchange.h"
#include "canvas/qt/unsent_painting.h"
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

// Asks marlo-test-gimp-side to do `request` in GIMP and waits for it to be done.
void InGimp(const QString& request) {
    const QDir report(qEnvironmentVariable("MARLO_TEST_REPORT"));
    QFile part(report.filePath(QStringLiteral("gimp-side.part")));
    if (!part.open(QIODevice::WriteOnly) || part.write(request.toUtf8()) < 0)
        throw std::runtime_error("cannot write the request for GIMP");
    part.close();
    QFile::remove(report.filePath(QStringLiteral("gimp-side.done")));
    part.rename(report.filePath(QStringLiteral("gimp-side.request")));
    QFile done(report.filePath(QStringLiteral("gimp-side.done")));
    QElapsedTimer timer;
    timer.start();
    while (!done.open(QIODevice::ReadOnly)) {
        if (timer.elapsed() > 30000)
            throw std::runtime_error("GIMP did not do " + request.toStdString());
        QThread::msleep(20);
    }
    const QByteArray answer = done.readAll();
    if (answer != "ok") throw std::runtime_error("GIMP: " + answer.toStdString());
}

// Marlo's engine on the layer while GIMP changes it, closed as Marlo closes: the write-back
// merges the painting and GIMP's change ("merge"), or, the layer gone ("layer-gone"), fails and
// the painting goes to a rescue copy.
int PaintWhileTheLayerChanges(std::shared_ptr<Host> host) {
    const bool remove = host->ImageName() == kGoneLayer;
    ResetEngine();
    Main(host, nullptr);
    PaintKnownChange(Module1.RPlane, Module1.GPlane, Module1.BPlane);
    InGimp(QStringLiteral("%1 %2").arg(remove ? QStringLiteral("remove") : QStringLiteral("fill"),
                                       QString::fromStdString(host->ImageName())));
    bool written = false;
    QString why;
    try {
        written = WriteBack::kWritten == WriteImageBack([](const std::string& question) {
                      std::fprintf(stderr, "client: asked \"%s\"\n", question.c_str());
                      return true;
                  });
    } catch (const std::exception& e) {
        why = QString::fromUtf8(e.what());
        std::fprintf(stderr, "client: the write-back failed: %s\n", e.what());
    }
    int status = 0;
    if (remove) {
        QString saved;
        const QString said = SaveUnsentPainting(why, &saved);
        std::fprintf(stderr, "client: %s\n", qPrintable(said));
        status = written || saved.isEmpty() ? 4 : 0;
    } else if (!written) {
        std::fprintf(stderr, "client: the merge was not written\n");
        status = 4;
    }
    Module1.Host.reset();
    ResetEngine();
    return status;
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
        if (host->ImageName() == kMergeLayer || host->ImageName() == kGoneLayer)
            return PaintWhileTheLayerChanges(host);
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
