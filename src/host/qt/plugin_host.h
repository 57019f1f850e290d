// Marlo as a plug-in of a paint application: the application's active layer served as the
// host on the session bus while Marlo runs. Everything here is independent of the application;
// one small file per application implements PaintLayer and starts RunMarloSession from the
// application's plug-in entry point (gimp_plugin.cpp for GIMP 2.10).
#pragma once
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "core/plane.h"
#include "host/host.h"

// The layer Marlo paints on, as the application gives it. Every call may throw HostError
// (the layer was deleted, converted to a kind Marlo cannot paint, ...). All calls are made on
// the thread that called RunMarloSession.
class PaintLayer {
public:
    virtual ~PaintLayer() = default;
    virtual int32_t Width() = 0;
    virtual int32_t Height() = 0;
    virtual int32_t Channels() = 0;  // 3 for a colour layer, 1 for a grey one
    // The colour at 8 bits a channel: Channels() planes (red, green, blue, or the grey).
    virtual std::vector<Plane> Read() = 0;
    // One undo step in the application spans everything between these two.
    virtual void BeginUndoStep() = 0;
    virtual void EndUndoStep() = 0;
    // Stores `planes` (Channels() of them, of the layer's size) through the application's
    // selection. A pixel whose colour equals what Read gives now keeps its exact stored value;
    // alpha is never changed. Then the application's views are refreshed.
    virtual void Write(const std::vector<Plane>& planes) = 0;
    // The application's current pattern at start: `channels` 1 (grey), 2 (grey, alpha), 3 (RGB)
    // or 4 (RGBA) bytes a pixel, rows top first. Empty when there is none.
    virtual std::vector<uint8_t> Pattern(int32_t* width, int32_t* height, int32_t* channels) = 0;
    // A line in the application's message area.
    virtual void Message(const std::string& text) = 0;
    // The layer in the painter's words ("GIMP layer Background"); empty when unknown.
    virtual std::string Describe() { return {}; }
    // The application's name ("GIMP") and the layer's, for the painter's questions.
    virtual std::string Application() = 0;
    virtual std::string Name() = 0;
};

// The Host a layer makes. A grey layer gives its grey as all three planes and takes back
// their mean; the planes sent back become the layer's colour at tarn_Refresh, as one undo step
// from Tarn_SaveUndo on.
class LayerHost : public Host {
public:
    LayerHost(PaintLayer& layer, Plane paper);

    int32_t Tarn_GetPaperWidth() override { return paper_.width; }
    int32_t tarn_GetPaperHeight() override { return paper_.height; }
    Plane Tarn_GetPaper() override { return paper_; }
    int32_t Tarn_BufferWidth() override { return layer_.Width(); }
    int32_t Tarn_BufferHeight() override { return layer_.Height(); }
    Plane Tarn_GetRBuffer() override { return Channel(0); }
    Plane Tarn_GetGBuffer() override { return Channel(1); }
    Plane Tarn_GetBBuffer() override { return Channel(2); }
    void Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) override;
    void Tarn_SaveUndo() override;
    void Tarn_SetRbuffer(const Plane& plane) override { Keep(0, plane); }
    void Tarn_SetGbuffer(const Plane& plane) override { Keep(1, plane); }
    void Tarn_SetBbuffer(const Plane& plane) override { Keep(2, plane); }
    void tarn_Refresh() override;
    std::string Tarn_WallpaperFilename() override { return {}; }
    // The layer both ways: Get image reads it, Send image writes it.
    std::string Describe(bool) override { return layer_.Describe(); }
    std::string HostName() override { return layer_.Application(); }
    std::string ImageName() override { return layer_.Name(); }

    // Closes an undo step Marlo opened and never finished (a write-back that failed half way).
    void Finish();
    // Reads the layer now for the Get calls that follow.
    void ReadAhead();

private:
    Plane Channel(int c);
    void Keep(int c, const Plane& plane);
    void Store();

    PaintLayer& layer_;
    Plane paper_;
    // The layer's colour read for the Get calls: read again once a channel is asked for twice,
    // released once each channel was handed out.
    std::vector<Plane> read_;
    unsigned handedOut_ = 0;
    Plane sent_[3];  // the planes Marlo set since the last refresh (empty: not sent)
    bool undoOpen_ = false;
};

// The application's pattern turned to grey, the way Marlo reads a paper file.
Plane PatternPaper(const std::vector<uint8_t>& pixels, int32_t width, int32_t height,
                   int32_t channels);

struct SessionResult {
    bool ok = false;
    QString message;  // why it failed; empty when ok
};

// Serves `layer` as Tarnwick.Tarnwick_Class at /Tarnwick_Class on the session bus (on a bus of
// its own when there is none), starts `marlo --dbus` and returns when Marlo has ended. Runs a
// Qt event loop on the calling thread meanwhile; every PaintLayer call is made from it.
// Marlo is MARLO_EXECUTABLE if set, else `marlo` beside this program, else `marlo` on PATH.
SessionResult RunMarloSession(PaintLayer& layer);
