#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "brush/tables.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "core/errors.h"
#include "engine_setup.h"

namespace {

Plane Pattern(int w, int h, int k) {
    Plane p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.at(x, y) = static_cast<uint8_t>((k * x + y) & 0xFF);
    return p;
}

}  // namespace

RecordingHost::RecordingHost(int w, int h, int paperW, int paperH)
    : width(w),
      height(h),
      r(Pattern(w, h, 1)),
      g(Pattern(w, h, 2)),
      b(Pattern(w, h, 3)),
      paper(Pattern(paperW, paperH, 5)) {}

void RecordingHost::Call(const char* name) {
    calls.emplace_back(name);
    if (failOn == name) throw HostError(std::string("host failed in ") + name);
}

int32_t RecordingHost::Tarn_GetPaperWidth() { return Answer("Tarn_GetPaperWidth", paper.width); }
int32_t RecordingHost::tarn_GetPaperHeight() { return Answer("tarn_GetPaperHeight", paper.height); }
Plane RecordingHost::Tarn_GetPaper() { return Answer("Tarn_GetPaper", paper); }
int32_t RecordingHost::Tarn_BufferWidth() { return Answer("Tarn_BufferWidth", width); }
int32_t RecordingHost::Tarn_BufferHeight() { return Answer("Tarn_BufferHeight", height); }
Plane RecordingHost::Tarn_GetRBuffer() { return Answer("Tarn_GetRBuffer", r); }
Plane RecordingHost::Tarn_GetGBuffer() { return Answer("Tarn_GetGBuffer", g); }
Plane RecordingHost::Tarn_GetBBuffer() { return Answer("Tarn_GetBBuffer", b); }
void RecordingHost::Tarn_SendFormObject(HostCallbackTarget* w, int16_t& zero) {
    Call("Tarn_SendFormObject");
    (void)zero;
    window = w;
    if (showOnSend && w) w->ShowCanvas();
}
void RecordingHost::Tarn_SaveUndo() { Call("Tarn_SaveUndo"); }
void RecordingHost::Tarn_SetRbuffer(const Plane& p) {
    Call("Tarn_SetRbuffer");
    sentR = p;
}
void RecordingHost::Tarn_SetGbuffer(const Plane& p) {
    Call("Tarn_SetGbuffer");
    sentG = p;
}
void RecordingHost::Tarn_SetBbuffer(const Plane& p) {
    Call("Tarn_SetBbuffer");
    sentB = p;
}
void RecordingHost::tarn_Refresh() { Call("tarn_Refresh"); }
std::string RecordingHost::Tarn_WallpaperFilename() {
    Call("Tarn_WallpaperFilename");
    return {};
}

void FreshEngine(int w, int h, CanvasSurface* view) {
    SetUpEngineState(w, h, view, "Marlo for Tarnwick Artist - Spline based paint engine");
    Module1State& m = Module1;
    m.RPlane = Pattern(w, h, 1);
    m.GPlane = Pattern(w, h, 2);
    m.BPlane = Pattern(w, h, 3);
    DisplayCopyFollowsImage();
    CreateDisplayBitmap();
}

void FillImage(const std::function<uint8_t(int, int, int)>& value) {
    Module1State& m = Module1;
    for (int y = 0; y < m.BufferHeight; ++y)
        for (int x = 0; x < m.BufferWidth; ++x) {
            m.RPlane.at(x, y) = value(x, y, 0);
            m.GPlane.at(x, y) = value(x, y, 1);
            m.BPlane.at(x, y) = value(x, y, 2);
        }
    DisplayCopyFollowsImage();
}

void ExpectPlanes(const Module1State& m, const Plane& r, const Plane& g, const Plane& b,
                  const Plane& rBase, const Plane& gBase, const Plane& bBase,
                  const Plane& coverage) {
    EXPECT_EQ(m.RPlane.bytes, r.bytes);
    EXPECT_EQ(m.GPlane.bytes, g.bytes);
    EXPECT_EQ(m.BPlane.bytes, b.bytes);
    EXPECT_EQ(m.RBase.bytes, rBase.bytes);
    EXPECT_EQ(m.GBase.bytes, gBase.bytes);
    EXPECT_EQ(m.BBase.bytes, bBase.bytes);
    EXPECT_EQ(m.FXBuffer.bytes, coverage.bytes);
}

DetachView::~DetachView() { Dibs.View = nullptr; }

KeepEnv::KeepEnv(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) kept_ = v;
}

KeepEnv::~KeepEnv() {
    if (kept_)
        setenv(name_.c_str(), kept_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void ScreenSurface::BitBlt(int dx, int dy, int w, int h, int sx, int sy) {
    RecordingSurface::BitBlt(dx, dy, w, h, sx, sy);
    if (screen.size() != static_cast<size_t>(cw) * ch) Clear();
    for (int y = std::max(dy, 0); y < std::min(dy + h, ch); ++y)
        for (int x = std::max(dx, 0); x < std::min(dx + w, cw); ++x) {
            const uint32_t* p = DisplayPixelAt(sx + x - dx, sy + y - dy);
            screen[static_cast<size_t>(y) * cw + x] = p ? *p & 0xFFFFFF : kStale;
        }
}

void ScreenSurface::FillBackground(int x1, int y1, int x2, int y2) {
    RecordingSurface::FillBackground(x1, y1, x2, y2);
    if (screen.size() != static_cast<size_t>(cw) * ch) Clear();
    for (int y = std::max(std::min(y1, y2), 0); y <= std::min(std::max(y1, y2), ch - 1); ++y)
        for (int x = std::max(std::min(x1, x2), 0); x <= std::min(std::max(x1, x2), cw - 1); ++x)
            screen[static_cast<size_t>(y) * cw + x] = kBackground;
}

uint32_t ScreenSurface::Expected(const std::vector<uint32_t>& whole, int row, int x, int y) {
    const int X = x - Module1.ScrollX, Y = y - Module1.ScrollY;
    if (X < 0 || Y < 0 || X >= Dibs.DisplayWidth || Y >= Dibs.DisplayHeight) return kBackground;
    return whole[static_cast<size_t>(Y) * row + X] & 0xFFFFFF;
}

int ScreenSurface::WrongPixels(const std::vector<uint32_t>& whole, int row) const {
    int wrong = 0;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x)
            wrong += screen[static_cast<size_t>(y) * cw + x] != Expected(whole, row, x, y);
    return wrong;
}

uint32_t ImagePixel(const Module1State& m, int x, int y) {
    return (uint32_t(m.RPlane.at(x, y)) << 16) | (m.GPlane.at(x, y) << 8) | m.BPlane.at(x, y);
}

std::vector<uint32_t> WholeImageRendering(int* row) {
    Dibs.View = nullptr;
    CreateDisplayBitmap();
    displaybuffers();
    *row = Dibs.DisplayInfo.biWidth;
    return {Dibs.Storage.begin(), Dibs.Storage.end()};
}
