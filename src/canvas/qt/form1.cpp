#include "canvas/qt/form1.h"

#include <algorithm>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "app/module1.h"
#include "canvas/dibs.h"
#include "canvas/qt/menus.h"
#include "canvas/qt/report.h"
#include "canvas/undo.h"
#include "canvas/view_ops.h"
#include "host/image_exchange.h"
#include "input/qt/mouse_bits.h"
#include "input/stroke_capture.h"
#include "input/tablet_handlers.h"
#include "input/qt/tablet_qt.h"

std::function<PaletteWindow*()> CreatePaletteWindow;

namespace {

// Virtual-key codes of the keys the canvas reacts to.
constexpr int kVkComma = 188, kVkPlus = 187, kVkMinus = 189;

// The physical key that typed the last comma: with Shift held it reports another character
// ('<' on US keyboards, ';' on German ones), yet it is the same key, and its release must end
// the pick mode. Before any comma has been typed, Shift with '<' is taken for it; '<' without
// Shift comes from another key (the extra key of European keyboards).
quint32 commaScanCode = 0;

// The virtual key of the main keyboard's comma, =/+ and - keys; the keypad's keys are others.
int VirtualKey(const QKeyEvent* e) {
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
void PackUndoWhenIdle(Form1* form) {
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
    const QPointer<QTimer> idle(timer);
    UndoPackingWanted = [idle] {
        if (idle && !idle->isActive()) idle->start();
    };
    UndoBudgetBytes();  // the budget is a share of the memory available at start
}

const QString kSizeChangedText =
    QStringLiteral("Can't copy buffer back to Project Tarnwick because the buffer size has changed") +
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
    const Module1State& m = Module1;
    const QRect image(m.ScrollX, m.ScrollY, Dibs.DisplayWidth, Dibs.DisplayHeight);
    const QRegion background = QRegion(event->rect()) - image;
    for (const QRect& r : background) p.fillRect(r, palette().color(QPalette::Window));
    if (!Dibs.DisplayBits) return;
    // The bitmap holds the part of the zoomed image the window shows, from display pixel
    // (Held.x0, Held.y0) on.
    const Rect& h = Dibs.Held;
    const QImage bitmap(reinterpret_cast<const uchar*>(Dibs.DisplayBits), h.x1 - h.x0, h.y1 - h.y0,
                        Dibs.DisplayInfo.biWidth * 4, QImage::Format_RGB32);
    const QRect held(m.ScrollX + h.x0, m.ScrollY + h.y0, h.x1 - h.x0, h.y1 - h.y0);
    const QRect target = held.intersected(event->rect());
    if (!target.isEmpty()) p.drawImage(target, bitmap, target.translated(-held.topLeft()));
}

void CanvasView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Newly uncovered parts of the view get the image rendered into the display bitmap.
    if (Dibs.View) Form_Paint();
}

void CanvasView::mousePressEvent(QMouseEvent* event) {
    if (!CanvasButton(event->button())) return;
    penButtonPending_ = false;
    float X = static_cast<float>(event->position().x()), Y = static_cast<float>(event->position().y());
    const int16_t button = ButtonBits(event->button()), shift = ShiftBits(event->modifiers());
    RunHandler(form_, [&] { Form_MouseDown(button, shift, X, Y); });
}

void CanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (penButtonPending_ && event->position() == penButtonAt_) {
        penButtonPending_ = false;  // not a move of the pen: it would double the stroke's point
        return;
    }
    float X = static_cast<float>(event->position().x()), Y = static_cast<float>(event->position().y());
    const int16_t buttons = ButtonBits(event->buttons()), shift = ShiftBits(event->modifiers());
    RunHandler(form_, [&] { Form_MouseMove(buttons, shift, X, Y); });
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (!CanvasButton(event->button())) return;
    penButtonPending_ = false;
    float X = static_cast<float>(event->position().x()), Y = static_cast<float>(event->position().y());
    const int16_t button = ButtonBits(event->button()), shift = ShiftBits(event->modifiers());
    RunHandler(form_, [&] { Form_MouseUp(button, shift, X, Y); });
}

void CanvasView::tabletEvent(QTabletEvent* event) {
    // The packet only refines the pointer event that Qt makes of this tablet event once it
    // is left unaccepted; the stroke handlers work from that pointer event.
    if (form_->Tablet) RunHandler(form_, [&] { RecordTabletEvent(*form_->Tablet, this, *event); });
    penButtonPending_ = event->type() == QEvent::TabletPress || event->type() == QEvent::TabletRelease;
    penButtonAt_ = event->position();
    event->ignore();
}

void CanvasView::keyPressEvent(QKeyEvent* event) {
    if (VirtualKey(event) == kVkComma) {
        if (event->nativeScanCode() != 0) commaScanCode = event->nativeScanCode();
        if (!event->isAutoRepeat()) {
            setCursor(Qt::ArrowCursor);
            Module1.PickMode = kTrue;
        }
    }
    const QString typed = event->text();
    if (typed.size() == 1) form_->Form_KeyPress(static_cast<int16_t>(typed.at(0).unicode()));
    event->accept();
}

void CanvasView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    const int vk = VirtualKey(event);
    const int16_t shift = ShiftBits(event->modifiers());
    if (vk == kVkComma) {
        setCursor(Qt::CrossCursor);
        Module1.PickMode = kFalse;
    } else if (vk == kVkPlus && shift == 2) {
        RunHandler(form_, [] { ZoomKeyIn(); });
    } else if (vk == kVkMinus && shift == 2) {
        RunHandler(form_, [] { ZoomKeyOut(); });
    }
}

Form1::Form1() {
    setObjectName("Form1");
    view_ = new CanvasView(this);
    setCentralWidget(view_);
    QMenu* options = menuBar()->addMenu(QStringLiteral("Options"));
    options->setObjectName("OptionsMenu");
    QAction* getPaper = options->addAction(QStringLiteral("Get paper"));
    getPaper->setObjectName("GetPaperMenu");
    connect(getPaper, &QAction::triggered, this, [this] { GetPaperMenu_ClickHandler(); });
    Dibs.View = this;
    PackUndoWhenIdle(this);
}

Form1::~Form1() {
    if (Dibs.View == this) Dibs.View = nullptr;
    if (palette_) delete palette_->Widget();
}

int Form1::ClientWidth() const { return view_->width(); }
int Form1::ClientHeight() const { return view_->height(); }

void Form1::SetCaption(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }

void Form1::BitBlt(int dx, int dy, int w, int h, int, int) { view_->update(QRect(dx, dy, w, h)); }

void Form1::FillBackground(int x1, int y1, int x2, int y2) {
    // Both corners included whichever way round they come (QRect::normalized would drop the
    // first column or row of a reversed rectangle: the one next to the image).
    view_->update(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2))));
}

void Form1::ResizeClient(int w, int h) {
    // The client area is the central view; the menu bar sits above it.
    const int menuHeight = menuBar()->isVisible() ? menuBar()->height() : menuBar()->sizeHint().height();
    resize(w, h + menuHeight);
}

void Form1::PrefsCallback() {
    if (palette_) palette_->ApplyTheme();
}

void Form1::ShowCanvas() {
    if (!loaded_) Form_Load();
    show();
    raise();
    activateWindow();
    view_->setFocus();
}

void Form1::Form_Load() {
    Module1State& m = Module1;
    loaded_ = true;
    SetCaption(m.CaptionText);
    m.StrokePoints.assign(static_cast<size_t>(kStrokeRows) * 3, 0.0f);
    ResizeClient(m.BufferWidth, m.BufferHeight);
    if (CreatePaletteWindow) {
        palette_ = CreatePaletteWindow();
        if (palette_) palette_->ShowBeside(this);
    }
    // The brush sliders' values, or their design values while there is no palette.
    m.StampStrength = palette_ ? palette_->SliderValue(kPressSlider) : 255.0f;
    m.BrushSize = palette_ ? palette_->SliderValue(kSizeSlider) : 2.0f;
    m.BrushOpacity = palette_ ? palette_->SliderValue(kOpacitySlider) : 255.0f;
    m.StampSpacing = palette_ ? palette_->SliderValue(kStepSlider) : 15.0f;
    displaybuffers();
    m.PenX = m.PenY = 0;
    m.PenPressure = 1.0f;
    m.PenAltitude = 0;
    OpenTablet(Tablet, CreateQtTablet, TabletWindowOf(this));
}

void Form1::Form_KeyPress(int16_t KeyAscii) {
    if (KeyAscii == 117) RunHandler(this, [] { PopUndo(); });
}

bool Form1::Form_Unload() {
    const Module1State& m = Module1;
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
                ReleaseWindows(false);
                return true;
            }
            if (palette_) palette_->ShowAgain();
            return false;
        }
        WriteImageBack();
    } catch (const std::exception&) {
        // A host that fails or has gone: the window closes without writing back.
    }
    ReleaseWindows(true);
    return true;
}

void Form1::ReleaseWindows(bool shutTablet) {
    DeleteDisplayBitmap();
    if (shutTablet) CloseTablet(Tablet.get());
    CloseMenus();
    if (palette_) palette_->Close();
}

void Form1::closeEvent(QCloseEvent* event) {
    // A close that arrives while a box runs its own loop waits for the box to end: closing now
    // would delete the box's parents under its exec and leave the handler that opened it
    // running on a closed window.
    if (MessageBoxesOpen()) {
        event->ignore();
        QTimer::singleShot(20, this, [this] { close(); });
        return;
    }
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

void Form1::GetPaperMenu_ClickHandler() {
    RunHandler(this, [] { GetPaperMenu_Click(); });
}
