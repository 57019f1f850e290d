// What the canvas window needs of the tool palette. The application wires the real palette in;
// a canvas without one (some tests) reads the sliders' design values instead.
#pragma once
#include <functional>

#include "palette/slider_roles.h"
#include "theme/qt/settings_store.h"

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
    // The brush kind, the brush sliders, the colour and the blend mode: kept in the settings
    // store, taken back from it (each value checked; a bad one keeps its design value, a number
    // out of range is clamped), and returned to the design values.
    virtual void SaveBrush() const = 0;
    virtual void RestoreBrush() = 0;
    virtual void ResetBrush() = 0;
};

// Wiring.CreatePaletteWindow (core/wiring.h) creates the palette on first use; it is empty when
// the program has no palette.
