#include "canvas/undo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <variant>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "canvas/host_image.h"
#include "canvas/undo_pack.h"
#include "core/large_pages.h"
#include "core/memory_budget.h"
#include "core/module1.h"
#include "core/rounding.h"
#include "core/scratch.h"
#include "core/wiring.h"

namespace {

// The byte arrays of the last steps undone or dropped, kept for the next saves. Memory the
// process already uses costs nothing to write into, while new pages cost the operating system's
// first touch, which on a virtual machine takes longer than the copy itself. Three arrays, one
// step's worth, are kept at most.
constexpr size_t kSpareArrays = 3;

void Keep(std::vector<uint8_t>&& bytes) {
    std::vector<std::vector<uint8_t>>& spares = Scratch.undoSpares;
    if (bytes.capacity() == 0) return;
    if (spares.size() < kSpareArrays) {
        spares.push_back(std::move(bytes));
        return;
    }
    // Full: the new array replaces the smallest one kept, if it is larger.
    auto smallest =
        std::min_element(spares.begin(), spares.end(),
                         [](const auto& a, const auto& b) { return a.capacity() < b.capacity(); });
    if (smallest->capacity() < bytes.capacity()) *smallest = std::move(bytes);
}

// An array with room for n bytes: the smallest kept one that is large enough (with the bytes it
// held), or a new empty one.
std::vector<uint8_t> Room(size_t n) {
    std::vector<std::vector<uint8_t>>& spares = Scratch.undoSpares;
    auto best = spares.end();
    for (auto it = spares.begin(); it != spares.end(); ++it)
        if (it->capacity() >= n && (best == spares.end() || it->capacity() < best->capacity()))
            best = it;
    std::vector<uint8_t> bytes;
    if (best != spares.end()) {
        bytes = std::move(*best);
        spares.erase(best);
    } else {
        bytes.reserve(n);
        AdviseLargePages(bytes.data(), n);
    }
    return bytes;
}

// Compressed blocks of a few MiB up to some tens come from the C library's heap, where the
// memory freed under a block still in use stays with the process: it is given back to the system
// once compressed steps have left the history.
void GiveBackFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// The arrays of a step's item that leaves the history, kept for the next saves. Compressed
// blocks are not worth keeping: only whole plain copies are reused.
void Keep(UndoItem&& item) {
    if (Plane* plane = std::get_if<Plane>(&item)) Keep(std::move(plane->bytes));
    if (PackedPlane* packed = std::get_if<PackedPlane>(&item)) Keep(std::move(packed->raw));
}

int64_t HeldBytes(const UndoItem& item) {
    if (const Plane* plane = std::get_if<Plane>(&item))
        return static_cast<int64_t>(plane->bytes.capacity());
    if (const PackedPlane* packed = std::get_if<PackedPlane>(&item)) return packed->heldBytes();
    return 0;
}

void DropOldest(std::deque<UndoItem>& list) {
    for (int i = 0; i < kUndoStepItems && !list.empty(); ++i) {
        Keep(std::move(list.front()));
        list.pop_front();
    }
}
void DropOldest(Module1State& m) { DropOldest(m.UndoList); }

void DropNewest(std::deque<UndoItem>& list) {
    for (int i = 0; i < kUndoStepItems && !list.empty(); ++i) {
        Keep(std::move(list.back()));
        list.pop_back();
    }
}

// A new change makes the steps undone unreachable.
void ForgetRedo(Module1State& m) {
    if (m.RedoList.empty()) return;
    while (!m.RedoList.empty()) DropOldest(m.RedoList);
    GiveBackFreedMemory();
}

// The steps over the budget, oldest first; the newest step is always kept.
void DropOverBudget() {
    Module1State& m = Module1;
    const int64_t limit = UndoBudgetBytes();
    int64_t held = UndoHistoryBytes();
    bool dropped = false;
    // The steps undone go first, the farthest from now first; then the oldest steps.
    while (held > limit && !m.RedoList.empty()) {
        for (size_t i = 0; i < kUndoStepItems && i < m.RedoList.size(); ++i)
            held -= HeldBytes(m.RedoList[i]);
        DropOldest(m.RedoList);
        dropped = true;
    }
    while (held > limit && m.UndoList.size() > kUndoStepItems) {
        for (size_t i = 0; i < kUndoStepItems; ++i) held -= HeldBytes(m.UndoList[i]);
        DropOldest(m);
        dropped = true;
    }
    if (!dropped) return;
    GiveBackFreedMemory();
    if (!m.UndoDropped) m.UndoDropped = m.UndoNoticeDue = true;
}

// A saved plane not yet wholly compressed.
bool Unpacked(const UndoItem& item) {
    if (const PackedPlane* packed = std::get_if<PackedPlane>(&item)) return packed->packing();
    return std::holds_alternative<Plane>(item);
}

// The oldest plane that is not yet wholly compressed, made ready for compressing, the history's
// first; null when there is none. A plain copy still being filled (within the release) is passed
// over.
PackedPlane* NextToPack(Module1State& m) {
    for (std::deque<UndoItem>* list : {&m.UndoList, &m.RedoList})
        for (UndoItem& item : *list) {
            if (PackedPlane* packed = std::get_if<PackedPlane>(&item)) {
                if (packed->packing()) return packed;
            } else if (Plane* plane = std::get_if<Plane>(&item)) {
                if (plane->empty() || !plane->sizeIs(plane->width, plane->height)) continue;
                item = StartPacking(plane->width, plane->height, std::move(plane->bytes));
                return &std::get<PackedPlane>(item);
            }
        }
    return HostImageToPack();  // then the host's image as last fetched or written
}

// Puts the saved rectangle back into the image plane and makes the display copy equal to the
// image, row by row, so that each pasted row is copied on while it is still in the cache.
void Restore(Plane& image, Plane& display, const Plane& saved, int32_t x0, int32_t y0) {
    // A saved rectangle keeps its position; clip it in case it no longer fits.
    const int32_t w = std::min(saved.width, image.width - x0);
    const int32_t h = std::min(saved.height, image.height - y0);
    const bool paste = x0 >= 0 && y0 >= 0 && w > 0 && h > 0;
    if (!display.sizeIs(image.width, image.height) || !image.sizeIs(image.width, image.height)) {
        if (paste)
            for (int32_t j = 0; j < h; ++j) std::memcpy(image.row(y0 + j) + x0, saved.row(j), w);
        display = image;
        return;
    }
    for (int32_t y = 0; y < image.height; ++y) {
        if (paste && y >= y0 && y < y0 + h) std::memcpy(image.row(y) + x0, saved.row(y - y0), w);
        std::memcpy(display.row(y), image.row(y), static_cast<size_t>(image.width));
    }
}

// The newest step of `list` (at least one step long): its copies as plain planes (red, green,
// blue), compressed ones unpacked into `unpacked`, and its corner. Nothing changes, so running
// out of memory here leaves the image and the history as they were.
struct StepCopies {
    Plane unpacked[3];
    const Plane* copies[3] = {};  // red, green, blue
    int32_t x0 = 0, y0 = 0;
};
void ReadNewestStep(const std::deque<UndoItem>& list, StepCopies& s) {
    const size_t n = list.size();
    s.x0 = std::get<int32_t>(list[n - 1]);
    s.y0 = std::get<int32_t>(list[n - 2]);
    for (int i = 0; i < 3; ++i) {
        const UndoItem& item = list[n - 3 - static_cast<size_t>(i)];
        if (const Plane* plane = std::get_if<Plane>(&item)) {
            s.copies[i] = plane;
            continue;
        }
        const PackedPlane& packed = std::get<PackedPlane>(item);
        Plane& p = s.unpacked[i];
        p.bytes = Room(packed.size());
        p.bytes.resize(packed.size());
        Unpack(packed, p.bytes.data());
        p.width = packed.width;
        p.height = packed.height;
        s.copies[i] = &p;
    }
}

// The image's pixels under a step's copies (clipped to the image, as Restore pastes them) as a
// step of the same shape: blue, green, red, top, left.
std::vector<UndoItem> StepOfImageUnder(const StepCopies& s) {
    const Module1State& m = Module1;
    const Plane* planes[3] = {&m.BPlane, &m.GPlane, &m.RPlane};
    const int32_t w = std::max(0, std::min(s.copies[0]->width, m.BufferWidth - s.x0));
    const int32_t h = std::max(0, std::min(s.copies[0]->height, m.BufferHeight - s.y0));
    std::vector<UndoItem> step;
    for (const Plane* source : planes) {
        Plane p;
        p.width = w;
        p.height = h;
        p.bytes = Room(static_cast<size_t>(w) * static_cast<size_t>(h));
        p.bytes.clear();
        if (s.x0 >= 0 && s.y0 >= 0)
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* row = source->row(s.y0 + y) + s.x0;
                p.bytes.insert(p.bytes.end(), row, row + w);
            }
        step.emplace_back(std::move(p));
    }
    step.emplace_back(s.y0);
    step.emplace_back(s.x0);
    return step;
}

// Puts the newest step of `from` back into the image, moving the pixels it covers to `to` as a
// step of their own; the display copy follows.
void SwapNewestStep(std::deque<UndoItem>& from, std::deque<UndoItem>& to) {
    Module1State& m = Module1;
    if (from.size() < kUndoStepItems) return;
    StepCopies s;
    ReadNewestStep(from, s);
    std::vector<UndoItem> under = StepOfImageUnder(s);
    Restore(m.RPlane, m.RBase, *s.copies[0], s.x0, s.y0);
    Restore(m.GPlane, m.GBase, *s.copies[1], s.x0, s.y0);
    Restore(m.BPlane, m.BBase, *s.copies[2], s.x0, s.y0);
    DropNewest(from);
    for (UndoItem& item : under) to.push_back(std::move(item));
    const bool packed = !s.unpacked[0].empty() || !s.unpacked[1].empty() || !s.unpacked[2].empty();
    for (Plane& p : s.unpacked) Keep(std::move(p.bytes));
    if (packed) GiveBackFreedMemory();
    if (Wiring.UndoPackingWanted) Wiring.UndoPackingWanted();
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}

}  // namespace

UndoSave BeginUndo(float x1f, float y1f, float x2f, float y2f) {
    Module1State& m = Module1;
    UndoSave save;
    // Far corner exclusive, corners ordered, then clamped. Doubles hold any float exactly.
    double x1 = std::floor(x1f), y1 = std::floor(y1f);
    double x2 = std::floor(static_cast<double>(x2f) + 1),
           y2 = std::floor(static_cast<double>(y2f) + 1);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const int32_t l = FloorClamp(x1, 0, m.BufferWidth - 1),
                  t = FloorClamp(y1, 0, m.BufferHeight - 1);
    const int32_t r = FloorClamp(x2, 0, m.BufferWidth), b = FloorClamp(y2, 0, m.BufferHeight);
    if (l >= r || t >= b) return save;
    for (const Plane* p : {&m.RPlane, &m.GPlane, &m.BPlane})
        if (!p->sizeIs(m.BufferWidth, m.BufferHeight)) return save;
    ForgetRedo(m);
    if (static_cast<int32_t>(m.UndoList.size() / kUndoStepItems) > m.UndoLimit) DropOldest(m);
    // The step is filed now, its arrays empty with room reserved, so that running out of memory
    // changes nothing else; the rows are appended as they are saved.
    const size_t n = static_cast<size_t>(r - l) * static_cast<size_t>(b - t);
    Plane planes[3];
    for (Plane& p : planes) {
        p.width = r - l;
        p.height = b - t;
        p.bytes = Room(n);
        p.bytes.clear();
    }
    const size_t filed = m.UndoList.size();
    try {
        for (Plane& p : planes) m.UndoList.emplace_back(std::move(p));  // blue, green, red
        m.UndoList.emplace_back(t);
        m.UndoList.emplace_back(l);
    } catch (...) {
        m.UndoList.resize(filed);
        throw;
    }
    save.blue = &std::get<Plane>(m.UndoList[filed]);
    save.green = &std::get<Plane>(m.UndoList[filed + 1]);
    save.red = &std::get<Plane>(m.UndoList[filed + 2]);
    save.left = l;
    save.top = t;
    save.right = r;
    save.bottom = b;
    save.next = t;
    if (Wiring.UndoPackingWanted) Wiring.UndoPackingWanted();
    return save;
}

void SaveUndoRows(UndoSave& save, int32_t y0, int32_t y1) {
    y0 = std::max(y0, save.next);
    y1 = std::min(y1, save.bottom);
    if (save.empty() || y0 >= y1) return;
    const Module1State& m = Module1;
    const Plane* sources[3] = {&m.RPlane, &m.GPlane, &m.BPlane};
    Plane* copies[3] = {save.red, save.green, save.blue};
    const size_t w = static_cast<size_t>(save.right - save.left);
    // A plane at a time: two streams of memory, which the processor fetches ahead best.
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t>& bytes = copies[i]->bytes;
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* row = sources[i]->row(y) + save.left;
            bytes.insert(bytes.end(), row, row + w);  // within the reserved room: no reallocation
        }
    }
    save.next = y1;
}

void PushUndo(float x1, float y1, float x2, float y2) {
    // Saves in a row outside the release (Clear, Get image) can come faster than the idle
    // compression: a history already over its budget is compressed (and cut) first, so that
    // it holds at most the budget and one plain step.
    if (UndoHistoryBytes() > UndoBudgetBytes()) FinishUndoPacking();
    UndoSave save = BeginUndo(x1, y1, x2, y2);
    SaveUndoRows(save, save.top, save.bottom);
}

void PopUndo() {
    if (Wiring.Journal) Wiring.Journal->Undoing();
    Module1State& m = Module1;
    SwapNewestStep(m.UndoList, m.RedoList);
}

void PopRedo() {
    Module1State& m = Module1;
    if (m.RedoList.size() < kUndoStepItems) return;
    if (Wiring.Journal) Wiring.Journal->Redoing();
    SwapNewestStep(m.RedoList, m.UndoList);
}

int64_t UndoBudgetBytes() {
    Module1State& m = Module1;
    if (m.UndoBudget > 0) return m.UndoBudget;
    const int64_t set = EnvMegabytes("MARLO_UNDO_MB");
    m.UndoBudget = set > 0 ? set : AvailableMemoryBytes() / 4;
    return m.UndoBudget;
}

void TrimUndoTo(size_t items) {
    Module1State& m = Module1;
    if (m.UndoList.size() <= items) return;
    while (m.UndoList.size() > items) DropOldest(m);
    GiveBackFreedMemory();
}

void TrimRedoTo(size_t items) {
    Module1State& m = Module1;
    if (m.RedoList.size() <= items) return;
    while (m.RedoList.size() > items) DropOldest(m.RedoList);
    GiveBackFreedMemory();
}

void SetUndoBudget(int64_t bytes) {
    Module1State& m = Module1;
    m.UndoBudget = std::max<int64_t>(bytes, 0);
    m.UndoDropped = m.UndoNoticeDue = false;
}

int64_t UndoHistoryBytes() {
    int64_t held = 0;
    for (const UndoItem& item : Module1.UndoList) held += HeldBytes(item);
    for (const UndoItem& item : Module1.RedoList) held += HeldBytes(item);
    return held;
}

bool PackUndo(int64_t maxBytes) {
    Module1State& m = Module1;
    int64_t done = 0;
    while (PackedPlane* plane = NextToPack(m)) {
        if (done >= maxBytes) return true;
        std::vector<uint8_t> freed;
        done += static_cast<int64_t>(PackNextBlock(*plane, freed));
        Keep(std::move(freed));
    }
    DropOverBudget();
    return false;
}

void FinishUndoPacking() { PackUndo(INT64_MAX); }

std::string TakeUndoNotice() {
    Module1State& m = Module1;
    // Said once the history has settled, with the number of steps it then keeps.
    if (!m.UndoNoticeDue || std::any_of(m.UndoList.begin(), m.UndoList.end(), Unpacked)) return {};
    m.UndoNoticeDue = false;
    const size_t kept = m.UndoList.size() / kUndoStepItems;
    return (kept == 1 ? std::string("Undo keeps the last step")
                      : "Undo keeps the last " + std::to_string(kept) + " steps") +
           ": the image is too large for " + std::to_string(m.UndoLimit + 1);
}

void ClearImage() {
    Module1State& m = Module1;
    PushUndo(0, 0, static_cast<float>(m.BufferWidth - 1), static_cast<float>(m.BufferHeight - 1));
    if (Wiring.Journal) Wiring.Journal->PlanesChanging();
    clearbuffer();
    if (Wiring.Journal) Wiring.Journal->Cleared();
    BlitDisplay(m.RPlane, m.GPlane, m.BPlane, 0, 0, m.BufferWidth - 1, m.BufferHeight - 1);
}
