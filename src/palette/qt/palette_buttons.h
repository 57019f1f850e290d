// The palette's action buttons, each forwarding to the operation of the folder that owns it.
#pragma once

void kt_button1_Click();   // "Undo": canvas/undo PopUndo
void kt_button2_Click();   // "Clear": canvas/undo ClearImage
void kt_button3_Click();   // "Get image from Tarnwick": host/image_exchange GetImage
void kt_button4_Click();   // "Send image to Tarnwick": host/image_exchange WriteImageBack
void kt_button11_Click();  // "Actual size": canvas/view_ops ActualSize
void kt_button12_Click();  // "Fit to window": canvas/view_ops FillWindow
void kt_button15_Click();  // "Mode": canvas/menus ShowModeMenu
