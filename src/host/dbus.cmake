# The host link over the D-Bus session bus (`marlo --dbus`), and the serving side that the
# reference host and the tests share.
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/qt/dbus_interface.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/dbus_form.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/dbus_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/tarnwick_service.cpp)
