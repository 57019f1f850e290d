# The pointer handlers and the tablet.
marlo_library(marlo_input SOURCES stroke_capture.cpp tablet.cpp tablet_handlers.cpp USES marlo_brush)
# Qt's events to pointer bits and tablet packets.
marlo_library(marlo_input_qt SOURCES qt/tablet_qt.cpp USES marlo_input Qt6::Widgets)
