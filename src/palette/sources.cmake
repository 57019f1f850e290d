# The colour model and the triangle's pixels.
marlo_library(marlo_palette SOURCES colour_model.cpp triangle_fill.cpp USES marlo_core)
# The palette window "Tools" and its controls.
marlo_library(marlo_palette_qt
  SOURCES qt/pointer_widget.cpp qt/kt_button.cpp qt/trackle.cpp qt/picture_box.cpp qt/button_icons.cpp
          qt/wallpaper.cpp qt/palette_placement.cpp qt/prefs_callback.cpp qt/form2.cpp
          qt/form2_brush.cpp qt/form2_picker.cpp qt/palette_buttons.cpp
  USES marlo_palette marlo_canvas_qt marlo_host_qt marlo_theme_qt)
