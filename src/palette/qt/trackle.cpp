#include "palette/qt/trackle.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "palette/colour_model.h"
#include "palette/qt/control_colours.h"

namespace {
constexpr int kEdge = 2;  // width of the sunken border on each side

// The whole number nearest to v within lo..hi; lo itself when the range holds no whole number.
double WholeWithin(double v, double lo, double hi) {
    const double a = std::ceil(lo), b = std::floor(hi);
    if (!(a <= b)) return lo;
    return std::clamp(std::nearbyint(v), a, b);
}
}  // namespace

// BackColor is the trough, ForeColor the filled part, Highlight and Shadow the sunken edges.
Trackle::Trackle(QWidget* parent)
    : QWidget(parent), ControlColours(0x9E958F, 0xE0E0E0, 0xE0E0E0, 0x202020) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Trackle::SetDesign(double min, double max, double value) {
    min_ = min;
    max_ = max;
    value_ = value;
    update();
}

void Trackle::setValue(double v) {
    if (!std::isfinite(v) || v == value_) return;
    value_ = v;
    update();
    emit Change();
}

double Trackle::ValueAt(double x) const {
    const double track = width() - 2 * kEdge - 1;
    if (track <= 0 || !(max_ > min_)) return min_;
    const double f = std::clamp((x - kEdge) / track, 0.0, 1.0);
    return WholeWithin(min_ + f * (max_ - min_), min_, max_);
}

void Trackle::SetFromUser(double v) {
    if (!(max_ >= min_)) return;
    setValue(WholeWithin(v, min_, max_));
}

void Trackle::Step(int steps) { SetFromUser(std::nearbyint(value_) + steps); }

void Trackle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    p.fillRect(rect(), FromBGR(BackColor()));
    const double span = max_ - min_;
    const double f = span > 0 ? std::clamp((value_ - min_) / span, 0.0, 1.0) : 0.0;
    const int filled = static_cast<int>(std::lrint(f * (w - 2 * kEdge)));
    p.fillRect(kEdge, kEdge, filled, h - 2 * kEdge, FromBGR(ForeColor()));

    // Sunken edges: dark above and left, light below and right.
    p.setPen(FromBGR(Shadow()));
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(0, 0, 0, h - 1);
    p.setPen(FromBGR(Highlight()));
    p.drawLine(1, h - 1, w - 1, h - 1);
    p.drawLine(w - 1, 1, w - 1, h - 1);

    p.setPen(Qt::black);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, QString::number(RoundHalfEven(value_)));
    if (hasFocus()) {
        p.setPen(QPen(FromBGR(Shadow()), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(kEdge, kEdge, -kEdge - 1, -kEdge - 1));
    }
}

void Trackle::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) setValue(ValueAt(event->position().x()));
}

void Trackle::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) setValue(ValueAt(event->position().x()));
}

void Trackle::keyPressEvent(QKeyEvent* event) {
    const double page = std::max(1.0, std::nearbyint((max_ - min_) / 10));
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down: SetFromUser(std::nearbyint(value_) - 1); break;
        case Qt::Key_Right:
        case Qt::Key_Up: SetFromUser(std::nearbyint(value_) + 1); break;
        case Qt::Key_PageDown: SetFromUser(std::nearbyint(value_) - page); break;
        case Qt::Key_PageUp: SetFromUser(std::nearbyint(value_) + page); break;
        case Qt::Key_Home: SetFromUser(min_); break;
        case Qt::Key_End: SetFromUser(max_); break;
        default: QWidget::keyPressEvent(event); return;
    }
}
