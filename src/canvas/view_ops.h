// Zoom and scroll operations of the canvas window.
#pragma once

// Ctrl with plus or minus (key up). When the new zoom cannot be shown the last zoom that
// worked is restored and MarloError 31001 is raised.
void ZoomKeyIn();
void ZoomKeyOut();
// The palette's Actual size and Fill window buttons.
void kt_button11_Click();
void kt_button12_Click();
