#include "input/tablet_handlers.h"

#include <cfloat>
#include <cmath>
#include <exception>

#include "core/module1.h"

namespace {

const char* const kContextName = "FirstContext";

bool FitsFloat(double v) { return std::isfinite(v) && std::fabs(v) <= FLT_MAX; }

}  // namespace

void SetupTablet(CTablet& Tablet, TabletWindowHandle hWnd) {
    try {
        Tablet.AddContext(kContextName, false);
        Tablet.SelectContext(kContextName);
        Tablet.SetWindow(hWnd);
        Tablet.Connected = true;
        // No packet queue to size: Qt hands every pen event over as it comes.
        Tablet.Context().Enabled = true;
    } catch (const std::exception&) {
        // Without a usable context the reading of the extents fails next, and the start
        // goes on without the tablet.
    }
}

void OpenTablet(std::unique_ptr<CTablet>& Tablet,
                const std::function<std::unique_ptr<CTablet>()>& create, TabletWindowHandle hWnd) {
    Module1State& m = Module1;
    try {
        Tablet = create ? create() : nullptr;
        if (!Tablet) throw TabletError("There is no tablet layer");
        CTablet* t = Tablet.get();
        // Events come only from a tablet device: the first one tells that there is one.
        t->PacketArrival = [t](const TabletPacket& p) {
            Module1.TabletPresent = kTrue;
            Tablet_PacketArrival(*t, p);
        };
        t->ProximityChange = [](int16_t in, int16_t, const std::string&) {
            Module1.TabletPresent = kTrue;
            Tablet_ProximityChange(in);
        };
        t->AllWindows = false;
        t->SetWindow(hWnd);
        SetupTablet(*t, hWnd);
        TabletContext& c = t->Context();
        // Packets span the tablet's whole input range.
        c.OutExtX = c.InExtX();
        c.OutExtY = c.InExtY();
        c.Update();
        c.Enabled = true;
        m.TabletExtentX = c.InExtX();
        m.TabletExtentY = c.InExtY();
        m.TabletPresent = t->DeviceListed() ? kTrue : kFalse;
    } catch (const std::exception&) {
        m.TabletPresent = kFalse;
    }
}

void CloseTablet(CTablet* Tablet) {
    try {
        if (!Tablet) throw TabletError("There is no tablet layer");
        Tablet->Context().Enabled = false;
        Tablet->RemoveContext(kContextName);
        Tablet->Connected = false;
    } catch (const std::exception&) {
        // The window closes whatever the tablet says.
    }
}

void Tablet_PacketArrival(CTablet& Tablet, const TabletPacket& packet) {
    Module1State& m = Module1;
    // Without a range to scale by there is no position to give.
    if (m.TabletExtentX == 0 || m.TabletExtentY == 0) return;
    double width = 0, height = 0;
    Tablet.ScreenSize(width, height);
    const double sx = packet.X > 0 ? packet.X / static_cast<double>(m.TabletExtentX) * width : 0.0;
    double sy = packet.Y > 0 ? packet.Y / static_cast<double>(m.TabletExtentY) * height : 0.0;
    sy = height - sy;  // packet Y grows upwards, screen y downwards
    double ox = 0, oy = 0;
    Tablet.ClientToScreen(Tablet.Window(), ox, oy);
    // The half pixel moves the position from pixel corners to pixel centres.
    const double penX = sx - ox - 0.5, penY = sy - oy - 0.5;
    if (!FitsFloat(penX) || !FitsFloat(penY)) return;
    m.PenX = static_cast<float>(penX);
    m.PenY = static_cast<float>(penY);
    // The position stands even when the pressure cannot be had.
    const float full = Tablet.FullPressure(0);  // read anew: the tablet may change its scale
    if (full == 0 || !std::isfinite(full)) return;
    const double pressure = packet.Pressure / static_cast<double>(full);
    if (!FitsFloat(pressure)) return;
    m.PenPressure = static_cast<float>(pressure);
    m.PenAltitude = static_cast<float>(packet.Altitude);
}

void Tablet_ProximityChange(int16_t IsInContext) {
    if (IsInContext == 0)
        Module1.PenInProximity = kFalse;
    else if (IsInContext == -1)
        Module1.PenInProximity = kTrue;
}
