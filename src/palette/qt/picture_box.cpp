#include "palette/qt/picture_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "input/qt/mouse_bits.h"
#include "palette/qt/control_colours.h"

PictureBox::PictureBox(QWidget* parent, int w, int h, uint32_t backColor)
    : PointerWidget(parent), image_(w, h, QImage::Format_RGB32) {
    image_.fill(FromBGR(backColor));
    setFixedSize(w, h);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PixelSurface PictureBox::Surface() {
    PixelSurface s;
    s.bits = reinterpret_cast<uint32_t*>(image_.bits());
    s.width = image_.width();
    s.height = image_.height();
    s.stride = static_cast<int32_t>(image_.bytesPerLine() / 4);
    return s;
}

int32_t PictureBox::Point(float x, float y) const {
    if (!std::isfinite(x) || !std::isfinite(y)) return -1;
    const double fx = std::floor(x), fy = std::floor(y);
    if (fx < 0 || fy < 0 || fx >= image_.width() || fy >= image_.height()) return -1;
    return static_cast<int32_t>(
        ToBGR(QColor(image_.pixel(static_cast<int>(fx), static_cast<int>(fy)))));
}

void PictureBox::Refresh() {
    if (!painting_) update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    painting_ = true;
    try {
        if (Paint) Paint();
    } catch (...) {
        // A failed redraw leaves the kept drawing as it was; a paint request reports nothing.
    }
    painting_ = false;
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    pressAt_ = event->position();
    clickPending_ = true;
    PointerWidget::mousePressEvent(event);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton) clickPending_ = false;  // a drag: it picked already
    PointerWidget::mouseMoveEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    const bool click = clickPending_ && pos == pressAt_;
    clickPending_ = false;
    PointerWidget::mouseReleaseEvent(event);
    if (click)
        emit Click(ButtonBits(event->button()), ShiftBits(event->modifiers()),
                   static_cast<float>(pos.x()), static_cast<float>(pos.y()));
}
