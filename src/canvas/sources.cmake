# The image's planes in use: display bitmap, scaling, undo, zoom, and the exchange with the host.
marlo_library(marlo_canvas
  SOURCES buffers.cpp dibs.cpp stroke_display.cpp smoothblit.cpp undo.cpp undo_pack.cpp
          view_ops.cpp image_exchange.cpp host_image.cpp
  USES marlo_host
  PRIVATE PkgConfig::ZSTD)
# The canvas window, its message boxes and the blend-mode menu.
marlo_library(marlo_canvas_qt
  SOURCES qt/form1.cpp qt/report.cpp qt/menus.cpp qt/windows_state.cpp qt/unsent_painting.cpp
  USES marlo_input_qt marlo_host_qt marlo_brush Qt6::Widgets)
