#include "canvas/image_exchange.h"

#include <string>

#include "canvas/buffers.h"
#include "canvas/dibs.h"
#include "canvas/host_image.h"
#include "canvas/undo.h"
#include "core/errors.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "host/host.h"

namespace {

Host& TheHost() {
    if (!Module1.Host) throw HostError("Marlo is not attached to Tarnwick.");
    return *Module1.Host;
}

}  // namespace

void GetImage() {
    Module1State& m = Module1;
    Host& host = TheHost();
    // The planes are fetched and checked before the undo step is saved, so that a refused or
    // failed fetch changes nothing, not even the oldest step of the history.
    Plane r = host.Tarn_GetRBuffer();
    Plane g = host.Tarn_GetGBuffer();
    Plane b = host.Tarn_GetBBuffer();
    for (const Plane* p : {&r, &g, &b}) {
        if (!p->sizeIs(m.BufferWidth, m.BufferHeight))
            throw HostError("The image in Tarnwick is now " + SizeText(p->width, p->height) +
                            " pixels, but this canvas is " +
                            SizeText(m.BufferWidth, m.BufferHeight) +
                            ". The image was not taken; the canvas is unchanged.");
    }
    TakeImage(std::move(r), std::move(g), std::move(b));
    RememberHostImage();
}

void TakeImage(Plane r, Plane g, Plane b) {
    Module1State& m = Module1;
    PushUndo(0, 0, static_cast<float>(m.BufferWidth - 1), static_cast<float>(m.BufferHeight - 1));
    if (Wiring.Journal) Wiring.Journal->PlanesChanging();
    m.RPlane = std::move(r);
    m.GPlane = std::move(g);
    m.BPlane = std::move(b);
    DisplayCopyFollowsImage();
    if (Wiring.Journal) Wiring.Journal->ImageTaken();
    displaybuffers();
}

WriteBack WriteImageBack(const std::function<bool(const std::string& question)>& confirm) {
    Module1State& m = Module1;
    Host& host = TheHost();
    if (!PaintedSinceHostImage()) {
        if (Wiring.Journal) Wiring.Journal->ChangesDropped();  // nothing differs from the host
        return WriteBack::kNothingPainted;
    }
    // The same calls as Get image: a host that cannot give its image now fails the write-back.
    Plane r = host.Tarn_GetRBuffer();
    Plane g = host.Tarn_GetGBuffer();
    Plane b = host.Tarn_GetBBuffer();
    const bool fits = r.sizeIs(m.BufferWidth, m.BufferHeight) &&
                      g.sizeIs(m.BufferWidth, m.BufferHeight) &&
                      b.sizeIs(m.BufferWidth, m.BufferHeight);
    PaintingMerge merge;
    if (fits) merge = MergePainting(r, g, b);
    if (merge.overlap && confirm) {
        std::string name = host.ImageName();
        if (name.empty()) name = m.CaptionText;
        if (!confirm(name + " was changed in " + host.HostName() +
                     " while you painted; your strokes will replace those pixels. Write?"))
            return WriteBack::kDeclined;
    }
    host.Tarn_SaveUndo();
    host.Tarn_SetRbuffer(fits ? r : m.RPlane);
    host.Tarn_SetGbuffer(fits ? g : m.GPlane);
    host.Tarn_SetBbuffer(fits ? b : m.BPlane);
    host.tarn_Refresh();
    // The host's changes come onto the canvas, so that the next write does not take them back.
    if (merge.hostChanged) TakeImage(std::move(r), std::move(g), std::move(b));
    if (Wiring.Journal) Wiring.Journal->ImageSentBack();
    RememberHostImage();
    return WriteBack::kWritten;
}

void GetPaperMenu_Click() {
    Host& host = TheHost();
    const int32_t w = host.Tarn_GetPaperWidth();
    const int32_t h = host.tarn_GetPaperHeight();
    Plane paper = host.Tarn_GetPaper();
    if (w < 0 || h < 0 || !paper.sizeIs(w, h))
        throw HostError("Tarnwick sent a paper of " + SizeText(paper.width, paper.height) +
                        " pixels where it announced " + SizeText(w, h) +
                        ". The paper was not changed.");
    TakePaper(std::move(paper));
}

void TakePaper(Plane paper) {
    Module1State& m = Module1;
    m.PaperWidth = paper.width;
    m.PaperHeight = paper.height;
    m.Paper = std::move(paper);
    if (Wiring.Journal) Wiring.Journal->PaperTaken();
}
