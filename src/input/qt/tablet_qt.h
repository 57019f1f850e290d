// The tablet layer over Qt. Packets come from the tablet events that the canvas hands over;
// proximity changes come from the application object, the only place Qt sends them.
#pragma once
#include <memory>

#include "input/tablet.h"

class QTabletEvent;
class QWidget;

std::unique_ptr<CTablet> CreateQtTablet();
// The handle that binds a tablet to the top-level window of w (0 for none).
TabletWindowHandle TabletWindowOf(QWidget* w);
// Hands a tablet event that reached `receiver` to the tablet as a packet.
void RecordTabletEvent(CTablet& tablet, QWidget* receiver, const QTabletEvent& event);
