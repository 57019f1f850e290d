// A picture box of the palette: a client area in pixels with a kept drawing (an image of the
// client size) that paints to the screen and whose points can be read back. Its paint handler
// runs at every paint request, before the kept drawing is shown.
#pragma once
#include <QImage>
#include <cstdint>
#include <functional>

#include "palette/qt/pointer_widget.h"
#include "palette/triangle_fill.h"

class PictureBox : public PointerWidget {
    Q_OBJECT
public:
    // w x h client pixels, cleared to backColor (0x00BBGGRR).
    PictureBox(QWidget* parent, int w, int h, uint32_t backColor);

    QImage& Image() { return image_; }
    PixelSurface Surface();
    // The colour 0x00BBGGRR of the pixel under (x, y), or -1 when the point lies outside.
    int32_t Point(float x, float y) const;
    // Shows the kept drawing again; a call from within the paint handler is already covered.
    void Refresh();

    std::function<void()> Paint;

signals:
    // A release where the press was, with no move of a held button between: Button is the
    // released button.
    void Click(int16_t Button, int16_t Shift, float X, float Y);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage image_;
    bool painting_ = false;
    QPointF pressAt_;
    bool clickPending_ = false;  // pressed, and no drag since
};
