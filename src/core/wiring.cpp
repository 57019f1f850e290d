#include "core/wiring.h"

WiringState Wiring;
