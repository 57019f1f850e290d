#include "core/module1.h"
#include "core/scratch.h"
#include "core/journal_tap.h"

Module1State Module1;

ScratchState Scratch;

JournalTap* TheJournal = nullptr;

void ResetModule1() {
    Module1 = Module1State{};
    Scratch = ScratchState{};
}
