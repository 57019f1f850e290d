# Sources of src/palette
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/colour_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/triangle_fill.cpp)
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/qt/kt_button.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/trackle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/picture_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/button_icons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/wallpaper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/palette_placement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/form2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/form2_brush.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/form2_picker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/palette_buttons.cpp)
