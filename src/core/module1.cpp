#include "core/module1.h"
#include "core/scratch.h"

Module1State Module1;

ScratchState Scratch;

void ResetModule1() {
    Module1 = Module1State{};
    Scratch = ScratchState{};
}
