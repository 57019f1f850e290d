#include "app/engine_reset.h"

#include "canvas/dibs.h"
#include "core/module1.h"

void ResetEngine() {
    ResetModule1();
    Dibs.Bilinear = BilinearScratch{};
}
