# The engine set-up that the tests and the benchmark both start from.
add_library(marlo_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/engine_setup.cpp)
target_link_libraries(marlo_test_support PUBLIC marlo_engine)
target_include_directories(marlo_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
marlo_warnings(marlo_test_support)
