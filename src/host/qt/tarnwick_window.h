// The reference host's own window: the image as the host holds it, redrawn on tarn_Refresh, a
// line saying what it serves and how to start Marlo beside it, and a menu to call
// PrefsCallback on the canvas window Marlo handed over ("Apply theme to Marlo").
#pragma once
#include <QMainWindow>

class QAction;
class QImage;
class QLabel;
class FileHost;
struct ImageDocument;
class TarnwickService;

class TarnwickWindow : public QMainWindow {
    Q_OBJECT

public:
    TarnwickWindow(const FileHost* document, TarnwickService* service, QWidget* parent = nullptr);
    // Shows the document's current planes.
    void Redraw();

private:
    const FileHost* document_;
    TarnwickService* service_;
    QLabel* view_;
    QLabel* status_;  // what the host serves, and what Marlo does with it
    QAction* prefsAction_;
};

// The document's planes as a picture, alpha included when the file has it.
QImage DocumentPicture(const ImageDocument& doc);
