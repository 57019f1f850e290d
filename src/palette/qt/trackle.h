// Trackle: the palette's horizontal slider, painted by us. The program may write any finite
// value, fractional or outside min..max, and the slider keeps it as written; the user's drags,
// clicks and arrow keys give whole values within min..max. Change is raised synchronously
// whenever the value changes, before the writing call returns, whoever wrote it.
#pragma once
#include <QWidget>
#include <cstdint>

#include "palette/qt/control_colours.h"

class Trackle : public QWidget, public ControlColours<Trackle> {
    Q_OBJECT
public:
    explicit Trackle(QWidget* parent = nullptr);

    // The design values: range and start value, set without raising Change.
    void SetDesign(double min, double max, double value);

    double value() const { return value_; }
    // Raises Change when v differs from the current value. Non-finite values are ignored.
    void setValue(double v);
    double min() const { return min_; }
    double max() const { return max_; }

    void Refresh() { update(); }

    // Moves by whole steps as the arrow keys do: from the value rounded, kept within min..max.
    void Step(int steps);

    // The whole value within min..max nearest to the pointer at client x.
    double ValueAt(double x) const;

signals:
    void Change();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetFromUser(double v);

    double min_ = 0;
    double max_ = 100;
    double value_ = 0;
};
