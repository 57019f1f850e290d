// The canvas window's side of the tablet: opening it at start, closing it at unload, and the
// handlers that keep the pen fields of the program state (PenX, PenY, PenPressure,
// PenAltitude, PenInProximity) up to date. They draw nothing and store no stroke points; the
// pointer handlers read the pen fields (stroke_capture.h).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "input/tablet.h"

// Opens the tablet for the canvas window hWnd, the last step of the canvas window's start:
// creates the tablet object into Tablet, sets up the context "FirstContext" and reads its
// extents into TabletExtentX and TabletExtentY. TabletPresent tells whether it all worked and
// a tablet device is there: the platform lists one, or later the first packet or proximity
// change comes from one. A failure leaves the program working with the mouse alone, silently.
void OpenTablet(std::unique_ptr<CTablet>& Tablet,
                const std::function<std::unique_ptr<CTablet>()>& create, TabletWindowHandle hWnd);
// Creates, selects and binds the context "FirstContext"; a failure ends it quietly.
void SetupTablet(CTablet& Tablet, TabletWindowHandle hWnd);
// Disables and removes the context and disconnects the tablet; a failing step skips the rest.
void CloseTablet(CTablet* Tablet);

// A packet: the pen position in client pixels of the canvas window, its pressure 0..1 and
// its altitude. Packets that would give no finite position or pressure are ignored.
void Tablet_PacketArrival(CTablet& Tablet, const TabletPacket& packet);
// IsInContext -1: the pen came into range; 0: it left. Other values change nothing.
void Tablet_ProximityChange(int16_t IsInContext);
