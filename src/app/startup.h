// The entry procedure: attach to the host, take its paper and image, build the tables and the
// display bitmap, and hand the canvas window to the host. Throws HostError (or MarloError)
// with a one-line reason when the start cannot complete; nothing is shown then.
#pragma once
#include <functional>
#include <memory>

#include "host/host.h"

constexpr const char* kCaptionText = "Marlo for Tarnwick Artist - Spline based paint engine";

// Throws MarloError when a new w x h canvas needs more memory than is left, before any of it
// is made; the same measure Main applies to the host's image.
void CheckNewCanvasRoom(int32_t w, int32_t h);

void Main(std::shared_ptr<Host> host,
          const std::function<HostCallbackTarget*()>& createCanvasWindow);
