// The tablet layer: a tablet object with named contexts, bound to one window, that turns the
// platform's pen reports into packets and proximity changes for its listeners. A platform
// subclass supplies the screen and the window positions (tablet_qt.cpp for Qt).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"

// The window system's handle of a top-level window; 0 is no window.
using TabletWindowHandle = uintptr_t;

struct TabletError : MarloError {
    explicit TabletError(const std::string& what) : MarloError(kErrTablet, what) {}
};

// One report of the pen. X and Y run over the context's output extents across the whole
// screen: X = 0 is the left edge, Y = 0 the bottom edge (Y grows upwards). Pressure runs up to
// the tablet's full-pressure value. Altitude is the pen's angle above the tablet surface in
// tenths of a degree, 1..900; the eraser end reports it negative.
struct TabletPacket {
    int32_t X = 0, Y = 0;
    int32_t Pressure = 0;
    int32_t Altitude = 0;
};

// The part of the tablet's input that one window receives.
class TabletContext {
public:
    TabletContext(std::string name, int32_t inExtX, int32_t inExtY);

    const std::string& Name() const { return name_; }
    // The tablet's own range, fixed when the context is made.
    int32_t InExtX() const { return inExtX_; }
    int32_t InExtY() const { return inExtY_; }
    // The range packets are scaled to; a change takes effect with Update.
    int32_t OutExtX = 0, OutExtY = 0;
    // Packets and proximity changes flow only while the context is enabled.
    bool Enabled = false;

    // Applies OutExtX and OutExtY. An empty output range is refused.
    void Update();
    int32_t AppliedExtX() const { return appliedX_; }
    int32_t AppliedExtY() const { return appliedY_; }

private:
    std::string name_;
    int32_t inExtX_, inExtY_;
    int32_t appliedX_, appliedY_;
};

class CTablet {
public:
    using PacketListener = std::function<void(const TabletPacket&)>;
    // IsInContext and IsPhysical are 16-bit flags (true = -1).
    using ProximityListener = std::function<void(int16_t IsInContext, int16_t IsPhysical,
                                                 const std::string& ContextName)>;

    virtual ~CTablet() = default;

    // The listeners: the canvas window's tablet handlers.
    PacketListener PacketArrival;
    ProximityListener ProximityChange;

    // Packets also while the pen is over other windows than the bound one.
    bool AllWindows = false;
    // Events reach the listeners only while the tablet is connected.
    bool Connected = false;

    // The window that packets are reported for. 0 is refused.
    void SetWindow(TabletWindowHandle hWnd);
    TabletWindowHandle Window() const { return window_; }

    // Makes a context spanning the tablet's whole input range; returns its name. A name in
    // use is refused unless replace is set.
    std::string AddContext(const std::string& name, bool replace);
    void SelectContext(const std::string& name);
    void RemoveContext(const std::string& name);
    // The selected context; refused when there is none.
    TabletContext& Context();

    // The Pressure value that means the pen is pressed fully (device 0 is the only device).
    float FullPressure(int32_t device) const;

    // The window system. The screen is the whole desktop, in pixels; positions on it are
    // measured from its top-left corner.
    virtual void ScreenSize(double& width, double& height) const = 0;
    virtual void ClientToScreen(TabletWindowHandle hWnd, double& x, double& y) const = 0;

    // From the platform: the pen at screen position (x, y) over window `source`, pressure
    // 0..1, altitude as in TabletPacket. Reports with non-finite values are dropped.
    void DeliverPen(TabletWindowHandle source, double x, double y, double pressure,
                    int32_t altitude);
    // From the platform: the pen came into range of the tablet or left it.
    void DeliverProximity(bool inRange);
    // Whether the last proximity change brought the pen into range.
    bool PenInRange() const { return penInRange_; }
    // Whether the platform knows a tablet device (a pen, an airbrush or a puck).
    virtual bool DeviceListed() const { return true; }

protected:
    int32_t inputExtent_ = 1 << 20;  // about 500 units a pixel on a 2000-pixel-wide screen
    float fullPressure_ = 65535.0f;

private:
    TabletContext* Find(const std::string& name);
    bool Flowing() const;

    TabletWindowHandle window_ = 0;
    std::vector<std::unique_ptr<TabletContext>> contexts_;
    TabletContext* current_ = nullptr;
    bool penInRange_ = false;
};

// The altitude of a pen with the given tilts (degrees from the vertical, in the x and y
// planes), in tenths of a degree above the tablet surface; negative for the eraser end.
int32_t AltitudeFromTilt(double xTilt, double yTilt, bool eraser);
