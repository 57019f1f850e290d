# Sources of src/brush
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/blend_table.cpp)
