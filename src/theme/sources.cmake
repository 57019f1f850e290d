# The host's theme file (tarnwick.ini) and the settings stores.
marlo_library(marlo_theme_qt SOURCES qt/host_theme.cpp qt/settings_store.cpp USES marlo_core Qt6::Widgets)
