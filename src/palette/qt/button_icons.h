// The icons of the palette's twelve icon buttons, 29 x 29 pixels each, drawn in code on a
// transparent background.
#pragma once
#include <QPixmap>

enum class ButtonIcon {
    Pen,
    WaterBrush,
    Ink,
    GelBrush,
    Pan,
    Zoom,
    ActualSize,
    FitWindow,
    GetImage,
    SendImage,
    Undo,
    Clear,
};

constexpr int kIconSize = 29;

// Drawn for the device pixel ratio dpr: kIconSize x dpr device pixels, kIconSize logical.
QPixmap DrawButtonIcon(ButtonIcon icon, qreal dpr = 1.0);
