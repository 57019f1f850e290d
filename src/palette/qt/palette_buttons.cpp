#include "palette/qt/palette_buttons.h"

#include "canvas/image_exchange.h"
#include "canvas/qt/menus.h"
#include "canvas/undo.h"
#include "canvas/view_ops.h"

void kt_button1_Click() { PopUndo(); }
void kt_button2_Click() { ClearImage(); }
void kt_button3_Click() { GetImage(); }
void kt_button4_Click() { WriteImageBack(); }
void kt_button11_Click() { ActualSize(); }
void kt_button12_Click() { FillWindow(); }
void kt_button15_Click() { ShowModeMenu(); }
