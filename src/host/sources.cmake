# Sources of src/host
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/image_exchange.cpp)
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/qt/file_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/file_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/image_file.cpp)
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/dbus.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/dbus.cmake)
endif()
