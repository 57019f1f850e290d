// Runs an event handler; an error it raises stops it and is shown to the user in a plain
// message box. Returns false when the handler stopped on an error.
#pragma once
#include <functional>

class QMessageBox;
class QWidget;
class QString;

bool RunHandler(QWidget* parent, const std::function<void()>& handler);
// A plain message box without a title of its own.
void ShowMessage(QWidget* parent, const QString& text);
// A note the painter should read that needs no answer: a box over parent that does not stop
// the program; it closes with parent.
void ShowNotice(QWidget* parent, const QString& text);
// A Yes / No question; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// True while a message box or question waits for its answer in its own event loop; the
// innermost such box (null when none), which alone takes the painter's input meanwhile.
bool MessageBoxesOpen();
QMessageBox* OpenMessageBox();
// Shows a window above the others and gives it the keyboard.
void BringForward(QWidget* box);
// The program is ending (a signal): open boxes close at once, and from now on messages go to
// stderr and questions answer Yes (go on to the end), since nobody is there to answer.
void EndMessageBoxes();

// When Wiring.MessageBoxHook (core/wiring.h) is set, message boxes are not shown: the hook
// receives the text and, for a question, returns the answer (true = Yes).
