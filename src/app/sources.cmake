# Main (the start-up sequence) and the one reset of the whole engine.
marlo_library(marlo_app SOURCES startup.cpp engine_reset.cpp USES marlo_journal marlo_palette)
# The application: command line, hosts made, signals; the programs' entry files are in programs/.
marlo_library(marlo_app_qt
  SOURCES qt/command_line.cpp qt/make_host.cpp qt/session_journal.cpp qt/application.cpp
  USES marlo_app marlo_palette_qt)
target_compile_definitions(marlo_app_qt PRIVATE MARLO_VERSION="${PROJECT_VERSION}")
