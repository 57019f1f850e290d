#include "app/module1.h"

Module1State Module1;

void ResetModule1() { Module1 = Module1State{}; }
