#include "palette/qt/pointer_widget.h"

#include <QMouseEvent>

#include "input/qt/mouse_bits.h"

void PointerWidget::mousePressEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    emit MouseDown(ButtonBits(event->button()), ShiftBits(event->modifiers()),
                   static_cast<float>(pos.x()), static_cast<float>(pos.y()));
}

void PointerWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    emit MouseMove(ButtonBits(event->buttons()), ShiftBits(event->modifiers()),
                   static_cast<float>(pos.x()), static_cast<float>(pos.y()));
}

void PointerWidget::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    emit MouseUp(ButtonBits(event->button()), ShiftBits(event->modifiers()),
                 static_cast<float>(pos.x()), static_cast<float>(pos.y()));
}
