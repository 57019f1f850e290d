// What the canvas window needs of the tool palette. The application wires the real palette in;
// a canvas without one (some tests) reads the sliders' design values instead.
#pragma once
#include <functional>

#include "palette/slider_roles.h"

class QWidget;

class PaletteWindow {
public:
    virtual ~PaletteWindow() = default;
    // Show the palette modeless, owned by the canvas window, beside it.
    virtual void ShowBeside(QWidget* canvasWindow) = 0;
    // Show it again where it was.
    virtual void ShowAgain() = 0;
    virtual void Hide() = 0;
    virtual void Close() = 0;
    // The value of slider TrackleN (1..8).
    virtual float SliderValue(int n) const = 0;
    float SliderValue(SliderRole s) const { return SliderValue(static_cast<int>(s)); }
    // Moves slider TrackleN as the user would, within its range; its change handler runs.
    virtual void StepSlider(int n, int steps) = 0;
    virtual QWidget* Widget() = 0;
    // The host's theme (PrefsCallback) applied again.
    virtual void ApplyTheme() = 0;
};

// Wiring.CreatePaletteWindow (core/wiring.h) creates the palette on first use; it is empty when
// the program has no palette.
