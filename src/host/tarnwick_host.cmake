# The reference host program: serves an image file to `marlo --dbus` on the session bus.
add_executable(tarnwick-host
  ${CMAKE_SOURCE_DIR}/src/app/programs/tarnwick_host_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/tarnwick_window.cpp)
target_link_libraries(tarnwick-host PRIVATE marlo_gui)
marlo_warnings(tarnwick-host)
