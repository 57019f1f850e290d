# The host's theme file (tarnwick.ini).
marlo_library(marlo_theme_qt SOURCES qt/host_theme.cpp USES marlo_core Qt6::Widgets)
