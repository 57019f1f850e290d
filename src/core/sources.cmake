# The floor: the program state, planes, rectangles, rounding, errors, memory, termination, the
# wiring hooks, the processor level of the fast paths.
marlo_library(marlo_core
  SOURCES module1.cpp wiring.cpp memory_budget.cpp large_pages.cpp termination.cpp cpu_level.cpp)
