# The host interface (host.h); its implementations over files, D-Bus and GIMP are in qt/.
marlo_library(marlo_host INTERFACE USES marlo_core)
# The file host, the D-Bus link (`marlo --dbus`) and the serving side that the reference host
# and the tests share.
marlo_library(marlo_host_qt
  SOURCES qt/file_host.cpp qt/rescue_copy.cpp qt/file_ops.cpp qt/file_name.cpp qt/temp_files.cpp
          qt/image_file.cpp qt/image_checks.cpp qt/image_extras.cpp qt/png_chunks.cpp
          qt/dbus_interface.cpp qt/dbus_form.cpp qt/dbus_host.cpp qt/tarnwick_service.cpp qt/session_bus.cpp
  USES marlo_host marlo_journal Qt6::Widgets Qt6::DBus
  PRIVATE ZLIB::ZLIB PkgConfig::XXHASH)
