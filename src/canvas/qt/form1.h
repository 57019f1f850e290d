// Form1: the canvas window. It shows the image at the current zoom and scroll and turns
// pointer and key events into the handlers of the engine. The client area is CanvasView.
#pragma once
#include <QMainWindow>
#include <QWidget>
#include <memory>

#include "canvas/canvas_surface.h"
#include "canvas/qt/palette_window.h"
#include "host/host.h"

class Form1;
class CTablet;

// The client area: paints from the display bitmap and delivers pointer and key events.
class CanvasView : public QWidget {
    Q_OBJECT
public:
    explicit CanvasView(Form1* form);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void tabletEvent(QTabletEvent* event) override;

private:
    Form1* form_;
    // From a pen's press or release to the pointer press or release that Qt makes of it: Qt
    // may send a move of its own to the pen's position in between.
    bool penButtonPending_ = false;
    QPointF penButtonAt_;
};

class Form1 : public QMainWindow, public CanvasSurface, public HostCallbackTarget {
    Q_OBJECT
public:
    Form1();
    ~Form1() override;

    CanvasView* view() const { return view_; }
    PaletteWindow* palette() const { return palette_; }

    // CanvasSurface
    int ClientWidth() const override;
    int ClientHeight() const override;
    bool IsVisible() const override { return isVisible(); }
    void SetCaption(const std::string& text) override;
    void BitBlt(int dx, int dy, int w, int h, int sx, int sy) override;
    void FillBackground(int x1, int y1, int x2, int y2) override;
    void ResizeClient(int w, int h) override;

    // HostCallbackTarget
    void PrefsCallback() override;
    void ShowCanvas() override;

    void Form_Load();
    // A typed character: "u" (117, lower case only) undoes the last step.
    void Form_KeyPress(int16_t KeyAscii);
    // The close request: writes the image back, or asks when the host's size has changed.
    // Returns true when the window may close.
    bool Form_Unload();

    // The tablet, from the start to the end of the run; null when it could not be created.
    std::unique_ptr<CTablet> Tablet;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void GetPaperMenu_ClickHandler();
    void ReleaseWindows(bool shutTablet);

    CanvasView* view_;
    PaletteWindow* palette_ = nullptr;
    bool loaded_ = false;
};
