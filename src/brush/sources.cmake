# Sources of src/brush
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/blend_table.cpp)
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/catmull.cpp
  ${CMAKE_CURRENT_LIST_DIR}/aacpen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/aaline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/render_segment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/composite_walk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/composite_run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/draw_brush.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commit_stroke.cpp)
