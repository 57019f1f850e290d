#include "canvas/qt/unsent_painting.h"

#include "core/module1.h"
#include "host/qt/file_host.h"
#include "host/qt/rescue_copy.h"

QString SaveUnsentPainting(const QString& why, QString* saved) {
    saved->clear();
    // The file host's failure is its own message; one from before its write (a fetch, the
    // memory) finds the painting saved by nobody yet.
    const auto* file = dynamic_cast<FileHost*>(Module1.Host.get());
    if (file && !why.isEmpty() && why == file->WriteBackFailure()) {
        *saved = file->RescuedAs();
        return {};
    }
    return KeepPaintingAsRescue(saved);
}

QString KeepPaintingAsRescue(QString* saved) {
    saved->clear();
    const Module1State& m = Module1;
    ImageDocument doc;
    const auto* file = dynamic_cast<FileHost*>(m.Host.get());
    doc.path =
        file ? file->document().path : RescueFolderOfData() + QStringLiteral("/marlo-painting.png");
    doc.r = m.RPlane;
    doc.g = m.GPlane;
    doc.b = m.BPlane;
    QString failed;
    *saved = WriteRescueCopy(doc, &failed);
    return saved->isEmpty() ? QStringLiteral("No rescue copy could be %1").arg(failed)
                            : QStringLiteral("The painting was saved as %1").arg(*saved);
}
