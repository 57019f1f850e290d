// Planes, the display bitmap, the view operations and the undo history.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <string>

#include "app/engine_reset.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "canvas/smoothblit.h"
#include "canvas/undo.h"
#include "canvas/view_ops.h"
#include "canvas/zoom.h"
#include "core/errors.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "cpu_levels.h"
#include "engine_setup.h"
#include "test_support.h"

namespace {

// The set of (x, y) with nonzero coverage, as a rectangle check.
void ExpectClearedExactly(int x0, int x1, int y0, int y1) {
    const Module1State& m = Module1;
    for (int y = 0; y < m.BufferHeight; ++y)
        for (int x = 0; x < m.BufferWidth; ++x) {
            const bool inside = x >= x0 && x <= x1 && y >= y0 && y <= y1;
            ASSERT_EQ(m.FXBuffer.at(x, y), inside ? 0 : 7) << x << "," << y;
        }
}

}  // namespace

TEST(ClearFXbuffer, Rectangles) {
    struct Case {
        const char* name;
        float x1, y1, x2, y2;
        int cx0, cx1, cy0, cy1;  // cleared columns and rows, inclusive; cx0 > cx1 for none
    };
    const Case cases[] = {
        {"corners in any order", 10.7f, 5.2f, 3.1f, 2.9f, 3, 10, 2, 5},
        {"right edge at the last column", 15.0f, 0, 19.0f, 1, 15, 19, 0, 1},
        {"right edge beyond the image", 18.2f, 3, 40.0f, 3, 18, 19, 3, 3},
        {"wholly right of the image", 20.0f, 0, 30.0f, 5, 1, 0, 0, 0},
        {"wholly below the image", 0, 12.0f, 5, 14, 1, 0, 0, 0},
        {"negative corners", -4.5f, -3.0f, 1.2f, 0.9f, 0, 1, 0, 0},
        {"a single pixel", 7.5f, 8.5f, 7.5f, 8.5f, 7, 7, 8, 8},
        {"bottom row", 0, 11.0f, 0, 11.0f, 0, 0, 11, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshEngine(20, 12);
        std::fill(Module1.FXBuffer.bytes.begin(), Module1.FXBuffer.bytes.end(), uint8_t{7});
        ClearFXbuffer(c.x1, c.y1, c.x2, c.y2);
        ExpectClearedExactly(c.cx0, c.cx1, c.cy0, c.cy1);
    }
}

TEST(ClearFXbuffer, NonFiniteAndHugeCornersFinishAndClip) {
    FreshEngine(20, 12);
    std::fill(Module1.FXBuffer.bytes.begin(), Module1.FXBuffer.bytes.end(), uint8_t{7});
    ClearFXbuffer(-1e30f, -1e30f, 1e30f, 1e30f);
    for (uint8_t v : Module1.FXBuffer.bytes) ASSERT_EQ(v, 0);
    std::fill(Module1.FXBuffer.bytes.begin(), Module1.FXBuffer.bytes.end(), uint8_t{7});
    ClearFXbuffer(NAN, 0, 5, 5);
    ClearFXbuffer(0, 0, INFINITY, 0);
    EXPECT_EQ(Module1.FXBuffer.at(19, 0), 0);
}

TEST(Clearbuffer, WhiteImageEmptyCoverageDisplayFollowsPaperUntouched) {
    FreshEngine(9, 7);
    Module1.Paper = Plane(3, 3, 42);
    std::fill(Module1.FXBuffer.bytes.begin(), Module1.FXBuffer.bytes.end(), uint8_t{99});
    clearbuffer();
    for (const Plane* p : {&Module1.RPlane, &Module1.GPlane, &Module1.BPlane, &Module1.RBase,
                           &Module1.GBase, &Module1.BBase})
        for (uint8_t v : p->bytes) ASSERT_EQ(v, 255);
    for (uint8_t v : Module1.FXBuffer.bytes) ASSERT_EQ(v, 0);
    for (uint8_t v : Module1.Paper.bytes) ASSERT_EQ(v, 42);
}

TEST(DisplayBitmap, SizesAtZoom) {
    struct Case {
        int w, h;
        float zoom;
        int biWidth, biHeight, dispW;
    };
    const Case cases[] = {
        {101, 50, 1.0f, 104, -50, 101},
        {101, 50, 0.25f, 28, -12, 25},
        {1, 1, 1.0f, 4, -1, 1},
        {100, 10, 1.25f, 128, -12, 125},
        // Too small to cover a display pixel: an empty bitmap, not a failure.
        {3, 2, 0.25f, 0, 0, 0},
        {9, 3, 0.25f, 4, 0, 2},
    };
    for (const Case& c : cases) {
        FreshEngine(c.w, c.h);
        Module1.Zoom = c.zoom;
        CreateDisplayBitmap();
        EXPECT_EQ(Dibs.DisplayInfo.biWidth, c.biWidth);
        EXPECT_EQ(Dibs.DisplayInfo.biHeight, c.biHeight);
        EXPECT_EQ(Dibs.DisplayInfo.biSize, 40);
        EXPECT_EQ(Dibs.DisplayInfo.biBitCount, 32);
        EXPECT_EQ(Dibs.DisplayWidth, c.dispW);
        EXPECT_EQ(Dibs.DisplayBits == nullptr, c.biHeight == 0 || c.biWidth == 0);
    }
}

TEST(DisplayBitmap, TinyImageZoomsOutToNothingAndBackWithoutLoss) {
    RecordingSurface view;
    FreshEngine(3, 2, &view);
    const Plane red = Module1.RPlane;
    ZoomKeyOut();
    ZoomKeyOut();
    ZoomKeyOut();
    EXPECT_EQ(Module1.Zoom, 0.25f);
    EXPECT_EQ(Dibs.DisplayBits, nullptr);
    EXPECT_EQ(Dibs.DisplayHeight, 0);
    view.blits.clear();
    displaybuffers();
    BlitDisplay(Module1.RPlane, Module1.GPlane, Module1.BPlane, 0, 0, 2, 1);
    EXPECT_TRUE(view.blits.empty());
    for (int i = 0; i < 3; ++i) ZoomKeyIn();
    EXPECT_EQ(Module1.Zoom, 1.0f);
    ASSERT_NE(Dibs.DisplayBits, nullptr);
    displaybuffers();
    EXPECT_EQ(Dibs.DisplayBits[0] & 0xFFFFFF, (uint32_t{red.at(0, 0)} << 16) |
                                                  (uint32_t{Module1.GPlane.at(0, 0)} << 8) |
                                                  Module1.BPlane.at(0, 0));
    EXPECT_EQ(Module1.RPlane.bytes, red.bytes);
}

TEST(DisplayBitmap, CaptionNamesTheZoomOnlyAfterTheFirstCreation) {
    RecordingSurface view;
    FreshEngine(40, 30, &view);  // creates the first bitmap
    EXPECT_EQ(view.caption, "");
    Module1.Zoom = 1.25f;
    CreateDisplayBitmap();
    EXPECT_EQ(view.caption, "Marlo for Tarnwick Artist - Spline based paint engine zoom = 125");
    Module1.Zoom = 0.7f;
    CreateDisplayBitmap();
    EXPECT_EQ(view.caption, "Marlo for Tarnwick Artist - Spline based paint engine zoom = 70");
}

TEST(DisplayBitmap, ZoomInThatCannotBeShownKeepsTheLastZoom) {
    RecordingSurface view;  // 640 x 480
    FreshEngine(400, 400, &view);
    const Restore<double> keepLimit(Dibs.MaxBitmapBytes);
    Dibs.MaxBitmapBytes = 4.0 * 500 * 480;  // the window's share at zoom 1.25, not at 1.5
    Module1.Zoom = 1.25f;
    CreateDisplayBitmap();
    try {
        ZoomKeyIn();
        FAIL() << "expected the zoom to be refused";
    } catch (const MarloError& e) {
        EXPECT_EQ(e.code, kErrOutOfMemory);
    }
    EXPECT_EQ(Module1.Zoom, 1.25f);
    EXPECT_NE(Dibs.DisplayBits, nullptr);
    EXPECT_EQ(Dibs.DisplayWidth, 500);
    // Room for the whole window: any zoom, however large the zoomed image.
    Dibs.MaxBitmapBytes = 4.0 * 640 * 480;
    while (Module1.Zoom < kMostZoom) ZoomKeyIn();
    EXPECT_EQ(Dibs.DisplayWidth, 2400);
    EXPECT_EQ(Dibs.Storage.size(), 640u * 480u);
}

TEST(DisplayBitmap, ZoomKeys) {
    RecordingSurface view;
    FreshEngine(40, 30, &view);
    Module1.Zoom = 0.25f;
    ZoomKeyOut();
    EXPECT_EQ(Module1.Zoom, 0.25f);
    ZoomKeyIn();
    EXPECT_EQ(Module1.Zoom, 0.5f);
    Module1.ScrollX = 7;
    ZoomKeyIn();
    EXPECT_EQ(Module1.ScrollX, 7);  // the zoom keys keep the scroll
    // Zooming in they stop where the wheel and the drag stop, from any zoom below it.
    for (const float from : {5.0f, 5.9f, 6.0f}) {
        Module1.Zoom = from;
        for (int i = 0; i < 8; ++i) ZoomKeyIn();
        EXPECT_EQ(Module1.Zoom, kMostZoom) << from;
    }
}

TEST(ViewButtons, FillWindowAndActualSize) {
    RecordingSurface view;
    view.cw = 400;
    view.ch = 400;
    FreshEngine(200, 100, &view);
    FillWindow();
    EXPECT_EQ(Module1.Zoom, 4.0f);
    EXPECT_EQ(Module1.ScrollX, -200);
    EXPECT_EQ(Module1.ScrollY, 0);
    ActualSize();
    EXPECT_EQ(Module1.Zoom, 1.0f);
    EXPECT_EQ(Module1.ScrollX, 0);
    EXPECT_EQ(view.cw, 200);
    EXPECT_EQ(view.ch, 100);
    // A tiny image in a big window stops at 6.
    view.cw = view.ch = 1000;
    FreshEngine(10, 10, &view);
    FillWindow();
    EXPECT_EQ(Module1.Zoom, 6.0f);
    EXPECT_EQ(Module1.ScrollX, 470);
}

TEST(BlitDisplay, FullRedrawAtZoomOneCopiesEveryPixelExactly) {
    AtEveryCpuLevel([&] {
        RecordingSurface view;
        view.cw = 37;
        view.ch = 23;
        FreshEngine(37, 23, &view);
        displaybuffers();
        const Module1State& m = Module1;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
                const uint32_t px = Dibs.DisplayBits[y * Dibs.DisplayInfo.biWidth + x];
                ASSERT_EQ(px, ImagePixel(m, x, y)) << x << "," << y;
            }
        ASSERT_FALSE(view.blits.empty());
        const auto& b = view.blits.back();
        EXPECT_EQ(b.a, 0);
        EXPECT_EQ(b.c, 37);
        EXPECT_EQ(b.d, 23);
        EXPECT_EQ(view.fills.size(), 4u);
    });
}

TEST(BlitDisplay, ClipsToTheVisibleWindowAndTheImage) {
    RecordingSurface view;
    view.cw = 50;
    view.ch = 40;
    FreshEngine(200, 100, &view);
    Module1.ScrollX = -60;
    Module1.ScrollY = 10;
    BlitDisplay(Module1.RPlane, Module1.GPlane, Module1.BPlane, 0, 0, 199, 99);
    ASSERT_EQ(view.blits.size(), 1u);
    const auto& b = view.blits[0];
    // Columns round((-1 + 60) / 1) = 59 .. round(51 + 60) = 111 (exclusive); rows 0 .. 31.
    EXPECT_EQ(b.a, 59 - 60);
    EXPECT_EQ(b.b, 10);
    EXPECT_EQ(b.c, 111 - 59);
    EXPECT_EQ(b.d, 31);
    EXPECT_EQ(b.e, 59);
    view.blits.clear();
    BlitDisplay(Module1.RPlane, Module1.GPlane, Module1.BPlane, 150, 0, 160, 5);  // off-window
    EXPECT_TRUE(view.blits.empty());
    Module1.Zoom = 0;
    BlitDisplay(Module1.RPlane, Module1.GPlane, Module1.BPlane, 0, 0, 199, 99);
    EXPECT_TRUE(view.blits.empty());
}

// What the window shows equals, pixel for pixel, a render of the whole image at that zoom,
// at any zoom and scroll: after a zoom change, after a pan (the bitmap follows the window),
// after a partial update that comes first after a pan, and at the window's edges, where image
// pixels are only partly in view. At every CPU level, against the plain level's render.
TEST(BlitDisplay, WindowShowsTheWholeImageRenderingAtEveryZoomAndScroll) {
    const float zooms[] = {0.2f, 0.25f, 0.5f, 0.75f, 1, 1.25f, 2, 2.5f, 3, 4, 6, 8};
    struct Window {
        int cw, ch;
    };
    const Window windows[] = {{61, 33}, {98, 45}};
    AtEveryCpuLevel([&] {
        for (float zoom : zooms)
            for (const Window& win : windows) {
                FreshEngine(53, 37);
                Module1.Zoom = zoom;
                int row = 0;
                const std::vector<uint32_t> whole = [&] {
                    CpuLevelScope plain(CpuLevel::Plain);
                    return WholeImageRendering(&row);
                }();
                const int dw = Dibs.DisplayWidth, dh = Dibs.DisplayHeight;
                // Top left, inside, the right and bottom edges on the window's, partly off every
                // side, and all but a pixel off the top left.
                const int scrolls[][2] = {{0, 0},
                                          {-7, -5},
                                          {3, 2},
                                          {win.cw - dw, win.ch - dh},
                                          {win.cw - dw + 3, win.ch - dh - 2},
                                          {2 - dw, 1 - dh}};
                ScreenSurface view;
                view.cw = win.cw;
                view.ch = win.ch;
                DetachView detach;
                Dibs.View = &view;
                Module1.ScrollX = Module1.ScrollY = 0;
                CreateDisplayBitmap();
                for (const auto& sc : scrolls)
                    for (bool partial : {false, true}) {
                        SCOPED_TRACE(testing::Message()
                                     << "zoom " << zoom << " window " << win.cw << "x" << win.ch
                                     << " scroll " << sc[0] << "," << sc[1]
                                     << (partial ? " partial" : ""));
                        Module1.ScrollX = sc[0];
                        Module1.ScrollY = sc[1];
                        if (partial) {
                            // The window moved; the first update after it names one pixel only.
                            Module1.ScrollX += 1;
                            displaybuffers();
                            Module1.ScrollX -= 1;
                            view.Clear();
                            displaybuffers();
                            view.blits.clear();
                            Module1.ScrollX = sc[0] - 1;
                            BlitDisplay(Module1.RPlane, Module1.GPlane, Module1.BPlane, 5, 5, 5, 5);
                            Module1.ScrollX = sc[0];
                            displaybuffers();
                        } else {
                            view.Clear();
                            displaybuffers();
                        }
                        // Every pixel the window shows.
                        ASSERT_EQ(view.WrongPixels(whole, row), 0);
                        // The bitmap holds no more than the window's share.
                        EXPECT_LE(Dibs.Storage.size(), 2u * (win.cw + 3) * win.ch + (1u << 16));
                    }
            }
    });
}

// The full redraw repaints every visible pixel when the image's top and left are scrolled off:
// its size is floor(end x zoom) - floor(start x zoom), not floor((end - start) x zoom).
TEST(BlitDisplay, FullRedrawReachesTheLastVisibleRowAndColumn) {
    FreshEngine(180, 272);
    Module1.Zoom = 1.25f;
    int row = 0;
    const std::vector<uint32_t> whole = WholeImageRendering(&row);
    ScreenSurface view;
    view.cw = 80;
    view.ch = 221;
    DetachView detach;
    Dibs.View = &view;
    Module1.ScrollX = -95;
    Module1.ScrollY = -145;
    CreateDisplayBitmap();
    view.Clear();
    displaybuffers();
    for (int y = 0; y < view.ch; ++y)
        for (int x = 0; x < view.cw; ++x)
            ASSERT_EQ(view.screen[static_cast<size_t>(y) * view.cw + x],
                      ScreenSurface::Expected(whole, row, x, y))
                << x << "," << y;
}

TEST(SmoothBlit, WritesOnlyTheRectanglesPixelsAtEveryZoom) {
    const int w = 13, h = 9;
    Plane r(w, h), g(w, h), b(w, h);
    for (int i = 0; i < w * h; ++i) {
        r.bytes[i] = static_cast<uint8_t>(i * 7);
        g.bytes[i] = static_cast<uint8_t>(i * 11);
        b.bytes[i] = static_cast<uint8_t>(i * 13);
    }
    AtEveryCpuLevel([&] {
        for (float zoom : {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 3.0f, 4.0f}) {
            SCOPED_TRACE(zoom);
            const int dw = static_cast<int>(w * zoom), dh = static_cast<int>(h * zoom);
            const int row = (dw + 3) / 4 * 4 + 4;  // a wider row than needed: padding must stay
            std::vector<uint32_t> bits(static_cast<size_t>(row) * dh + 8, 0xDEADBEEF);
            p_smoothblit(r.bytes.data(), g.bytes.data(), b.bytes.data(), bits.data(), 3, 2, 9, 7,
                         w + 1, h + 1, dw, dh, row, zoom);
            for (int Y = 0; Y < dh; ++Y)
                for (int X = 0; X < row; ++X) {
                    const double ix = X / double(zoom), iy = Y / double(zoom);
                    const bool inside = X < dw && ix >= 3 && ix < 9 && iy >= 2 && iy < 7;
                    const uint32_t px = bits[static_cast<size_t>(Y) * row + X];
                    if (!inside) {
                        ASSERT_EQ(px, 0xDEADBEEFu) << X << "," << Y;
                    } else {
                        ASSERT_NE(px, 0xDEADBEEFu) << X << "," << Y;
                        ASSERT_EQ(px >> 24, 0u);
                    }
                }
            for (size_t i = static_cast<size_t>(row) * dh; i < bits.size(); ++i)
                ASSERT_EQ(bits[i], 0xDEADBEEFu);
        }
    });
}

TEST(SmoothBlit, UniformImageStaysUniformWhenScaled) {
    AtEveryCpuLevel([&] {
        const int w = 16, h = 16;
        Plane r(w, h, 200), g(w, h, 100), b(w, h, 50);
        for (float zoom : {0.25f, 0.4f, 2.0f, 3.7f}) {
            const int dw = static_cast<int>(w * zoom), dh = static_cast<int>(h * zoom);
            std::vector<uint32_t> bits(static_cast<size_t>(dw) * dh, 0);
            p_smoothblit(r.bytes.data(), g.bytes.data(), b.bytes.data(), bits.data(), 0, 0, w, h,
                         w + 1, h + 1, dw, dh, dw, zoom);
            for (uint32_t px : bits) ASSERT_EQ(px, 0xC86432u) << zoom;
        }
        // One display pixel for a whole 4200 x 4200 image: its sums pass 32 bits.
        const int n = 4200;
        Plane wr(n, n, 255), wg(n, n, 254), wb(n, n, 1);
        uint32_t px = 0;
        p_smoothblit(wr.bytes.data(), wg.bytes.data(), wb.bytes.data(), &px, 0, 0, n, n, n + 1,
                     n + 1, 1, 1, 1, 1.0f / n);
        EXPECT_EQ(px, 0xFFFE01u);
    });
}

TEST(Undo, StrokeAtTheRightAndBottomEdgesRoundTrips) {
    FreshEngine(30, 20);
    const Plane r0 = Module1.RPlane, g0 = Module1.GPlane, b0 = Module1.BPlane;
    PushUndo(25.3f, 15.2f, 29.9f, 19.9f);
    ASSERT_EQ(Module1.UndoList.size(), 5u);
    const Plane& red = std::get<Plane>(Module1.UndoList[2]);
    EXPECT_EQ(red.width, 5);  // columns 25..29
    EXPECT_EQ(red.height, 5);
    EXPECT_EQ(std::get<int32_t>(Module1.UndoList[3]), 15);
    EXPECT_EQ(std::get<int32_t>(Module1.UndoList[4]), 25);
    for (int y = 10; y < 20; ++y)
        for (int x = 20; x < 30; ++x) {
            Module1.RPlane.at(x, y) = 1;
            Module1.GPlane.at(x, y) = 2;
            Module1.BPlane.at(x, y) = 3;
        }
    // Only the saved rectangle comes back.
    PopUndo();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool saved = x >= 25 && y >= 15;
            const bool painted = x >= 20 && y >= 10;
            ASSERT_EQ(Module1.RPlane.at(x, y), saved || !painted ? r0.at(x, y) : 1);
            ASSERT_EQ(Module1.BPlane.at(x, y), saved || !painted ? b0.at(x, y) : 3);
        }
    EXPECT_EQ(Module1.RBase.bytes, Module1.RPlane.bytes);
    EXPECT_TRUE(Module1.UndoList.empty());
    PopUndo();  // nothing saved: nothing happens
}

TEST(Undo, ClearThenUndoRestoresTheWholeImage) {
    RecordingSurface view;
    FreshEngine(17, 11, &view);
    const Plane r0 = Module1.RPlane, g0 = Module1.GPlane, b0 = Module1.BPlane;
    ClearImage();
    for (uint8_t v : Module1.GPlane.bytes) ASSERT_EQ(v, 255);
    PopUndo();
    EXPECT_EQ(Module1.RPlane.bytes, r0.bytes);
    EXPECT_EQ(Module1.GPlane.bytes, g0.bytes);
    EXPECT_EQ(Module1.BPlane.bytes, b0.bytes);
}

TEST(Undo, RectanglesOutsideTheImage) {
    struct Case {
        const char* name;
        float x1, y1, x2, y2;
        int w, h;
    };
    const Case cases[] = {
        {"wholly left", -30, 0, -10, 5, 0, 0},
        {"wholly above", 0, -30, 5, -10, 0, 0},
        {"wholly right: the last column", 40, 2, 50, 4, 1, 3},
        {"wholly below: the last row", 2, 40, 4, 50, 3, 1},
        // The far corner is made exclusive before the corners are ordered.
        {"reversed corners", 6.5f, 4.5f, 2.5f, 1.5f, 3, 2},
        {"non-finite corner counts as the edge", NAN, 0, 5, 5, 6, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshEngine(30, 20);
        PushUndo(c.x1, c.y1, c.x2, c.y2);
        if (c.w == 0) {
            EXPECT_TRUE(Module1.UndoList.empty());
        } else {
            ASSERT_EQ(Module1.UndoList.size(), 5u);
            EXPECT_EQ(std::get<Plane>(Module1.UndoList[0]).width, c.w);
            EXPECT_EQ(std::get<Plane>(Module1.UndoList[0]).height, c.h);
        }
    }
}

TEST(Undo, TheThirtyFourthSaveDropsTheOldest) {
    FreshEngine(10, 10);
    for (int i = 0; i < 34; ++i) {
        Module1.RPlane.at(0, 0) = static_cast<uint8_t>(i);
        PushUndo(0, 0, 0, 0);
    }
    ASSERT_EQ(Module1.UndoList.size(), 33u * 5);
    // The newest saved 33; the oldest still kept saved 1 (0 was dropped).
    EXPECT_EQ(std::get<Plane>(Module1.UndoList[2]).at(0, 0), 1);
    for (int i = 0; i < 40; ++i) PopUndo();
    EXPECT_EQ(Module1.RPlane.at(0, 0), 1);
}

namespace {

// The image planes, for comparing the image before a step with the image after its undo.
std::array<Plane, 3> Image() { return {Module1.RPlane, Module1.GPlane, Module1.BPlane}; }

void ExpectImage(const std::array<Plane, 3>& want) {
    const Module1State& m = Module1;
    ASSERT_TRUE(m.RPlane.bytes == want[0].bytes);
    ASSERT_TRUE(m.GPlane.bytes == want[1].bytes);
    ASSERT_TRUE(m.BPlane.bytes == want[2].bytes);
    ASSERT_TRUE(m.RBase.bytes == m.RPlane.bytes);
    ASSERT_TRUE(m.BBase.bytes == m.BPlane.bytes);
}

}  // namespace

// 520 x 520 planes are two blocks of compression: the first is noise (stored as it is), the
// second smooth shades (compressed). Whole-image steps alternate with stroke-sized ones; after
// each step the image changes where the step saved it, so each undo must give back exactly the
// image before its step.
TEST(Undo, CompressedStepsStayExactAndWithinTheBudget) {
    struct Case {
        const char* name;
        int64_t budget;
        bool drops;
    };
    const Case cases[] = {{"roomy: all 33 kept", int64_t{1} << 30, false},
                          {"tight: the oldest dropped", int64_t{3} << 20, true}};
    const int n = 520;
    const AtScopeEnd measureAgain([] { SetUndoBudget(0); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshEngine(n, n);
        SetUndoBudget(c.budget);
        Module1State& m = Module1;
        std::mt19937 rng(12);
        std::vector<std::array<Plane, 3>> before;
        // Told once, with the steps kept then; later drops say nothing.
        std::vector<std::string> told;
        auto listen = [&] {
            const std::string said = TakeUndoNotice();
            if (said.empty()) return;
            told.push_back(said);
            EXPECT_EQ(said, "Undo keeps the last " + std::to_string(m.UndoList.size() / 5) +
                                " steps: the image is too large for 33");
        };
        for (int i = 0; i < 36; ++i) {
            const bool whole = i % 3 != 1;
            const int x0 = whole ? 0 : 7 * i, y0 = whole ? 0 : 5 * i, w = whole ? n : 60,
                      h = whole ? n : 40;
            before.push_back(Image());
            PushUndo(x0, y0, x0 + w - 1, y0 + h - 1);
            if (i % 5 == 0) PackUndo(300000);  // some steps part packed when the next comes
            listen();
            for (Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane})
                for (int y = y0; y < y0 + h; ++y)
                    for (int x = x0; x < x0 + w; ++x)
                        p->at(x, y) =
                            y < 510 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(x / 3 + i);
        }
        const std::array<Plane, 3> last = Image();
        FinishUndoPacking();
        listen();
        for (const UndoItem& item : m.UndoList) {
            const PackedPlane* p = std::get_if<PackedPlane>(&item);
            ASSERT_TRUE(p ? !p->packing()
                          : std::holds_alternative<int32_t>(item));  // all compressed
        }
        // The newest step is whole: its noise block stored as it is, its shades compressed.
        const std::vector<uint32_t>& ends =
            std::get<PackedPlane>(m.UndoList[m.UndoList.size() - 5]).ends;
        ASSERT_EQ(ends.size(), 2u);
        EXPECT_EQ(ends[0], kPackBlock);
        EXPECT_LT(ends[1] - ends[0], n * n - kPackBlock);
        EXPECT_LE(UndoHistoryBytes(), c.budget);
        const size_t kept = m.UndoList.size() / 5;
        EXPECT_TRUE(c.drops ? kept < 20 : kept == 33) << kept;
        EXPECT_EQ(told.size(), c.drops ? 1u : 0u);
        // Undo walks back through the newest steps exactly, and no further.
        for (size_t k = 0; k < kept; ++k) {
            PopUndo();
            ExpectImage(before[before.size() - 1 - k]);
        }
        PopUndo();
        ExpectImage(before[before.size() - kept]);
        // Redo walks forward again exactly, from compressed steps too while they fit.
        if (!c.drops) FinishUndoPacking();
        for (size_t k = 1; k <= kept; ++k) {
            PopRedo();
            ExpectImage(k < kept ? before[before.size() - kept + k] : last);
        }
        PopRedo();
        ExpectImage(last);
        // A new step forgets what is left to redo.
        PopUndo();
        PushUndo(0, 0, 3, 3);
        EXPECT_TRUE(m.RedoList.empty());
        PopRedo();
        ExpectImage(before[before.size() - 1]);
    }
    // A step undone while it is being packed.
    FreshEngine(n, n);
    const std::array<Plane, 3> image = Image();
    PushUndo(0, 0, n - 1, n - 1);
    EXPECT_TRUE(PackUndo(1));
    ASSERT_TRUE(std::get<PackedPlane>(Module1.UndoList[0]).packing());
    clearbuffer();
    PopUndo();
    ExpectImage(image);
    EXPECT_TRUE(Module1.UndoList.empty());
}

// One test's budget, its notice of dropped steps and a window's packing hook do not reach the
// next test: ResetEngine forgets them.
TEST(Undo, ResetEngineForgetsTheBudgetTheNoticeAndThePackingHook) {
    const KeepEnv undoMb("MARLO_UNDO_MB");
    setenv("MARLO_UNDO_MB", "3", 1);
    FreshEngine(100, 100);
    SetUndoBudget(1);  // only the newest step is kept
    int wanted = 0;
    Wiring.UndoPackingWanted = [&wanted] { ++wanted; };
    for (int i = 0; i < 3; ++i) PushUndo(0, 0, 99, 99);
    FinishUndoPacking();
    ASSERT_EQ(Module1.UndoList.size(), 5u);
    ASSERT_EQ(wanted, 3);
    ResetEngine();
    EXPECT_EQ(TakeUndoNotice(), "");
    EXPECT_EQ(UndoBudgetBytes(), int64_t{3} << 20);
    FreshEngine(100, 100);
    PushUndo(0, 0, 99, 99);
    EXPECT_EQ(wanted, 3);
}

TEST(Undo, BudgetIsAQuarterOfTheMemoryOrMarloUndoMb) {
    struct Case {
        const char* undoMb;
        int64_t bytes;
        const char* told;  // why the setting is ignored, said once on stderr; null: nothing said
    };
    constexpr int64_t kQuarter = int64_t{100} << 20;
    const char* const notANumber = "is not a number of megabytes";
    const Case cases[] = {{"3", int64_t{3} << 20, nullptr},
                          {nullptr, kQuarter, nullptr},
                          {"", kQuarter, nullptr},
                          {"0", kQuarter, "is less than one megabyte"},
                          {"-5", kQuarter, "is less than one megabyte"},
                          {"many", kQuarter, notANumber},
                          {"1e1", int64_t{10} << 20, nullptr},
                          {" 2.5 ", int64_t{5} << 19, nullptr},
                          {"3 MB", kQuarter, notANumber},
                          {"12abc", kQuarter, notANumber},
                          {"0x10", kQuarter, notANumber},
                          {"inf", kQuarter, notANumber},
                          {"1e30", kQuarter, "is more megabytes than any computer holds"}};
    const KeepEnv undoMb("MARLO_UNDO_MB"), memoryMb("MARLO_MEMORY_MB");
    const AtScopeEnd measureAgain([] { SetUndoBudget(0); });
    setenv("MARLO_MEMORY_MB", "400", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.undoMb ? c.undoMb : "unset");
        if (c.undoMb)
            setenv("MARLO_UNDO_MB", c.undoMb, 1);
        else
            unsetenv("MARLO_UNDO_MB");
        testing::internal::CaptureStderr();
        for (int twice = 0; twice < 2; ++twice) {
            SetUndoBudget(0);
            EXPECT_EQ(UndoBudgetBytes(), c.bytes);
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, c.told ? "marlo: MARLO_UNDO_MB=\"" + std::string(c.undoMb) + "\" " +
                                     c.told + "; it is ignored\n"
                               : std::string());
    }
}
