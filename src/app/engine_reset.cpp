#include "app/engine_reset.h"

#include "canvas/dibs.h"
#include "core/module1.h"
#include "core/wiring.h"

void ResetEngine() {
    ResetModule1();
    Dibs = DibsState{};
    Wiring = WiringState{};
}
