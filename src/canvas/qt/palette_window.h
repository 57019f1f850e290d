// What the canvas window needs of the tool palette. The application wires the real palette in;
// a canvas without one (some tests) reads the sliders' design values instead.
#pragma once
#include <functional>

class QWidget;

// The palette's sliders by what they set; the number is N of TrackleN.
enum SliderRole : int {
    kSizeSlider = 1,      // BrushSize
    kRedSlider = 2,       // ColorR
    kGreenSlider = 3,     // ColorG
    kBlueSlider = 4,      // ColorB
    kOpacitySlider = 5,   // BrushOpacity
    kStepSlider = 6,      // StampSpacing
    kPaperSlider = 7,     // PaperStrength
    kPressSlider = 8,     // StampStrength
};

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
