#include "host/qt/tarnwick_window.h"

#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QScrollArea>
#include <QVBoxLayout>

#include "host/qt/file_host.h"
#include "host/qt/tarnwick_service.h"

QImage DocumentPicture(const ImageDocument& doc) {
    const bool alpha = !doc.alpha.empty();
    QImage picture(doc.width(), doc.height(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < doc.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        const uint8_t *r = doc.r.row(y), *g = doc.g.row(y), *b = doc.b.row(y);
        const uint8_t* a = alpha ? doc.alpha.row(y) : nullptr;
        for (int x = 0; x < doc.width(); ++x) line[x] = qRgba(r[x], g[x], b[x], a ? a[x] : 255);
    }
    return picture;
}

TarnwickWindow::TarnwickWindow(const FileHost* document, TarnwickService* service, QWidget* parent)
    : QMainWindow(parent),
      document_(document),
      service_(service),
      view_(new QLabel),
      status_(new QLabel) {
    setWindowTitle(
        QStringLiteral("tarnwick-host - %1").arg(QFileInfo(document->document().path).fileName()));
    // Above the image, what the host serves and what Marlo does with it, wrapped to the window.
    auto* scroll = new QScrollArea;
    scroll->setWidget(view_);
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    status_->setWordWrap(true);
    status_->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(status_);
    layout->addWidget(scroll, 1);
    setCentralWidget(central);

    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Marlo"));
    prefsAction_ = menu->addAction(QStringLiteral("Apply theme to Marlo"));
    prefsAction_->setEnabled(false);
    connect(prefsAction_, &QAction::triggered, this, [this] {
        if (service_->form()) service_->form()->PrefsCallback();
    });
    // What it serves and how to start Marlo beside it, until Marlo comes; then what Marlo does.
    const QString name = QFileInfo(document->document().path).fileName();
    status_->setText(
        QStringLiteral("Serving %1 to Marlo. Start Marlo with: marlo --dbus").arg(name));
    connect(service_, &TarnwickService::formReceived, this, [this, name] {
        prefsAction_->setEnabled(true);
        status_->setText(
            QStringLiteral("Marlo is painting %1. Its Send image and its closing write the file.")
                .arg(name));
        if (RemoteForm* form = service_->form())
            connect(form, &RemoteForm::prefsCallbackAnswered, this, [this](const QString& error) {
                status_->setText(
                    error.isEmpty()
                        ? QStringLiteral("Marlo took the theme again.")
                        : QStringLiteral("Marlo could not take the theme: %1").arg(error));
            });
    });
    Redraw();
}

void TarnwickWindow::Redraw() {
    view_->setPixmap(QPixmap::fromImage(DocumentPicture(document_->document())));
    view_->adjustSize();
}
