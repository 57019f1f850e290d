// The blend-mode menu window: never shown, it holds ModeMenu ("Mode") with its eleven items.
// It lives with the canvas windows because it is a Qt window; the blend modes themselves are
// the brush engine's.
#pragma once

#include <QString>

class QMenu;

QMenu* ModeMenu();  // created on first use
void CloseMenus();  // closing the canvas closes the menu window
// The menu pops up at the pointer (the palette's Mode button).
void ShowModeMenu();

// The caption of the item that sets blend mode `mode` ("Multiply"); empty for no such mode.
QString ModeCaption(int mode);

// The items' handlers: BlendMode 0 .. 10 in menu order.
void ModeDefault_Click();
void ModeAdd_Click();
void ModeSub_Click();
void ModeMult_Click();
void ModeDiv_Click();
void ModeScreen_Click();
void MenuGreater_Click();
void MenuLess_Click();
void ModeAnd_Click();
void ModeOr_Click();
void ModeXor_Click();
