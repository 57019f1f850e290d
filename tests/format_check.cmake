# cmake -DROOT=. -DCLANG_FORMAT=clang-format -P format_check.cmake
# Fails when a C++ file of src/, tests/ or bench/ differs from what clang-format makes of it
# under the repository's .clang-format, and names each such file.
get_filename_component(ROOT ${ROOT} ABSOLUTE)
file(GLOB_RECURSE files ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/tests/*.h ${ROOT}/tests/*.cpp
     ${ROOT}/bench/*.h ${ROOT}/bench/*.cpp)
set(faults 0)
foreach(file IN LISTS files)
  execute_process(COMMAND ${CLANG_FORMAT} --style=file --dry-run --Werror ${file}
                  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE said)
  if(failed)
    file(RELATIVE_PATH shown ${ROOT} ${file})
    message("${shown}: not as clang-format lays it out (clang-format -i ${shown})")
    math(EXPR faults "${faults} + 1")
  endif()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} files to format")
endif()
