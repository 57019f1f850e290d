# Sources of src/input
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/stroke_capture.cpp)
