// Wires the program together: the host named on the command line, the canvas window, the
// palette, and a graceful close on SIGTERM. Used by main() and by the start-up tests.
#pragma once
#include <QString>
#include <memory>

#include "app/qt/command_line.h"
#include "app/qt/make_host.h"
#include "host/host.h"

class Form1;

// Runs Main on host. Returns the canvas window, or null with *error set when the start failed
// (the window, if one was made, is destroyed unshown).
Form1* StartMarlo(std::shared_ptr<Host> host, QString* error);

// SIGTERM, SIGINT and SIGHUP close the canvas window as its close box does (the image is
// written back), ending any message box first. Caught from before the start, so a signal that
// comes while the host is handed the window waits until the window can act on it.
void CatchEndSignals();
void CloseOnEndSignals(Form1* window);

// Every window of the program carries Marlo's icon, in each size the theme installs (from the
// program's resources).
void UseMarloIcon();

// The whole program after the application object exists; returns the exit code.
int RunMarlo(const CommandLine& cl);
