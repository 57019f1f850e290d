#include "palette/qt/kt_button.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "palette/qt/control_colours.h"

kt_button::kt_button(QWidget* parent)
    : PointerWidget(parent), ControlColours(0xC0C0C0, 0x000000, 0xE0E0E0, 0x202020) {
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void kt_button::setBorderless(bool on) {
    borderless_ = on;
    update();
}
void kt_button::setCaption(const QString& text) {
    caption_ = text;
    update();
}
void kt_button::setPicture(const QPixmap& icon) {
    picture_ = icon;
    update();
}

void kt_button::setPictureSource(std::function<QPixmap(qreal)> draw) {
    pictureSource_ = std::move(draw);
    picture_ = pictureSource_ ? pictureSource_(devicePixelRatioF()) : QPixmap();
    update();
}
void kt_button::setButton_type(int type) {
    buttonType_ = type;
    update();
}
void kt_button::setValue(bool down) {
    value_ = down;
    update();
}

void kt_button::setGradient(double g) {
    // A zero, negative or non-finite factor has no sensible shading: the face is then flat.
    gradient_ = std::isfinite(g) && g > 0 ? g : 1.0;
    update();
}

bool kt_button::IsShownDown() const { return (held_ && inside_) || (buttonType_ == 1 && value_); }

namespace {

QColor Scaled(const QColor& c, double factor) {
    auto ch = [factor](int v) {
        return std::clamp(static_cast<int>(std::lrint(v * factor)), 0, 255);
    };
    return QColor(ch(c.red()), ch(c.green()), ch(c.blue()));
}

}  // namespace

void kt_button::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool down = IsShownDown();
    // A button shown down is a little darker as well as shaded the other way up, so that the
    // chosen brush kind reads at a glance even with a flat face.
    const QColor face = down ? Scaled(FromBGR(BackColor()), 0.85) : FromBGR(BackColor());
    QColor top = Scaled(face, gradient_), bottom = Scaled(face, 1.0 / gradient_);
    if (down) std::swap(top, bottom);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, top);
    shade.setColorAt(1, bottom);
    p.fillRect(rect(), shade);

    if (!borderless_) {
        const QColor light = FromBGR(down ? Shadow() : Highlight());
        const QColor dark = FromBGR(down ? Highlight() : Shadow());
        const int r = width() - 1, b = height() - 1;
        p.setPen(light);
        p.drawLine(0, 0, r - 1, 0);
        p.drawLine(0, 0, 0, b - 1);
        p.setPen(dark);
        p.drawLine(0, b, r, b);
        p.drawLine(r, 0, r, b);
    }

    const int shift = down ? 1 : 0;
    if (pictureSource_ && picture_.devicePixelRatio() != devicePixelRatioF())
        picture_ = pictureSource_(devicePixelRatioF());  // moved to a screen of another ratio
    if (!picture_.isNull()) {
        const QSize s = picture_.deviceIndependentSize().toSize();
        p.drawPixmap((width() - s.width()) / 2 + shift, (height() - s.height()) / 2 + shift,
                     picture_);
    }
    if (!caption_.isEmpty()) {
        p.setPen(FromBGR(ForeColor()));
        p.setFont(font());
        p.drawText(rect().translated(shift, shift), Qt::AlignCenter, caption_);
    }
    if (hasFocus()) {
        p.setPen(QPen(FromBGR(Shadow()), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

void kt_button::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        held_ = true;
        inside_ = true;
        update();
    }
    PointerWidget::mousePressEvent(event);
}

void kt_button::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (held_ && inside != inside_) {
        inside_ = inside;
        update();
    }
    PointerWidget::mouseMoveEvent(event);
}

void kt_button::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        event->button() == Qt::LeftButton && held_ && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        held_ = false;
        inside_ = false;
        update();
    }
    PointerWidget::mouseReleaseEvent(event);
    if (click) emit Click();
}

void kt_button::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit Click();
        return;
    }
    QWidget::keyPressEvent(event);
}
