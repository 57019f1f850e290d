// Colours a window of the program like a panel of the host: the window's back colour, then its
// controls by kind and by Tag ("Setting", "Action", "Tool"; "Color" keeps its own colours).
#pragma once

class QWidget;
struct HostTheme;

// Reads the host's stored colours and applies them to FormObject and its controls.
void PrefsCallback(QWidget* FormObject);
// Applies given colours; a control kind without a rule keeps its colours.
void ApplyHostTheme(QWidget* FormObject, const HostTheme& theme);
