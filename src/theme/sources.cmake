# Sources of src/theme
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/qt/host_theme.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/prefs_callback.cpp)
