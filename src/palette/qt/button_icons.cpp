#include "palette/qt/button_icons.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace {

const QColor kInk(30, 30, 36);
const QColor kWood(196, 142, 72);
const QColor kMetal(150, 150, 160);
const QColor kWater(70, 140, 230);
const QColor kGel(60, 170, 90);
const QColor kArrow(40, 70, 150);

// A drop of width d hanging from its tip (cx, tip), filled with the painter's brush.
void Drop(QPainter& p, qreal cx, qreal tip, qreal d) {
    QPainterPath drop;
    drop.moveTo(cx, tip);
    drop.cubicTo(cx + d / 4, tip + d / 2, cx + d / 2, tip + 3 * d / 4, cx + d / 2, tip + d);
    drop.arcTo(cx - d / 2, tip + d / 2, d, d, 0, -180);
    drop.cubicTo(cx - d / 2, tip + 3 * d / 4, cx - d / 4, tip + d / 2, cx, tip);
    p.drawPath(drop);
}

// A brush handle from the lower left up to the ferrule, and the ferrule, at 45 degrees; the
// caller draws the tip below and left of (11, 18).
void BrushHandle(QPainter& p) {
    p.setPen(QPen(kWood, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 13), QPointF(25, 4));
    p.setPen(QPen(kMetal, 4.5, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(12.5, 16.5), QPointF(16, 13));
}

void BrushTip(QPainter& p, const QColor& colour) {
    QPainterPath tip;
    tip.moveTo(10.5, 15);
    tip.cubicTo(8, 18, 6, 21, 4, 25);
    tip.cubicTo(8, 23, 11, 21, 14, 18.5);
    tip.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(tip);
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const double len = std::hypot(d.x(), d.y());
    if (len <= 0) return;
    const QPointF u = d / len, n(-u.y(), u.x());
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({to + u * 1.5, to - u * 4 + n * 3.5, to - u * 4 - n * 3.5}));
}

// A small picture: a frame with a hill and a sun.
void Picture(QPainter& p, QRectF r) {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 160, 80));
    QPainterPath hill;
    hill.moveTo(r.left() + 1, r.bottom());
    hill.quadTo(r.center().x() - 1, r.top() + r.height() * 0.35, r.right(), r.bottom());
    p.drawPath(hill);
    p.setBrush(QColor(235, 180, 40));
    p.drawEllipse(QPointF(r.right() - 3.5, r.top() + 3.5), 2, 2);
}

void Draw(QPainter& p, ButtonIcon icon) {
    switch (icon) {
        case ButtonIcon::Pen: {
            p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(11, 18), QPointF(24, 5));
            p.setPen(Qt::NoPen);
            p.setBrush(kMetal);
            p.drawPolygon(QPolygonF({{9, 15.5}, {13.5, 20}, {4.5, 24.5}}));
            p.setBrush(kInk);
            p.drawEllipse(QPointF(5.5, 23.5), 1.3, 1.3);
            break;
        }
        case ButtonIcon::WaterBrush: {
            BrushHandle(p);
            BrushTip(p, QColor(110, 110, 120));
            p.setPen(Qt::NoPen);
            p.setBrush(kWater);
            Drop(p, 21, 14, 8);
            break;
        }
        case ButtonIcon::Ink: {
            p.setPen(QPen(kInk, 1.2));
            p.setBrush(QColor(70, 70, 90));
            p.drawRoundedRect(QRectF(7, 12, 15, 13), 2.5, 2.5);
            p.setBrush(kInk);
            p.drawRect(QRectF(11, 8, 7, 4));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 90));
            p.drawRect(QRectF(9, 14, 3, 9));
            p.setBrush(kInk);
            Drop(p, 23.5, 2, 6);
            break;
        }
        case ButtonIcon::GelBrush: {
            BrushHandle(p);
            BrushTip(p, kGel);
            p.setPen(QPen(kGel.darker(130), 1));
            p.setBrush(kGel);
            p.drawEllipse(QRectF(15, 18, 10, 7));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 170));
            p.drawEllipse(QRectF(17, 19.5, 4, 2));
            break;
        }
        case ButtonIcon::Pan: {
            const QPointF c(14.5, 14.5);
            Arrow(p, c, {14.5, 3.5}, kArrow);
            Arrow(p, c, {14.5, 25.5}, kArrow);
            Arrow(p, c, {3.5, 14.5}, kArrow);
            Arrow(p, c, {25.5, 14.5}, kArrow);
            break;
        }
        case ButtonIcon::Zoom: {
            p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(18, 18), QPointF(25, 25));
            p.setPen(QPen(kInk, 2));
            p.setBrush(QColor(210, 230, 250));
            p.drawEllipse(QPointF(12, 12), 7.5, 7.5);
            p.setPen(QPen(kArrow, 2));
            p.drawLine(QPointF(8, 12), QPointF(16, 12));
            p.drawLine(QPointF(12, 8), QPointF(12, 16));
            break;
        }
        case ButtonIcon::ActualSize: {
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(250, 250, 245));
            p.drawRect(QRectF(3.5, 6.5, 22, 16));
            QFont f("Arial");
            f.setPixelSize(11);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(3.5, 6.5, 22, 16), Qt::AlignCenter, "1:1");
            break;
        }
        case ButtonIcon::FitWindow: {
            p.setPen(QPen(kInk, 1.2));
            p.setBrush(QColor(250, 250, 245));
            p.drawRect(QRectF(3.5, 3.5, 22, 22));
            Arrow(p, {11, 11}, {6.5, 6.5}, kArrow);
            Arrow(p, {18, 11}, {22.5, 6.5}, kArrow);
            Arrow(p, {11, 18}, {6.5, 22.5}, kArrow);
            Arrow(p, {18, 18}, {22.5, 22.5}, kArrow);
            break;
        }
        case ButtonIcon::GetImage: {
            Picture(p, QRectF(4.5, 13.5, 20, 13));
            Arrow(p, {14.5, 2}, {14.5, 12}, kArrow);
            break;
        }
        case ButtonIcon::SendImage: {
            Picture(p, QRectF(4.5, 13.5, 20, 13));
            Arrow(p, {14.5, 12}, {14.5, 2.5}, QColor(190, 60, 40));
            break;
        }
        case ButtonIcon::Undo: {
            p.setPen(QPen(kArrow, 3, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            QPainterPath curve;
            curve.moveTo(9, 11);
            curve.cubicTo(18, 7, 26, 11, 24, 18);
            curve.cubicTo(23, 22, 19, 24, 15, 24);
            p.drawPath(curve);
            p.setPen(Qt::NoPen);
            p.setBrush(kArrow);
            p.drawPolygon(QPolygonF({{3, 12}, {11, 5.5}, {12, 16}}));
            break;
        }
        case ButtonIcon::Clear: {
            p.setPen(QPen(kInk, 1.2));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(5.5, 3.5, 18, 22));
            p.setPen(QPen(QColor(200, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(9.5, 9), QPointF(19.5, 20));
            p.drawLine(QPointF(19.5, 9), QPointF(9.5, 20));
            break;
        }
    }
}

}  // namespace

QPixmap DrawButtonIcon(ButtonIcon icon, qreal dpr) {
    if (!(dpr >= 1 && dpr <= 16)) dpr = 1;
    const int side = static_cast<int>(std::ceil(kIconSize * dpr));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);  // the drawing below is in the icon's 29 logical pixels
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Draw(p, icon);
    p.end();
    return QPixmap::fromImage(image);
}
