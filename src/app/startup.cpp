#include "app/startup.h"

#include <new>
#include <string>

#include "brush/tables.h"
#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "canvas/host_image.h"
#include "canvas/undo.h"
#include "core/errors.h"
#include "core/memory_budget.h"
#include "core/module1.h"
#include "host/host.h"

namespace {

// A plane from the host must have exactly the size the host announced.
Plane Checked(Plane p, int32_t w, int32_t h, const char* what) {
    if (!p.sizeIs(w, h))
        throw HostError(std::string("Tarnwick sent a ") + what + " of " +
                        SizeText(p.width, p.height) + " pixels (" + std::to_string(p.bytes.size()) +
                        " bytes) where it announced " + SizeText(w, h) + ".");
    return p;
}

// Bytes the canvas commits for a w x h image at start: the seven planes AllocateBuffers makes,
// the display bitmap at zoom 1 (4 bytes a pixel, rows padded to 4 pixels), and up to three
// planes in transit while one arrives from the host (the bus's copy, its conversion, and the
// allocated plane it replaces).
// Products and sums that do not fit count as more than any memory (INT64_MAX), so that the
// check refuses them rather than wrapping round to a size that passes.
int64_t Times(int64_t a, int64_t b) {
    int64_t product = 0;
    return a < 0 || b < 0 || __builtin_mul_overflow(a, b, &product) ? INT64_MAX : product;
}
int64_t Plus(int64_t a, int64_t b) {
    int64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? INT64_MAX : sum;
}

int64_t CanvasBytes(int32_t w, int32_t h) {
    const int64_t plane = Times(w, h);
    const int64_t bitmap = Times(Times((int64_t(w) + 3) / 4 * 4, h), 4);
    return Plus(Times(10, plane), bitmap);
}

// The paper and up to three copies of it in transit.
int64_t PaperBytes(int32_t w, int32_t h) { return Times(4, Times(w, h)); }

// Refuses, before anything of that size is allocated, what the memory left cannot hold.
void CheckRoom(const std::string& what, int32_t w, int32_t h, int64_t needed,
               const AvailableMemory& available) {
    if (needed <= available.bytes) return;
    throw MarloError(kErrImageTooLarge, what + " of " + SizeText(w, h) +
                                            " pixels is too large: it needs about " +
                                            MemoryText(needed) + " of memory and " +
                                            AvailableMemoryText(available) + ".");
}

}  // namespace

void CheckNewCanvasRoom(int32_t w, int32_t h) {
    CheckRoom("A new canvas", w, h, CanvasBytes(w, h), MeasureAvailableMemory());
}

void Main(std::shared_ptr<Host> host,
          const std::function<HostCallbackTarget*()>& createCanvasWindow) {
    Module1State& m = Module1;
    m.Zoom = 1.0f;
    m.ScrollX = 0;
    m.ScrollY = 0;
    m.UndoList.clear();
    m.UndoLimit = kUndoLimit;
    if (!host) throw HostError("Tarnwick could not be reached.");
    m.Host = std::move(host);
    BuildCoverageCurves();
    BuildBlendTable();

    // Measured once: the paper's share is taken out before the image is judged.
    AvailableMemory available = MeasureAvailableMemory();
    m.PaperWidth = m.Host->Tarn_GetPaperWidth();
    m.PaperHeight = m.Host->tarn_GetPaperHeight();
    if (m.PaperWidth < 0 || m.PaperHeight < 0)
        throw HostError("Tarnwick announced a paper of " + SizeText(m.PaperWidth, m.PaperHeight) +
                        " pixels.");
    CheckRoom("Tarnwick's paper", m.PaperWidth, m.PaperHeight,
              PaperBytes(m.PaperWidth, m.PaperHeight), available);
    available.bytes -= int64_t(m.PaperWidth) * m.PaperHeight;
    m.Paper = Checked(m.Host->Tarn_GetPaper(), m.PaperWidth, m.PaperHeight, "paper");

    m.BufferWidth = m.Host->Tarn_BufferWidth();
    m.BufferHeight = m.Host->Tarn_BufferHeight();
    if (m.BufferWidth <= 0 || m.BufferHeight <= 0)
        throw HostError("Tarnwick announced an image of " +
                        SizeText(m.BufferWidth, m.BufferHeight) +
                        " pixels; there is nothing to paint on.");
    CheckRoom("Tarnwick's image", m.BufferWidth, m.BufferHeight,
              CanvasBytes(m.BufferWidth, m.BufferHeight), available);
    try {
        AllocateBuffers();
        m.RPlane = Checked(m.Host->Tarn_GetRBuffer(), m.BufferWidth, m.BufferHeight, "red plane");
        m.GPlane = Checked(m.Host->Tarn_GetGBuffer(), m.BufferWidth, m.BufferHeight, "green plane");
        m.BPlane = Checked(m.Host->Tarn_GetBBuffer(), m.BufferWidth, m.BufferHeight, "blue plane");
        DisplayCopyFollowsImage();
    } catch (const std::bad_alloc&) {
        throw MarloError(kErrImageTooLarge, "The image of " +
                                                SizeText(m.BufferWidth, m.BufferHeight) +
                                                " pixels is too large for this computer's memory.");
    }
    CreateDisplayBitmap();
    m.CaptionText = kCaptionText;
    HostCallbackTarget* window = createCanvasWindow ? createCanvasWindow() : nullptr;
    RememberHostImage();  // with the window there to compress it in idle turns
    int16_t zero = 0;
    m.Host->Tarn_SendFormObject(window, zero);
}
