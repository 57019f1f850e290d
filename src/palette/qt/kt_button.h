// kt_button: the palette's push button, painted by us. A face colour shaded top to bottom by
// Gradient, light and dark edges, an icon or a caption. Buttons of button_type 1 show `value`
// as pressed; the program alone writes it. Pointer handlers get the Button and Shift bits of
// input/qt/mouse_bits.h and the position in the button's own pixels.
#pragma once
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <functional>

#include "palette/qt/control_colours.h"
#include "palette/qt/pointer_widget.h"

class kt_button : public PointerWidget, public ControlColours<kt_button> {
    Q_OBJECT
public:
    explicit kt_button(QWidget* parent = nullptr);

    // Top of the face is the face colour times Gradient, the bottom divided by it; 1 is flat.
    double Gradient() const { return gradient_; }
    void setGradient(double g);
    bool Borderless() const { return borderless_; }
    void setBorderless(bool on);

    QString Caption() const { return caption_; }
    void setCaption(const QString& text);
    const QPixmap& Picture() const { return picture_; }
    void setPicture(const QPixmap& icon);
    // The icon drawn anew for the screen's device pixel ratio whenever that differs from the
    // ratio of the icon in hand.
    void setPictureSource(std::function<QPixmap(qreal dpr)> draw);

    // 1: a button of a group whose `value` the program sets; 0: a plain push button.
    int button_type() const { return buttonType_; }
    void setButton_type(int type);
    bool value() const { return value_; }
    void setValue(bool down);

    QString Tag() const { return tag_; }
    void setTag(const QString& tag) { tag_ = tag; }

    // Shown pressed: held down by the pointer, or a button_type 1 whose value is set.
    bool IsShownDown() const;
    void Refresh() { update(); }

signals:
    void Click();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    double gradient_ = 1.0;
    bool borderless_ = false;
    QString caption_;
    QPixmap picture_;
    std::function<QPixmap(qreal)> pictureSource_;
    int buttonType_ = 0;
    bool value_ = false;
    QString tag_;
    bool held_ = false;    // left button pressed on the button and not yet released
    bool inside_ = false;  // the held pointer is over the button
};
