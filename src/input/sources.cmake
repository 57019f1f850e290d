# Sources of src/input
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/stroke_capture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tablet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tablet_handlers.cpp)
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/qt/tablet_qt.cpp)
