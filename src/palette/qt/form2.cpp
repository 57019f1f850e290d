#include "palette/qt/form2.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "canvas/qt/menus.h"
#include "core/module1.h"
#include "host/host.h"
#include "palette/qt/button_icons.h"
#include "palette/qt/control_colours.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/palette_placement.h"
#include "palette/qt/picture_box.h"
#include "palette/qt/prefs_callback.h"
#include "palette/qt/trackle.h"
#include "palette/qt/wallpaper.h"
#include "palette/slider_roles.h"

namespace {

constexpr int kClientWidth = 141;
constexpr int kClientHeight = 490;
constexpr uint32_t kSliderBack = 0x9E958F;
constexpr uint32_t kSliderFore = 0xE0E0E0;
constexpr uint32_t kLineDark = 0x404040;
constexpr uint32_t kLineLight = 0xC0C0C0;
// Each separator: a dark line and a light one two pixels below, across the window.
constexpr int kSeparators[] = {0, 106, 254, 412};

QFont DesignFont(const char* family) {
    QFont f(family);
    f.setPointSizeF(8.25);
    f.setWeight(QFont::Normal);
    return f;
}

kt_button* IconButton(QWidget* parent, int x, int y, ButtonIcon icon, const QString& tip) {
    auto* b = new kt_button(parent);
    b->setGeometry(x, y, 29, 29);
    b->setPictureSource([icon](qreal dpr) { return DrawButtonIcon(icon, dpr); });
    if (!tip.isEmpty()) b->setToolTip(tip);
    return b;
}

QLabel* Label(QWidget* parent, int x, int y, int w, int h, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(true);
    return l;
}

// A slider at row y with its caption on its left; the tip says what it sets, on both.
Trackle* Slider(QWidget* parent, int y, SliderRole role, const QString& caption,
                const QString& tip) {
    auto* t = new Trackle(parent);
    t->setGeometry(50, y, 80, 18);
    const SliderDesign& design = DesignOf(role);
    t->SetDesign(design.min, design.max, design.start);
    t->setBackColor(kSliderBack);
    t->setForeColor(kSliderFore);
    t->setToolTip(tip);
    Label(parent, 4, y, 40, 19, caption)->setToolTip(tip);
    return t;
}

kt_button* Swatch(QWidget* parent, int x, uint32_t colour) {
    auto* b = new kt_button(parent);
    b->setGeometry(x, 262, 33, 25);
    b->setBackColor(colour);
    b->setGradient(1.1);
    b->setFont(DesignFont("MS Sans Serif"));
    return b;
}

}  // namespace

Form2::Form2() : QWidget(nullptr, Qt::Tool) {
    setWindowTitle("Tools");
    // The palette lives as long as the canvas: no close box that would lose it.
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(DesignFont("Arial"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    BuildControls();
    ConnectHandlers();
    Form_Load();
}

Form2::~Form2() = default;

void Form2::BuildControls() {
    // Created in the window's control order, top to bottom as the design lists them.
    kt_button8 = IconButton(this, 8, 8, ButtonIcon::Pen, "Pen");
    kt_button9 = IconButton(this, 40, 8, ButtonIcon::WaterBrush, "Water brush");
    kt_button6 = IconButton(this, 72, 8, ButtonIcon::Ink, "Ink");
    kt_button7 = IconButton(this, 104, 8, ButtonIcon::GelBrush, "Gel brush");
    for (kt_button* b : {kt_button8, kt_button9, kt_button6, kt_button7}) b->setButton_type(1);
    kt_button8->setValue(true);

    kt_button13 = IconButton(this, 8, 40, ButtonIcon::Pan, "Drag to pan (right button: zoom)");
    kt_button14 = IconButton(this, 40, 40, ButtonIcon::Zoom, "Drag to zoom");
    kt_button13->setCursor(Qt::SizeAllCursor);
    kt_button14->setCursor(Qt::SizeAllCursor);
    kt_button11 = IconButton(this, 72, 40, ButtonIcon::ActualSize, "Actual size");
    kt_button12 = IconButton(this, 104, 40, ButtonIcon::FitWindow, "Fit to window");

    kt_button3 = IconButton(this, 8, 72, ButtonIcon::GetImage,
                            QString::fromStdString(HostButtonTip(
                                Module1.Host.get(), "Get image from Tarnwick", false)));
    kt_button4 = IconButton(
        this, 40, 72, ButtonIcon::SendImage,
        QString::fromStdString(HostButtonTip(Module1.Host.get(), "Send image to Tarnwick", true)));
    kt_button1 = IconButton(this, 72, 72, ButtonIcon::Undo, "Undo");
    kt_button2 = IconButton(this, 104, 72, ButtonIcon::Clear, "Clear");

    Trackle1 = Slider(this, 118, kSizeSlider, "Size",
                      "Size: the brush's radius in image pixels, at full pen pressure");
    Trackle8 = Slider(this, 140, kPressSlider, "Press",
                      "Press: how strongly each stamp lifts the coverage (not the pen's "
                      "pressure)");
    Trackle5 = Slider(this, 162, kOpacitySlider, "Opacity",
                      "Opacity: how much of the colour a fully covered pixel takes");
    Trackle6 = Slider(this, 184, kStepSlider, "Step",
                      "Step: the distance between stamps, in percent of the radius");
    Trackle7 = Slider(this, 206, kPaperSlider, "Paper",
                      "Paper: how much the paper's grain keeps the paint out (0: no grain)");

    kt_button15 = new kt_button(this);
    kt_button15->setGeometry(50, 230, 83, 19);
    kt_button15->setCaption("Mode");
    kt_button15->setTag("Setting");
    kt_button15->installEventFilter(this);  // its tip names the mode in effect

    kt_button5 = Swatch(this, 50, 0x000000);
    kt_button10 = Swatch(this, 96, 0xFFFFFF);
    Label(this, 4, 268, 40, 19, "Pens");

    Picker = new PictureBox(this, 81, 81, kSliderBack);
    Picker->move(50, 296);
    Label(this, 4, 324, 40, 35, "Color triangle");
    Picture2 = new PictureBox(this, 81, 81, 0x000000);
    Picture2->move(54, 300);
    Picture2->hide();

    Picture1 = new PictureBox(this, 81, 19, kSliderBack);
    Picture1->move(50, 386);
    Label(this, 4, 386, 40, 19, "Hue");

    Trackle2 = Slider(this, 422, kRedSlider, "Red", "Red: the red of the paint colour");
    Trackle3 = Slider(this, 444, kGreenSlider, "Green", "Green: the green of the paint colour");
    Trackle4 = Slider(this, 466, kBlueSlider, "Blue", "Blue: the blue of the paint colour");
}

void Form2::Form_Load() {
    PrefsCallback(this);
    SetColor();
    DrawTriangleMask();
    Image1 = LoadWallpaper(Module1.Host.get());
    Picture1_Paint();
    DrawTriangle();
}

void Form2::setBackColor(uint32_t bgr) {
    backColor_ = bgr & 0xFFFFFF;
    update();
}

void Form2::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), FromBGR(backColor_));
    Draw_Pattern(p, *this, Image1);
    for (int y : kSeparators) {
        p.setPen(FromBGR(kLineDark));
        p.drawLine(0, y, 142, y);
        p.setPen(FromBGR(kLineLight));
        p.drawLine(0, y + 2, 142, y + 2);
    }
}

void Form2::closeEvent(QCloseEvent* event) {
    // The palette lives as long as the program: its close box only hides it.
    if (closing_) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
}

void Form2::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A tool window's place, for showing it again there; docked it has none of its own.
    if (isWindow()) {
        lastPlace_ = pos();
        placed_ = true;
    }
}

void Form2::ShowAgain() {
    if (isWindow() && placed_) move(lastPlace_);
    show();
    raise();
}

void Form2::ShowBeside(QWidget* canvasWindow) {
    QWidget* canvas = canvasWindow ? canvasWindow->window() : nullptr;
    if (canvas && canvas != this) {
        canvas->winId();  // both native windows must exist for the palette to be owned
        winId();
        if (canvas->windowHandle() && windowHandle())
            windowHandle()->setTransientParent(canvas->windowHandle());
        MoveBeside(canvas);
        // A canvas not yet on the screen has no place to stand beside: place again when it shows.
        if (!canvas->isVisible()) {
            placeAfterShow_ = canvas;
            canvas->installEventFilter(this);
        }
    }
    show();
}

void Form2::MoveBeside(QWidget* canvas) {
    // Window frames are known only once shown; take the canvas's frame thickness for ours.
    const QSize frameExtra = canvas->frameGeometry().size() - canvas->geometry().size();
    const QScreen* screen = canvas->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
    move(PlaceBeside(canvas->frameGeometry(), size() + frameExtra, available));
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == kt_button15 && event->type() == QEvent::ToolTip)
        kt_button15->setToolTip(QStringLiteral("Blend mode: %1 (click to choose another)")
                                    .arg(ModeCaption(Module1.BlendMode)));
    // The canvas is placed by the window manager when it first shows: stand beside it at the
    // show, when it is fitted to the screen, and once more when its place is first reported.
    // Docked, the canvas window's layout places it.
    if (watched == placeAfterShow_ && isWindow() && placeAfterShow_->isVisible() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Move ||
         event->type() == QEvent::Resize)) {
        MoveBeside(placeAfterShow_);
        if (event->type() == QEvent::Move) {
            placeAfterShow_->removeEventFilter(this);
            placeAfterShow_ = nullptr;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::Hide() { hide(); }

void Form2::Close() {
    closing_ = true;
    close();
}

float Form2::SliderValue(int n) const {
    const Trackle* sliders[] = {Trackle1, Trackle2, Trackle3, Trackle4,
                                Trackle5, Trackle6, Trackle7, Trackle8};
    if (n < 1 || n > kSliderCount) return 0.0f;
    return static_cast<float>(sliders[n - 1]->value());
}

void Form2::StepSlider(int n, int steps) {
    Trackle* sliders[] = {Trackle1, Trackle2, Trackle3, Trackle4,
                          Trackle5, Trackle6, Trackle7, Trackle8};
    if (n >= 1 && n <= kSliderCount) sliders[n - 1]->Step(steps);
}

void Form2::ApplyTheme() {
    PrefsCallback(this);
    SetColor();  // the theme gives the swatch the plain button face; it shows the colour again
}
