// The palette's sliders by what they set, with the range and start value each was designed with.
// The palette builds its sliders from these; a canvas without a palette starts from the values.
#pragma once

// The number is N of TrackleN.
enum SliderRole : int {
    kSizeSlider = 1,     // BrushSize
    kRedSlider = 2,      // ColorR
    kGreenSlider = 3,    // ColorG
    kBlueSlider = 4,     // ColorB
    kOpacitySlider = 5,  // BrushOpacity
    kStepSlider = 6,     // StampSpacing
    kPaperSlider = 7,    // PaperStrength
    kPressSlider = 8,    // StampStrength
};
constexpr int kSliderCount = 8;

struct SliderDesign {
    int min, max;  // the range the user's drags, clicks and keys keep to
    int start;     // the value at start
};

// By role, TrackleN at position N - 1.
constexpr SliderDesign kSliderDesigns[kSliderCount] = {
    {1, 32, 2},     // Size: the radius in image pixels
    {1, 255, 1},    // Red
    {1, 255, 1},    // Green
    {1, 255, 1},    // Blue
    {1, 255, 255},  // Opacity
    {0, 100, 15},   // Step: percent of the radius
    {0, 255, 0},    // Paper
    {1, 255, 255},  // Press
};

constexpr const SliderDesign& DesignOf(SliderRole role) { return kSliderDesigns[role - 1]; }
