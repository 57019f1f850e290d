// The blend-mode menu window: never shown, it holds ModeMenu ("Mode") with its eleven items.
#pragma once

class QMenu;

QMenu* ModeMenu();    // created on first use
void CloseMenus();    // closing the canvas closes the menu window
