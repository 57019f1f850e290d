// Form1: the canvas window. It shows the image at the current zoom and scroll and turns
// pointer and key events into the handlers of the engine. The client area is CanvasView.
#pragma once
#include <QMainWindow>
#include <QWidget>
#include <memory>

#include "canvas/canvas_surface.h"
#include "canvas/qt/palette_window.h"
#include "host/host.h"

class QAction;
class QHBoxLayout;
class QTimer;

class Form1;
class CTablet;

// The client area: paints from the display bitmap and delivers pointer and key events.
// The engine's client pixels are device pixels: one display-bitmap pixel is one pixel of the
// screen at any device pixel ratio. Qt's logical coordinates are converted here, at the edge.
class CanvasView : public QWidget {
    Q_OBJECT
public:
    explicit CanvasView(Form1* form);

    // Device pixels per logical pixel of this view.
    qreal Dpr() const { return devicePixelRatioF(); }
    // The canvas's keys, also when the palette or the menu bar holds the keyboard. True when
    // the key was the canvas's.
    bool CanvasKeyPress(QKeyEvent* event);
    bool CanvasKeyRelease(QKeyEvent* event);
    // The pointer: a circle of the brush at the current zoom, a cross when that is under four
    // screen pixels, a colour picker while picking colours, a hand while Space is held.
    void UpdateCursor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void tabletEvent(QTabletEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab is a key of the canvas (it brings the palette back), not a focus move.
    bool focusNextPrevChild(bool) override { return false; }

private:
    // Shift bits of a pointer event: Space held, or a drag that began with it, pans as
    // Shift+Ctrl does.
    int16_t PointerShift(const QMouseEvent* event) const;
    // The main keyboard's virtual key of event (comma, =/+, -), or 0.
    int VirtualKey(const QKeyEvent* event) const;

    Form1* form_;
    // The comma key's scan code, learnt when it is first typed: with Shift it gives another
    // character ('<' on US keyboards, ';' on German ones), yet its release must end the pick.
    quint32 commaScanCode_ = 0;
    bool spaceHeld_ = false;
    bool spacePan_ = false;  // a left drag begun with Space held: it pans until its release
    QPoint wheelRest_;       // wheel turns of less than a notch, kept for the next event
    qreal cursorRadius_ = -1, cursorDpr_ = 0;  // what the brush pointer was drawn for
    bool pickerShown_ = false;                 // the colour picker is the pointer
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

    // Keeps the window's frame inside the screen's available area.
    void KeepOnScreen();
    // The palette brought back (Options > Show tools, Tab): docked, or as a tool window at its
    // last place, above the canvas.
    void ShowTools();
    // Options > "Close without sending back...": asks, keeps the painting as a rescue copy and
    // closes leaving the host's image as it is.
    void CloseWithoutSending();
    // The palette inside this window at its right edge, or a tool window of its own beside it.
    // The view keeps its size. Where the platform cannot place windows the palette stays docked.
    void SetToolsDocked(bool docked);
    bool ToolsDocked() const { return toolsDocked_; }
    // Whether the window system lets a program place its windows (not so under Wayland).
    static bool PlatformPlacesWindows();

    // Schedules the idle turns that compress the undo history (what the composition root
    // wires to Wiring.UndoPackingWanted); it only schedules, so the release may call it.
    void WantUndoPacking();
    // Keeps the brush in the settings store once the event in hand is done (after each stroke,
    // so that a killed process still starts next time with the brush it painted with).
    void KeepBrushSoon();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void GetPaperMenu_ClickHandler();
    void KeysMenu_Click();
    void ReleaseWindows(bool shutTablet);
    // The palette tool window put above the canvas (a window manager may have put another
    // program's window between them).
    void RaiseTools();
    // The largest client area, in device pixels, whose window fits the screen's available area
    // (beside a docked palette).
    QSize ClientRoom() const;
    int DockedToolsWidth() const;

    CanvasView* view_;
    QHBoxLayout* row_ = nullptr;  // the client area: the view, then a docked palette
    QAction* dockTools_ = nullptr;
    bool toolsDocked_ = false;
    Qt::WindowFlags toolFlags_;  // the palette's own window flags, for undocking
    PaletteWindow* palette_ = nullptr;
    QTimer* packTimer_ = nullptr;  // the undo packing's idle turns, a child of the window
    bool loaded_ = false;
    bool closeWaiting_ = false;  // a close waits for an open box to end
    bool leaveHost_ = false;     // the close writes nothing back (CloseWithoutSending)
};
