# Sources of src/palette
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/colour_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/triangle_fill.cpp)
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/kt_button.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trackle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/button_icons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wallpaper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/palette_placement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form2_brush.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form2_picker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/palette_buttons.cpp)
