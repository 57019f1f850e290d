# The floor: the program state, planes, rectangles, rounding, errors, memory, termination.
marlo_library(marlo_core SOURCES module1.cpp wiring.cpp memory_budget.cpp large_pages.cpp termination.cpp)
