// A palette control that tells its owner about the pointer the way the canvas's handlers take
// it: the Button and Shift bits of input/qt/mouse_bits.h and the position in the control's own
// pixels. A control keeps its own press and release logic and calls these handlers for the
// signals.
#pragma once
#include <QWidget>
#include <cstdint>

class PointerWidget : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

signals:
    void MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void MouseUp(int16_t Button, int16_t Shift, float X, float Y);

protected:
    // Each emits its signal for `event`: a press or release names the button that changed, a
    // move the buttons held.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
