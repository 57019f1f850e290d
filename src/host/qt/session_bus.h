// Finding the session bus without starting one. Without DBUS_SESSION_BUS_ADDRESS, libdbus
// "autolaunches" a bus daemon of its own, which outlives every program that used it; Marlo,
// tarnwick-host and the GIMP plug-in look for the bus themselves instead.
#pragma once
#include <QString>

// True when there is a session bus to use: DBUS_SESSION_BUS_ADDRESS is set, or the user's bus
// socket $XDG_RUNTIME_DIR/bus is there (then the address is set to it, for this process and
// the programs it starts). Otherwise false, with *why in the user's words.
bool FindSessionBus(QString* why);
