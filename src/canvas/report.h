// Runs an event handler; an error it raises stops it and is shown to the user in a plain
// message box. Returns false when the handler stopped on an error.
#pragma once
#include <functional>

class QWidget;
class QString;

bool RunHandler(QWidget* parent, const std::function<void()>& handler);
// A plain message box without a title of its own.
void ShowMessage(QWidget* parent, const QString& text);
