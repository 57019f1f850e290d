// What the windows keep from event to event beside the engine's records: the Mode menu's
// window, the message boxes open, whether the program is ending on a signal, and what the end
// signals close. The engine's records (Module1, Scratch, Dibs, Wiring) never point here.
// ResetEngine leaves it alone: it tracks windows that are alive.
#pragma once
#include <QPointer>
#include <QString>
#include <vector>

class Form1;
class QMessageBox;
class QSocketNotifier;
class QWidget;

struct WindowsState {
    QPointer<QWidget> Menus;  // the hidden window holding the Mode menu, made at first use
    // The modal boxes now in their own event loops, innermost last (canvas/qt/report.cpp).
    std::vector<QPointer<QMessageBox>> OpenBoxes;
    bool Ending = false;  // a signal is ending the program: no more boxes (EndMessageBoxes)
    // The canvas window SIGTERM, SIGINT and SIGHUP close, and the one notifier of the program
    // that reads them (app/qt/application.cpp, CloseOnEndSignals).
    QPointer<Form1> EndSignalTarget;
    QSocketNotifier* EndSignalNotifier = nullptr;
    // The close could not write the image back to a host other than a file (the file host says
    // its own): why, and where the painting was saved instead. Shown once the windows are gone.
    QString LostWriteBack;
};

extern WindowsState Windows;
