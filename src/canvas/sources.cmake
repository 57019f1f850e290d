# Sources of src/canvas
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/buffers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dibs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stroke_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/smoothblit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/undo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/undo_pack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/view_ops.cpp)
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/qt/form1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/menus.cpp)
