// Zoom and scroll operations of the canvas window.
#pragma once

// Ctrl with plus or minus (key up). Returns false when the new zoom could not be shown; the
// last zoom that worked is then restored.
bool ZoomKeyIn();
void ZoomKeyOut();
// The palette's Actual size and Fill window buttons.
void kt_button11_Click();
void kt_button12_Click();
