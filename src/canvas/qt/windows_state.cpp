#include "canvas/qt/windows_state.h"

WindowsState Windows;
