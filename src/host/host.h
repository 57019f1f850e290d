// The host's automation object: the methods Marlo calls, names as the host publishes them.
// Every call may throw HostError (a failed call, a vanished host, a malformed answer).
#pragma once
#include <cstdint>
#include <string>

#include "core/plane.h"

// What the host may call back on the canvas window it was handed.
class HostCallbackTarget {
public:
    virtual ~HostCallbackTarget() = default;
    virtual void PrefsCallback() = 0;
    virtual void ShowCanvas() = 0;  // the host decides when the canvas window appears
};

class Host {
public:
    virtual ~Host() = default;
    virtual int32_t Tarn_GetPaperWidth() = 0;
    virtual int32_t tarn_GetPaperHeight() = 0;
    virtual Plane Tarn_GetPaper() = 0;
    virtual int32_t Tarn_BufferWidth() = 0;
    virtual int32_t Tarn_BufferHeight() = 0;
    virtual Plane Tarn_GetRBuffer() = 0;
    virtual Plane Tarn_GetGBuffer() = 0;
    virtual Plane Tarn_GetBBuffer() = 0;
    // The host keeps the window, shows it and may call back into it.
    virtual void Tarn_SendFormObject(HostCallbackTarget* window, int16_t& zero) = 0;
    virtual void Tarn_SaveUndo() = 0;
    virtual void Tarn_SetRbuffer(const Plane& plane) = 0;
    virtual void Tarn_SetGbuffer(const Plane& plane) = 0;
    virtual void Tarn_SetBbuffer(const Plane& plane) = 0;
    virtual void tarn_Refresh() = 0;
    virtual std::string Tarn_WallpaperFilename() = 0;
    // What Get image takes the image from (sending false) and Send image gives it to (true), in
    // the painter's words: "reads photo.png", "writes photo.png", "GIMP layer Background".
    // Empty when the host does not say. Never throws.
    virtual std::string Describe(bool sending) {
        (void)sending;
        return {};
    }
    // Names for the painter's questions: the program that holds the image, and the image (or
    // layer) Marlo paints on. An empty image name: the canvas's caption names it.
    virtual std::string HostName() { return "Tarnwick"; }
    virtual std::string ImageName() { return {}; }
};

// A host button's tooltip: its caption, and in brackets what the host says the button reaches.
inline std::string HostButtonTip(Host* host, const std::string& caption, bool sending) {
    const std::string target = host ? host->Describe(sending) : std::string();
    return target.empty() ? caption : caption + " (" + target + ")";
}
