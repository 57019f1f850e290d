#include "canvas/qt/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "canvas/dibs.h"
#include "canvas/image_exchange.h"
#include "canvas/qt/menus.h"
#include "canvas/qt/report.h"
#include "canvas/qt/unsent_painting.h"
#include "canvas/qt/windows_state.h"
#include "canvas/undo.h"
#include "canvas/view_ops.h"
#include "canvas/zoom.h"
#include "core/errors.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "host/host.h"
#include "input/qt/mouse_bits.h"
#include "input/qt/tablet_qt.h"
#include "input/stroke_capture.h"
#include "input/tablet_handlers.h"

namespace {

// Virtual-key codes of the keys the canvas reacts to.
constexpr int kVkComma = 188, kVkPlus = 187, kVkMinus = 189;

// The virtual key of the main keyboard's comma, =/+ and - keys; the keypad's keys are others.
// Before any comma has been typed, Shift with '<' is taken for it; '<' without Shift comes from
// another key (the extra key of European keyboards).
int VirtualKeyOf(const QKeyEvent* e, quint32 commaScanCode) {
    const quint32 scan = e->nativeScanCode();
    if (e->key() == Qt::Key_Comma || (commaScanCode != 0 && scan == commaScanCode) ||
        (e->key() == Qt::Key_Less && (e->modifiers() & Qt::ShiftModifier)))
        return kVkComma;
    if (e->modifiers() & Qt::KeypadModifier) return 0;
    switch (e->key()) {
        case Qt::Key_Equal:
        case Qt::Key_Plus: return kVkPlus;
        case Qt::Key_Minus: return kVkMinus;
        default: return 0;
    }
}

// Only the left, right and middle buttons paint, sample and navigate; others (back, forward)
// are not the canvas's.
bool CanvasButton(Qt::MouseButton button) { return ButtonBits(button) != 0; }

// Bytes of saved planes compressed in one idle turn: about a millisecond of work, so that a
// press or a pointer move arriving meanwhile waits no longer than that.
constexpr int64_t kPackPerTurn = int64_t{512} << 10;

// The undo history's steps are compressed in idle turns after they are filed (never within the
// release), and the painter is told here when steps had to be dropped for the memory budget.
// The timer's turns start at WantUndoPacking.
QTimer* PackUndoWhenIdle(Form1* form) {
    auto* timer = new QTimer(form);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, form, [form, timer] {
        timer->stop();  // no turn runs inside a message box that this one opens
        const QPointer<Form1> alive(form);
        bool more = false;
        const bool ok = RunHandler(form, [&more] { more = PackUndo(kPackPerTurn); });
        if (!alive) return;
        if (ok && more) timer->start();
        const std::string notice = TakeUndoNotice();
        if (!notice.empty()) ShowMessage(form, QString::fromStdString(notice));
    });
    UndoBudgetBytes();  // the budget is a share of the memory available at start
    return timer;
}

// A rectangle of logical pixels as the device pixels it covers.
QRect DeviceRect(const QRect& r, qreal dpr) {
    return QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr).toAlignedRect();
}

// The logical pixels that cover a rectangle of device pixels.
QRect LogicalRect(const QRect& r, qreal dpr) {
    return QRectF(r.x() / dpr, r.y() / dpr, r.width() / dpr, r.height() / dpr).toAlignedRect();
}

// Below this radius in screen pixels the brush pointer is a plain cross; above the largest
// the circle stops growing (pointer images have a size limit on most systems).
constexpr qreal kSmallestBrushPointer = 4;
constexpr qreal kLargestBrushPointer = 250;

// A circle of the given radius in device pixels, a dark ring outside a light one so that it
// shows on any image, with a dot at the centre; the hot spot is the centre pixel.
QCursor BrushPointer(qreal radius, qreal dpr) {
    const int side = 2 * static_cast<int>(std::ceil(radius)) + 5;  // odd: one centre pixel
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(side / 2.0, side / 2.0);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 0, 0, 200), 1));
        p.drawEllipse(centre, radius + 0.5, radius + 0.5);
        p.setPen(QPen(QColor(255, 255, 255, 220), 1));
        p.drawEllipse(centre, radius - 0.5, radius - 0.5);
        p.fillRect(QRectF(side / 2, side / 2, 1, 1), QColor(0, 0, 0, 200));
    }
    image.setDevicePixelRatio(dpr);
    const int hot = static_cast<int>(std::lround((side / 2) / dpr));
    return QCursor(QPixmap::fromImage(image), hot, hot);
}

// While the comma key is held: a pipette whose tip, the hot spot, is the pixel sampled. Dark
// inside a light edge, so that it shows on any image.
QCursor PickerPointer(qreal dpr) {
    constexpr int kSide = 24;
    const QPointF tip(1.5, kSide - 1.5), neck(14, 10), bulb(17.5, 6.5);
    QImage image(static_cast<int>(std::ceil(kSide * dpr)), static_cast<int>(std::ceil(kSide * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpr, dpr);
        const QColor light(255, 255, 255, 230), dark(0, 0, 0, 230);
        p.setPen(QPen(light, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(tip, neck);
        p.setPen(QPen(dark, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(tip, neck);
        p.setPen(QPen(light, 1.5));
        p.setBrush(dark);
        p.drawEllipse(bulb, 5, 5);
    }
    image.setDevicePixelRatio(dpr);
    return QCursor(QPixmap::fromImage(image), 1, kSide - 2);
}

// The palette's place is remembered under the program's own name, apart from Tarnwick's theme.
const char* const kDockedKey = "palette/docked";

// Room left for a title bar and borders while the window manager has not yet framed the window.
constexpr QSize kFrameAllowance(12, 40);

// Everything the painter can do on the canvas, for Options > Keys and gestures.
const char* const kKeysText =
    "Keys and gestures of the canvas. The keys work while the canvas or the Tools palette is "
    "the active window.\n\n"
    "Left drag: paint a stroke.\n"
    "Comma held, then click or drag: take the colour under the pointer.\n"
    "Shift+Ctrl with a left drag, or Space held with a left drag: pan the image.\n"
    "Shift+Ctrl with a right drag: zoom (drag right to zoom in, left to zoom out).\n"
    "Ctrl with = (or +): zoom in one step; Ctrl with -: zoom out one step.\n"
    "Ctrl with the mouse wheel: zoom in or out about the pointer.\n"
    "Mouse wheel: scroll up and down; Shift with the mouse wheel: scroll left and right.\n"
    "[ and ]: brush size one step smaller or larger.\n"
    "u or Ctrl+Z: undo the last step (the same history as the Undo button).\n"
    "Ctrl+Shift+Z or Ctrl+Y: redo what undo took back.\n"
    "Ctrl+W or Ctrl+Q: close, writing the image back (as the close button does).\n"
    "Tab: bring the Tools palette back after its close box hid it (also Options, Show tools).\n\n"
    "On the Tools palette: drag the four-way arrow to pan (with the right button: zoom), drag "
    "the magnifier to zoom; click or drag on the colour triangle or the hue bar to choose a "
    "colour.";

const QString kSizeChangedText =
    QStringLiteral(
        "Can't copy buffer back to Project Tarnwick because the buffer size has changed") +
    QChar(13) + QStringLiteral("Loose all changes?");

}  // namespace

CanvasView::CanvasView(Form1* form) : QWidget(form), form_(form) {
    setObjectName("CanvasView");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_StaticContents);
    setMouseTracking(true);
    setAttribute(Qt::WA_TabletTracking);  // the pen's position is kept while it hovers too
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setAutoFillBackground(false);
}

void CanvasView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    // Painted in device pixels: the display bitmap's pixels land one on one on the screen's.
    const qreal dpr = Dpr();
    p.scale(1 / dpr, 1 / dpr);
    const QRect exposed = DeviceRect(event->rect(), dpr);
    const Module1State& m = Module1;
    const QRect image(m.ScrollX, m.ScrollY, Dibs.DisplayWidth, Dibs.DisplayHeight);
    const QRegion background = QRegion(exposed) - image;
    for (const QRect& r : background) p.fillRect(r, palette().color(QPalette::Window));
    if (!Dibs.DisplayBits) return;
    // The bitmap holds the part of the zoomed image the window shows, from display pixel
    // (Held.x0, Held.y0) on.
    const Rect& h = Dibs.Held;
    const QImage bitmap(reinterpret_cast<const uchar*>(Dibs.DisplayBits), h.x1 - h.x0, h.y1 - h.y0,
                        Dibs.DisplayInfo.biWidth * 4, QImage::Format_RGB32);
    const QRect held(m.ScrollX + h.x0, m.ScrollY + h.y0, h.x1 - h.x0, h.y1 - h.y0);
    const QRect target = held.intersected(exposed);
    if (!target.isEmpty()) p.drawImage(target, bitmap, target.translated(-held.topLeft()));
}

void CanvasView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Newly uncovered parts of the view get the image rendered into the display bitmap.
    if (Dibs.View) Form_Paint();
}

int16_t CanvasView::PointerShift(const QMouseEvent* event) const {
    return spacePan_ ? kShiftCtrl : ShiftBits(event->modifiers());
}

void CanvasView::mousePressEvent(QMouseEvent* event) {
    if (!CanvasButton(event->button())) return;
    penButtonPending_ = false;
    if (event->button() == Qt::LeftButton && spaceHeld_) spacePan_ = true;
    const qreal dpr = Dpr();
    float X = static_cast<float>(event->position().x() * dpr),
          Y = static_cast<float>(event->position().y() * dpr);
    const int16_t button = ButtonBits(event->button()), shift = PointerShift(event);
    RunHandler(form_, [&] { Form_MouseDown(button, shift, X, Y); });
    if (spacePan_) UpdateCursor();
}

void CanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (penButtonPending_ && event->position() == penButtonAt_) {
        penButtonPending_ = false;  // not a move of the pen: it would double the stroke's point
        return;
    }
    const qreal dpr = Dpr();
    float X = static_cast<float>(event->position().x() * dpr),
          Y = static_cast<float>(event->position().y() * dpr);
    const int16_t buttons = ButtonBits(event->buttons()), shift = PointerShift(event);
    RunHandler(form_, [&] { Form_MouseMove(buttons, shift, X, Y); });
    UpdateCursor();  // the zoom of a drag, or a size chosen on the palette meanwhile
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (!CanvasButton(event->button())) return;
    penButtonPending_ = false;
    const qreal dpr = Dpr();
    float X = static_cast<float>(event->position().x() * dpr),
          Y = static_cast<float>(event->position().y() * dpr);
    const int16_t button = ButtonBits(event->button()), shift = PointerShift(event);
    RunHandler(form_, [&] { Form_MouseUp(button, shift, X, Y); });
    form_->KeepBrushSoon();
    if (event->button() == Qt::LeftButton && spacePan_) {
        spacePan_ = false;
        UpdateCursor();
    }
}

void CanvasView::wheelEvent(QWheelEvent* event) {
    event->accept();
    const qreal dpr = Dpr();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const QPoint angle = event->angleDelta();
    if (mods & Qt::ControlModifier) {
        // A notch (120) is one step of the zoom keys; finer wheels add up to a notch.
        wheelRest_.ry() += angle.y() != 0 ? angle.y() : angle.x();
        const int notches = wheelRest_.y() / 120;
        if (notches == 0) return;
        wheelRest_.ry() -= notches * 120;
        const double X = event->position().x() * dpr, Y = event->position().y() * dpr;
        const float zoom = Module1.Zoom + kZoomStep * static_cast<float>(notches);
        RunHandler(form_, [&] { ZoomAbout(zoom, X, Y); });
        UpdateCursor();
        return;
    }
    // Touchpads report pixels; a wheel notch scrolls 60 logical pixels.
    QPointF d = !event->pixelDelta().isNull() ? QPointF(event->pixelDelta()) : QPointF(angle) / 2.0;
    if ((mods & Qt::ShiftModifier) && d.x() == 0) d = QPointF(d.y(), 0);
    const auto dx = static_cast<int32_t>(std::lround(d.x() * dpr));
    const auto dy = static_cast<int32_t>(std::lround(d.y() * dpr));
    RunHandler(form_, [&] { ScrollBy(dx, dy); });
}

void CanvasView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    // Space let go in another program never reaches us.
    if (!QApplication::activeWindow()) {
        spaceHeld_ = false;
        UpdateCursor();
    }
}

void CanvasView::tabletEvent(QTabletEvent* event) {
    // The packet only refines the pointer event that Qt makes of this tablet event once it
    // is left unaccepted; the stroke handlers work from that pointer event.
    if (form_->Tablet) RunHandler(form_, [&] { RecordTabletEvent(*form_->Tablet, this, *event); });
    penButtonPending_ =
        event->type() == QEvent::TabletPress || event->type() == QEvent::TabletRelease;
    penButtonAt_ = event->position();
    event->ignore();
}

void CanvasView::UpdateCursor() {
    const Module1State& m = Module1;
    const qreal dpr = Dpr();
    if (m.PickMode) {
        if (!pickerShown_ || dpr != cursorDpr_) setCursor(PickerPointer(dpr));
        pickerShown_ = true;
        cursorDpr_ = dpr;
        cursorRadius_ = -1;
        return;
    }
    pickerShown_ = false;
    if (spaceHeld_ || spacePan_) {
        const Qt::CursorShape shape = spacePan_ ? Qt::ClosedHandCursor : Qt::OpenHandCursor;
        if (cursor().shape() != shape) setCursor(shape);
        cursorRadius_ = -1;
        return;
    }
    const qreal radius = static_cast<qreal>(m.BrushSize) * m.Zoom;  // screen pixels
    if (!(radius >= kSmallestBrushPointer)) {
        if (cursorRadius_ != 0) setCursor(Qt::CrossCursor);
        cursorRadius_ = 0;
        return;
    }
    if (radius == cursorRadius_ && dpr == cursorDpr_) return;
    cursorRadius_ = radius;
    cursorDpr_ = dpr;
    setCursor(BrushPointer(std::min(radius, kLargestBrushPointer), dpr));
}

int CanvasView::VirtualKey(const QKeyEvent* event) const {
    return VirtualKeyOf(event, commaScanCode_);
}

bool CanvasView::CanvasKeyPress(QKeyEvent* event) {
    bool used = false;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (VirtualKey(event) == kVkComma) {
        if (event->nativeScanCode() != 0) commaScanCode_ = event->nativeScanCode();
        if (!event->isAutoRepeat()) {
            Module1.PickMode = kTrue;
            UpdateCursor();
        }
        used = true;
    } else if (event->key() == Qt::Key_Space && mods == Qt::NoModifier) {
        if (!event->isAutoRepeat()) {
            spaceHeld_ = true;
            UpdateCursor();
        }
        used = true;
    } else if (event->key() == Qt::Key_Tab && mods == Qt::NoModifier) {
        form_->ShowTools();
        used = true;
    } else if (event->key() == Qt::Key_Z && mods == Qt::ControlModifier) {
        RunHandler(form_, [] { PopUndo(); });  // the same history as "u"
        used = true;
    } else if ((event->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)) ||
               (event->key() == Qt::Key_Y && mods == Qt::ControlModifier)) {
        RunHandler(form_, [] { PopRedo(); });
        used = true;
    } else if ((event->key() == Qt::Key_W || event->key() == Qt::Key_Q) &&
               mods == Qt::ControlModifier) {
        // Queued: the close may ask, and the key's handler should be done by then.
        QMetaObject::invokeMethod(form_, "close", Qt::QueuedConnection);
        used = true;
    } else if (event->text() == "[" || event->text() == "]") {
        const int step = event->text() == "[" ? -1 : 1;
        if (PaletteWindow* palette = form_->palette()) {
            palette->StepSlider(kSizeSlider, step);
        } else {
            const SliderDesign& size = DesignOf(kSizeSlider);
            const float stepped = std::nearbyint(Module1.BrushSize) + static_cast<float>(step);
            Module1.BrushSize =
                std::clamp(stepped, static_cast<float>(size.min), static_cast<float>(size.max));
        }
        UpdateCursor();
        used = true;
    }
    const QString typed = event->text();
    if (typed.size() == 1) {
        form_->Form_KeyPress(static_cast<int16_t>(typed.at(0).unicode()));
        used = used || typed == QLatin1String("u");
    }
    return used;
}

bool CanvasView::CanvasKeyRelease(QKeyEvent* event) {
    if (event->isAutoRepeat()) return false;
    const int vk = VirtualKey(event);
    const int16_t shift = ShiftBits(event->modifiers());
    if (vk == kVkComma) {
        Module1.PickMode = kFalse;
    } else if (vk == kVkPlus && shift == kCtrlOnly) {
        RunHandler(form_, [] { ZoomKeyIn(); });
    } else if (vk == kVkMinus && shift == kCtrlOnly) {
        RunHandler(form_, [] { ZoomKeyOut(); });
    } else if (event->key() == Qt::Key_Space) {
        if (!spaceHeld_) return false;
        spaceHeld_ = false;
    } else {
        return false;
    }
    UpdateCursor();
    return true;
}

void CanvasView::keyPressEvent(QKeyEvent* event) {
    CanvasKeyPress(event);
    event->accept();
}

void CanvasView::keyReleaseEvent(QKeyEvent* event) { CanvasKeyRelease(event); }

Form1::Form1() {
    setObjectName("Form1");
    view_ = new CanvasView(this);
    // The client area: the view, and at its right a docked palette.
    auto* body = new QWidget(this);
    body->setObjectName("CanvasBody");
    row_ = new QHBoxLayout(body);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(0);
    row_->addWidget(view_, 1);
    setCentralWidget(body);
    QMenu* options = menuBar()->addMenu(QStringLiteral("Options"));
    options->setObjectName("OptionsMenu");
    QAction* undo = options->addAction(QStringLiteral("Undo"));
    undo->setObjectName("UndoMenu");
    undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    undo->setShortcutContext(Qt::WidgetShortcut);  // the keys themselves are the view's
    connect(undo, &QAction::triggered, this, [this] { RunHandler(this, [] { PopUndo(); }); });
    QAction* redo = options->addAction(QStringLiteral("Redo"));
    redo->setObjectName("RedoMenu");
    redo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    redo->setShortcutContext(Qt::WidgetShortcut);
    connect(redo, &QAction::triggered, this, [this] { RunHandler(this, [] { PopRedo(); }); });
    QAction* getPaper = options->addAction(QStringLiteral("Get paper"));
    getPaper->setObjectName("GetPaperMenu");
    connect(getPaper, &QAction::triggered, this, [this] { GetPaperMenu_ClickHandler(); });
    QAction* showTools = options->addAction(QStringLiteral("Show tools"));
    showTools->setObjectName("ShowToolsMenu");
    connect(showTools, &QAction::triggered, this, [this] { ShowTools(); });
    dockTools_ = options->addAction(QStringLiteral("Dock tools in the canvas window"));
    dockTools_->setObjectName("DockToolsMenu");
    dockTools_->setCheckable(true);
    if (!PlatformPlacesWindows()) {
        // The compositor places windows where it likes: the palette can only live in here.
        dockTools_->setChecked(true);
        dockTools_->setEnabled(false);
    }
    connect(dockTools_, &QAction::triggered, this, [this](bool docked) {
        if (const auto store = MarloSettings()) store->setValue(kDockedKey, docked);
        SetToolsDocked(docked);
    });
    QAction* resetBrush = options->addAction(QStringLiteral("Reset brush"));
    resetBrush->setObjectName("ResetBrushMenu");
    connect(resetBrush, &QAction::triggered, this, [this] {
        if (palette_) palette_->ResetBrush();
    });
    QAction* leave = options->addAction(QStringLiteral("Close without sending back..."));
    leave->setObjectName("CloseWithoutSendingMenu");
    connect(leave, &QAction::triggered, this, [this] { CloseWithoutSending(); });
    QAction* keys = options->addAction(QStringLiteral("Keys and gestures..."));
    keys->setObjectName("KeysMenu");
    connect(keys, &QAction::triggered, this, [this] { KeysMenu_Click(); });
    // The canvas's keys act while the palette or the menu bar has the keyboard too.
    qApp->installEventFilter(this);
    Dibs.View = this;
    packTimer_ = PackUndoWhenIdle(this);
}

Form1::~Form1() {
    if (Dibs.View == this) Dibs.View = nullptr;
    if (palette_) delete palette_->Widget();
}

// The engine's client pixels are the view's device pixels.
int Form1::ClientWidth() const { return qRound(view_->width() * view_->Dpr()); }
int Form1::ClientHeight() const { return qRound(view_->height() * view_->Dpr()); }

void Form1::SetCaption(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }

void Form1::BitBlt(int dx, int dy, int w, int h, int, int) {
    view_->update(LogicalRect(QRect(dx, dy, w, h), view_->Dpr()));
}

void Form1::FillBackground(int x1, int y1, int x2, int y2) {
    // Both corners included whichever way round they come (QRect::normalized would drop the
    // first column or row of a reversed rectangle: the one next to the image).
    view_->update(LogicalRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                                    QPoint(std::max(x1, x2), std::max(y1, y2))),
                              view_->Dpr()));
}

void Form1::ResizeClient(int w, int h) {
    // w x h device pixels; the client area is the central view, the menu bar sits above it.
    const qreal dpr = view_->Dpr();
    int cw = static_cast<int>(std::ceil(w / dpr - 1e-9)),
        ch = static_cast<int>(std::ceil(h / dpr - 1e-9));
    const int menuHeight =
        menuBar()->isVisible() ? menuBar()->height() : menuBar()->sizeHint().height();
    const int docked = DockedToolsWidth();
    // Never larger than the screen's available area: a larger image is panned and zoomed.
    if (const QScreen* s = screen()) {
        const QRect available = s->availableGeometry();
        QSize frame = frameGeometry().size() - geometry().size();
        // A window manager frames the window some time after it shows: leave room for that.
        if (frame.isNull()) frame = kFrameAllowance;
        cw = std::min(cw, available.width() - frame.width() - docked);
        ch = std::min(ch, available.height() - frame.height() - menuHeight);
    }
    resize(std::max(cw, 1) + docked, std::max(ch, 1) + menuHeight);
    KeepOnScreen();
}

void Form1::WantUndoPacking() {
    if (!packTimer_->isActive()) packTimer_->start();
}

void Form1::KeepOnScreen() {
    const QScreen* s = screen();
    if (!s) return;
    const QRect available = s->availableGeometry();
    // The frame's thickness is known only once the window is shown: shrink again then.
    const QSize frameExtra = frameGeometry().size() - size();
    const int w = std::min(width(), available.width() - frameExtra.width());
    const int h = std::min(height(), available.height() - frameExtra.height());
    if (w != width() || h != height()) resize(std::max(w, 1), std::max(h, 1));
    const QRect frame = frameGeometry();
    const int x =
        std::max(std::min(frame.x(), available.right() + 1 - frame.width()), available.left());
    const int y =
        std::max(std::min(frame.y(), available.bottom() + 1 - frame.height()), available.top());
    if (x != frame.x() || y != frame.y()) move(pos() + QPoint(x - frame.x(), y - frame.y()));
}

bool Form1::PlatformPlacesWindows() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

int Form1::DockedToolsWidth() const {
    return toolsDocked_ && palette_ ? palette_->Widget()->width() : 0;
}

QSize Form1::ClientRoom() const {
    const QScreen* s = screen();
    if (!s) return QSize(INT32_MAX, INT32_MAX);
    const QRect available = s->availableGeometry();
    QSize frame = frameGeometry().size() - geometry().size();
    if (frame.isNull()) frame = kFrameAllowance;
    const int w = available.width() - frame.width() - DockedToolsWidth();
    const int h = available.height() - frame.height() - menuBar()->sizeHint().height();
    const qreal dpr = s->devicePixelRatio();
    return QSize(std::max(1, static_cast<int>(std::floor(w * dpr))),
                 std::max(1, static_cast<int>(std::floor(h * dpr))));
}

void Form1::ShowTools() {
    if (palette_) palette_->ShowAgain();
}

void Form1::SetToolsDocked(bool docked) {
    if (!PlatformPlacesWindows()) docked = true;
    dockTools_->setChecked(docked);
    if (!palette_ || docked == toolsDocked_) return;
    QWidget* tools = palette_->Widget();
    // The view keeps its width; docked it is at least the palette's height, undocked it is
    // no taller than the image needs again.
    const int cw = ClientWidth();
    const int ch =
        docked ? ClientHeight() : std::min(ClientHeight(), std::max(Dibs.DisplayHeight, 1));
    toolsDocked_ = docked;
    if (docked) {
        toolFlags_ = tools->windowFlags();
        row_->addWidget(tools, 0, Qt::AlignTop);  // the same widget, its controls as they were
        tools->show();
    } else {
        row_->removeWidget(tools);
        tools->setParent(nullptr, toolFlags_);
        palette_->ShowBeside(this);
    }
    row_->activate();  // the window's least size follows the palette at once
    layout()->activate();
    if (loaded_ && Dibs.View == this) ResizeClient(cw, ch);
}

void Form1::RaiseTools() {
    if (!palette_ || toolsDocked_) return;
    QWidget* tools = palette_->Widget();
    if (tools->isVisible()) tools->raise();
}

bool Form1::event(QEvent* event) {
    // Back on the canvas from another program: the palette comes up with it.
    if (event->type() == QEvent::WindowActivate) RaiseTools();
    return QMainWindow::event(event);
}

void Form1::PrefsCallback() {
    if (palette_) palette_->ApplyTheme();
}

void Form1::ShowCanvas() {
    if (!loaded_) Form_Load();
    show();
    KeepOnScreen();  // the frame is known once shown
    raise();
    // Beside the canvas as it now stands (its frame is known), and above it: shown before the
    // canvas, the palette would be under it without a window manager.
    if (palette_ && !toolsDocked_ && palette_->Widget()->isVisible()) palette_->ShowBeside(this);
    RaiseTools();
    activateWindow();
    view_->setFocus();
}

void Form1::Form_Load() {
    Module1State& m = Module1;
    loaded_ = true;
    SetCaption(m.CaptionText);
    if (Wiring.CreatePaletteWindow) palette_ = Wiring.CreatePaletteWindow();
    const std::unique_ptr<QSettings> store = MarloSettings();
    if (palette_ && (!PlatformPlacesWindows() || (store && store->value(kDockedKey).toBool())))
        SetToolsDocked(true);
    // An image larger than the screen opens zoomed out, the whole window on the screen.
    const QSize room = ClientRoom();
    const float zoom = OpeningZoom(m.BufferWidth, m.BufferHeight, room.width(), room.height());
    if (zoom != m.Zoom) {
        try {
            ApplyZoom(zoom, 0, 0);
        } catch (const MarloError&) {  // kept at zoom 1: the window is fitted, the image panned
        }
    }
    ResizeClient(Dibs.DisplayWidth, Dibs.DisplayHeight);
    if (palette_ && !toolsDocked_) palette_->ShowBeside(this);
    if (palette_) palette_->RestoreBrush();  // the brush of the last session
    // The brush sliders' values, or their design values while there is no palette.
    auto slider = [this](SliderRole role) {
        return palette_ ? palette_->SliderValue(role) : static_cast<float>(DesignOf(role).start);
    };
    m.StampStrength = slider(kPressSlider);
    m.BrushSize = slider(kSizeSlider);
    m.BrushOpacity = slider(kOpacitySlider);
    m.StampSpacing = slider(kStepSlider);
    displaybuffers();
    m.PenX = m.PenY = 0;
    m.PenPressure = 1.0f;
    m.PenAltitude = 0;
    OpenTablet(Tablet, CreateQtTablet, TabletWindowOf(this));
}

void Form1::Form_KeyPress(int16_t KeyAscii) {
    if (KeyAscii == 117) RunHandler(this, [] { PopUndo(); });
}

void Form1::CloseWithoutSending() {
    const Module1State& m = Module1;
    std::string name = m.Host ? m.Host->ImageName() : std::string();
    if (name.empty()) name = m.CaptionText;
    if (!AskYesNo(this, QStringLiteral("Close and leave %1 as it was? Your painting is not sent "
                                       "back.")
                            .arg(QString::fromStdString(name))))
        return;
    // Nothing is lost by a slip: the painting goes to a rescue copy first, and without one the
    // canvas stays open.
    QString saved;
    const QString kept = KeepPaintingAsRescue(&saved);
    if (saved.isEmpty()) {
        ShowMessage(this, kept + QStringLiteral(". The canvas stays open."));
        return;
    }
    std::fprintf(stderr, "marlo: %s\n", qPrintable(kept));
    if (Wiring.Journal) Wiring.Journal->ChangesDropped();
    leaveHost_ = true;
    if (!close()) leaveHost_ = false;
}

bool Form1::Form_Unload() {
    const Module1State& m = Module1;
    if (leaveHost_) {
        ReleaseWindows(true);
        return true;
    }
    try {
        // The host is asked for both sizes, whatever the first answer.
        bool resized = false;
        if (m.Host) {
            const bool widthDiffers = m.Host->Tarn_BufferWidth() != m.BufferWidth;
            const bool heightDiffers = m.Host->Tarn_BufferHeight() != m.BufferHeight;
            resized = widthDiffers || heightDiffers;
        }
        if (resized) {
            if (AskYesNo(this, kSizeChangedText)) {
                if (!Windows.Ending) {
                    if (Wiring.Journal) Wiring.Journal->ChangesDropped();
                } else {
                    // A signal answered for the painter, who never chose to lose the changes.
                    QString saved;
                    const QString kept = SaveUnsentPainting(QString(), &saved);
                    if (!kept.isEmpty()) {
                        Windows.LostWriteBack =
                            QStringLiteral(
                                "Marlo was ended while it asked whether to lose the "
                                "changes. %1")
                                .arg(kept);
                        std::fprintf(stderr, "marlo: %s\n", qPrintable(Windows.LostWriteBack));
                    }
                }
                ReleaseWindows(false);
                return true;
            }
            if (palette_) palette_->ShowAgain();
            return false;
        }
        const auto ask = [this](const std::string& question) {
            return AskYesNo(this, QString::fromStdString(question));
        };
        if (WriteImageBack(ask) == WriteBack::kDeclined) {
            // As No to the size question: the painting stays, and so does the window.
            if (palette_) palette_->ShowAgain();
            return false;
        }
    } catch (const std::exception& e) {
        // A host that fails or has gone: the window closes without writing back, and the
        // painting is kept in a rescue copy (a file host has made its own).
        const QString why = QString::fromLocal8Bit(e.what());
        QString saved;
        const QString kept = SaveUnsentPainting(why, &saved);
        const QString told =
            kept.isEmpty()
                ? why
                : QStringLiteral("The image could not be written back to Tarnwick (%1). %2")
                      .arg(why, kept);
        if (saved.isEmpty() && !Windows.Ending) {
            // Not even a rescue copy: the painting is only here, so the canvas stays while the
            // painter makes room. A signal still closes it (nobody is there to answer); the
            // journal then keeps the painting for the next start.
            ShowMessage(this,
                        told + QStringLiteral(". The canvas stays open with your painting: free "
                                              "some space or make one of those folders writable, "
                                              "then close it again."));
            if (palette_) palette_->ShowAgain();
            return false;
        }
        if (!kept.isEmpty()) {
            Windows.LostWriteBack = told;
            std::fprintf(stderr, "marlo: %s\n", qPrintable(Windows.LostWriteBack));
        }
        if (!saved.isEmpty() && Wiring.Journal) Wiring.Journal->ChangesDropped();
    }
    ReleaseWindows(true);
    return true;
}

void Form1::KeepBrushSoon() {
    // After the release has been shown: the settings store may have to go to the disk.
    QTimer::singleShot(0, this, [this] {
        if (palette_) palette_->SaveBrush();
    });
}

void Form1::ReleaseWindows(bool shutTablet) {
    DeleteDisplayBitmap();
    if (shutTablet) CloseTablet(Tablet.get());
    CloseMenus();
    if (palette_) {
        palette_->SaveBrush();
        palette_->Close();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    // A close that arrives while a box waits for its answer waits for the box to end (and shows
    // it, in case it is hidden): closing now would delete the box's parents under its loop and
    // leave the handler that opened it running on a closed window. Work in hand ends first; the
    // close is never forgotten.
    if (QMessageBox* box = OpenMessageBox()) {
        event->ignore();
        if (!closeWaiting_) BringForward(box);
        closeWaiting_ = true;
        QTimer::singleShot(20, this, [this] { close(); });
        return;
    }
    closeWaiting_ = false;
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

void Form1::GetPaperMenu_ClickHandler() {
    RunHandler(this, [] { GetPaperMenu_Click(); });
}

void Form1::KeysMenu_Click() { ShowNotice(this, QString::fromUtf8(kKeysText)); }

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && watched->isWidgetType()) {
        auto* target = static_cast<QWidget*>(watched);
        const QWidget* top = target->window();
        const QWidget* paletteWindow = palette_ ? palette_->Widget() : nullptr;
        // The view takes its keys itself; other windows (menus, boxes) keep theirs.
        if (target != view_ && (top == this || (paletteWindow && top == paletteWindow))) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (type == QEvent::KeyPress ? view_->CanvasKeyPress(key)
                                         : view_->CanvasKeyRelease(key))
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
