# marlo-gimp, the GIMP 2.10 plug-in, when libgimp2.0-dev is there. It is built in a folder of
# its own (gimp-plug-in/marlo-gimp/marlo-gimp), the layout GIMP looks for in a plug-in folder.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(GIMP2 IMPORTED_TARGET GLOBAL gimp-2.0>=2.10)
endif()
if(NOT GIMP2_FOUND)
  message(STATUS "libgimp 2.10 not found: the GIMP plug-in marlo-gimp is not built")
  return()
endif()

add_executable(marlo-gimp
  ${CMAKE_CURRENT_LIST_DIR}/qt/gimp_plugin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt/plugin_host.cpp)
target_link_libraries(marlo-gimp PRIVATE marlo_gui PkgConfig::GIMP2)
set_target_properties(marlo-gimp PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/gimp-plug-in/marlo-gimp)
marlo_warnings(marlo-gimp)
# libgimp's own headers declare deprecated functions that older callers still use.
target_compile_options(marlo-gimp PRIVATE -Wno-deprecated-declarations)

# `cmake --install`: the plug-in and marlo beside it. Without a prefix (CMake's default,
# /usr/local, where Debian's GIMP does not look) into the user's GIMP folder: GIMP2_DIRECTORY,
# else ~/.config/GIMP/2.10, marlo copied beside it; with any other prefix (/usr, the package's)
# under PREFIX/lib/gimp/2.0/plug-ins, marlo beside it a relative link to the one in PREFIX/bin.
# `cmake --install BUILD --component gimp` installs the plug-in alone.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr/local\")
    if(DEFINED ENV{GIMP2_DIRECTORY})
      set(marlo_gimp_dir \"\$ENV{GIMP2_DIRECTORY}\")
    elseif(DEFINED ENV{XDG_CONFIG_HOME})
      set(marlo_gimp_dir \"\$ENV{XDG_CONFIG_HOME}/GIMP/2.10\")
    else()
      set(marlo_gimp_dir \"\$ENV{HOME}/.config/GIMP/2.10\")
    endif()
    file(INSTALL \"$<TARGET_FILE:marlo-gimp>\" \"$<TARGET_FILE:marlo>\"
         DESTINATION \"\${marlo_gimp_dir}/plug-ins/marlo-gimp\" USE_SOURCE_PERMISSIONS)
  else()
    set(marlo_gimp_dir \"\${CMAKE_INSTALL_PREFIX}/lib/gimp/2.0/plug-ins/marlo-gimp\")
    file(INSTALL \"$<TARGET_FILE:marlo-gimp>\" DESTINATION \"\${marlo_gimp_dir}\"
         USE_SOURCE_PERMISSIONS)
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${marlo_gimp_dir}/marlo-gimp\")
    endif()
    if(CMAKE_INSTALL_COMPONENT STREQUAL \"gimp\")
      file(INSTALL \"$<TARGET_FILE:marlo>\" DESTINATION \"\${marlo_gimp_dir}\"
           USE_SOURCE_PERMISSIONS)
    else()
      file(RELATIVE_PATH marlo_link \"\${marlo_gimp_dir}\"
           \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/marlo\")
      message(STATUS \"Installing: \$ENV{DESTDIR}\${marlo_gimp_dir}/marlo -> \${marlo_link}\")
      file(CREATE_LINK \"\${marlo_link}\" \"\$ENV{DESTDIR}\${marlo_gimp_dir}/marlo\" SYMBOLIC)
    endif()
  endif()
" COMPONENT gimp)
