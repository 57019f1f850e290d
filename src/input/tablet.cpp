#include "input/tablet.h"

#include <algorithm>
#include <cmath>
#include <numbers>

TabletContext::TabletContext(std::string name, int32_t inExtX, int32_t inExtY)
    : OutExtX(inExtX),
      OutExtY(inExtY),
      name_(std::move(name)),
      inExtX_(inExtX),
      inExtY_(inExtY),
      appliedX_(inExtX),
      appliedY_(inExtY) {}

void TabletContext::Update() {
    if (OutExtX <= 0 || OutExtY <= 0)
        throw TabletError("The tablet context's output range is empty");
    appliedX_ = OutExtX;
    appliedY_ = OutExtY;
}

void CTablet::SetWindow(TabletWindowHandle hWnd) {
    if (hWnd == 0) throw TabletError("The tablet has no window to report to");
    window_ = hWnd;
}

TabletContext* CTablet::Find(const std::string& name) {
    for (auto& c : contexts_)
        if (c->Name() == name) return c.get();
    return nullptr;
}

std::string CTablet::AddContext(const std::string& name, bool replace) {
    if (name.empty()) throw TabletError("A tablet context needs a name");
    if (Find(name)) {
        if (!replace) throw TabletError("A tablet context named " + name + " exists already");
        RemoveContext(name);
    }
    contexts_.push_back(std::make_unique<TabletContext>(name, inputExtent_, inputExtent_));
    return name;
}

void CTablet::SelectContext(const std::string& name) {
    TabletContext* c = Find(name);
    if (!c) throw TabletError("There is no tablet context named " + name);
    current_ = c;
}

void CTablet::RemoveContext(const std::string& name) {
    TabletContext* c = Find(name);
    if (!c) throw TabletError("There is no tablet context named " + name);
    if (current_ == c) current_ = nullptr;
    std::erase_if(contexts_, [c](const auto& p) { return p.get() == c; });
}

TabletContext& CTablet::Context() {
    if (!current_) throw TabletError("No tablet context is selected");
    return *current_;
}

float CTablet::FullPressure(int32_t device) const {
    if (device != 0) throw TabletError("The tablet has no device " + std::to_string(device));
    return fullPressure_;
}

bool CTablet::Flowing() const { return Connected && current_ && current_->Enabled; }

namespace {

// A packet coordinate: the position's share of the screen over the extent, held in int32.
bool PacketCoordinate(double share, int32_t extent, int32_t& out) {
    const double v = std::nearbyint(share * extent);
    if (!std::isfinite(v)) return false;
    out = static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
    return true;
}

}  // namespace

void CTablet::DeliverPen(TabletWindowHandle source, double x, double y, double pressure,
                         int32_t altitude) {
    if (!Flowing() || !PacketArrival) return;
    if (!AllWindows && source != window_) return;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(pressure)) return;
    double width = 0, height = 0;
    ScreenSize(width, height);
    if (!(width > 0) || !(height > 0)) return;
    TabletPacket p;
    if (!PacketCoordinate(x / width, current_->AppliedExtX(), p.X) ||
        !PacketCoordinate((height - y) / height, current_->AppliedExtY(), p.Y))
        return;
    p.Pressure = static_cast<int32_t>(std::lrint(std::clamp(pressure, 0.0, 1.0) * fullPressure_));
    p.Altitude = altitude;
    PacketArrival(p);
}

void CTablet::DeliverProximity(bool inRange) {
    penInRange_ = inRange;
    if (!Flowing() || !ProximityChange) return;
    ProximityChange(inRange ? -1 : 0, -1, current_->Name());
}

int32_t AltitudeFromTilt(double xTilt, double yTilt, bool eraser) {
    int32_t tenths = 900;
    if (std::isfinite(xTilt) && std::isfinite(yTilt)) {
        const double deg = std::numbers::pi / 180;
        const double tx = std::tan(std::clamp(xTilt, -89.0, 89.0) * deg);
        const double ty = std::tan(std::clamp(yTilt, -89.0, 89.0) * deg);
        // The pen's direction (tx, ty, 1); its angle from the vertical is atan(|(tx, ty)|).
        const double fromVertical = std::atan(std::hypot(tx, ty)) / deg;
        tenths = static_cast<int32_t>(std::lrint((90 - fromVertical) * 10));
    }
    tenths = std::clamp(tenths, 1, 900);
    return eraser ? -tenths : tenths;
}
