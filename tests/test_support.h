// Shared test fixtures: a host that records its calls, a window stand-in for the display
// code, and a fresh engine state of a given size. Plain C++: the engine tests link them
// without Qt (the Qt helpers are in qt_test_support.h).
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "canvas/canvas_surface.h"
#include "core/module1.h"
#include "host/host.h"

// Serves an image of w x h (pixel (x, y) = (x + y, 2x + y, 3x + y) mod 256) and a paper, and
// records every call by name. failOn names a method that throws HostError.
class RecordingHost : public Host {
public:
    RecordingHost(int w, int h, int paperW = 4, int paperH = 3);
    std::vector<std::string> calls;
    std::string failOn;
    int width, height;
    Plane r, g, b, paper;
    Plane sentR, sentG, sentB;
    HostCallbackTarget* window = nullptr;
    bool showOnSend = true;
    std::string hostName = "Tarnwick", imageName;  // answered by HostName, ImageName

    int32_t Tarn_GetPaperWidth() override;
    int32_t tarn_GetPaperHeight() override;
    Plane Tarn_GetPaper() override;
    int32_t Tarn_BufferWidth() override;
    int32_t Tarn_BufferHeight() override;
    Plane Tarn_GetRBuffer() override;
    Plane Tarn_GetGBuffer() override;
    Plane Tarn_GetBBuffer() override;
    void Tarn_SendFormObject(HostCallbackTarget* w, int16_t& zero) override;
    void Tarn_SaveUndo() override;
    void Tarn_SetRbuffer(const Plane& p) override;
    void Tarn_SetGbuffer(const Plane& p) override;
    void Tarn_SetBbuffer(const Plane& p) override;
    void tarn_Refresh() override;
    std::string Tarn_WallpaperFilename() override;
    std::string HostName() override { return hostName; }
    std::string ImageName() override { return imageName; }

private:
    void Call(const char* name);
    // Records the call, then answers value.
    template <typename T>
    T Answer(const char* name, const T& value) {
        Call(name);
        return value;
    }
};

// A window stand-in: records blits and background fills.
class RecordingSurface : public CanvasSurface {
public:
    int cw = 640, ch = 480;
    bool visible = true;
    std::string caption;
    struct Rect {
        int a, b, c, d, e, f;
    };
    std::vector<Rect> blits, fills;
    int ClientWidth() const override { return cw; }
    int ClientHeight() const override { return ch; }
    bool IsVisible() const override { return visible; }
    void SetCaption(const std::string& text) override { caption = text; }
    void BitBlt(int dx, int dy, int w, int h, int sx, int sy) override {
        blits.push_back({dx, dy, w, h, sx, sy});
    }
    void FillBackground(int x1, int y1, int x2, int y2) override {
        fills.push_back({x1, y1, x2, y2, 0, 0});
    }
    void ResizeClient(int w, int h) override {
        cw = w;
        ch = h;
    }
};

// A window that keeps what it shows: each blit copies the display bitmap's pixels onto its
// screen, each background fill paints kBackground (both corners included, either way round).
// Pixels nothing has painted since the last Clear hold kStale.
class ScreenSurface : public RecordingSurface {
public:
    static constexpr uint32_t kBackground = 0xB0B0B0, kStale = 0xDEADBEEF;
    std::vector<uint32_t> screen;
    void Clear() { screen.assign(static_cast<size_t>(cw) * ch, kStale); }
    void BitBlt(int dx, int dy, int w, int h, int sx, int sy) override;
    void FillBackground(int x1, int y1, int x2, int y2) override;
    // What a full render of the whole image (whole: its bitmap, rows of row pixels) shows at
    // window pixel (x, y).
    static uint32_t Expected(const std::vector<uint32_t>& whole, int row, int x, int y);
    // How many pixels of the screen differ from what Expected says.
    int WrongPixels(const std::vector<uint32_t>& whole, int row) const;
};

// The whole-image bitmap as a render without a window makes it at the current zoom: the
// reference for what a window shows. row: its pixels a row. Leaves the engine with no window.
std::vector<uint32_t> WholeImageRendering(int* row);

// The image's pixel (x, y) in the engine state m as 0xRRGGBB.
uint32_t ImagePixel(const Module1State& m, int x, int y);

// A fresh engine: tables built, planes of w x h filled by the given pattern (default the
// recording host's), display bitmap at zoom 1, the brush at its design values.
void FreshEngine(int w, int h, CanvasSurface* view = nullptr);

// Fills the working and display planes: value(x, y, channel 0..2).
void FillImage(const std::function<uint8_t(int, int, int)>& value);

// The seven planes of the engine state m equal these: image, display copy, coverage.
void ExpectPlanes(const Module1State& m, const Plane& r, const Plane& g, const Plane& b,
                  const Plane& rBase, const Plane& gBase, const Plane& bBase,
                  const Plane& coverage);

// A seeded random integer in lo .. hi. Each test program that uses it fixes its seed by
// defining kRandSeed, so its sequence is the same on every run.
extern const uint32_t kRandSeed;
int Rand(int lo, int hi);

// Detaches the recording window from the display code before the window goes away.
struct DetachView {
    ~DetachView();
};

// Runs f at the end of the scope, however the test leaves it (an assertion included): what a
// test changes for itself (a setting, a hook, the environment) is put back this way, never by a
// last statement.
template <class F>
struct AtScopeEnd {
    explicit AtScopeEnd(F f) : f_(std::move(f)) {}
    ~AtScopeEnd() { f_(); }
    AtScopeEnd(const AtScopeEnd&) = delete;
    F f_;
};

// Keeps a variable's value and puts it back at the end of the scope.
template <class T>
struct Restore {
    explicit Restore(T& v) : v_(v), kept_(v) {}
    ~Restore() { v_ = std::move(kept_); }
    Restore(const Restore&) = delete;
    T& v_;
    T kept_;
};

// Keeps an environment variable (set or unset) and puts it back at the end of the scope.
struct KeepEnv {
    explicit KeepEnv(const char* name);
    ~KeepEnv();
    KeepEnv(const KeepEnv&) = delete;
    std::string name_;
    std::optional<std::string> kept_;
};
