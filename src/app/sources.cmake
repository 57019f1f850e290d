# Sources of src/app
list(APPEND MARLO_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/module1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/memory_budget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/large_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/termination.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coverage_curves.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup.cpp)
list(APPEND MARLO_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/qt/command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/application.cpp)
