// The undo history: five items a step (blue, green, red copies, top y, left x), newest last.
#pragma once

void PushUndo(float x1, float y1, float x2, float y2);
void PopUndo();
// The palette's Undo and Clear buttons.
void kt_button1_Click();
void kt_button2_Click();
