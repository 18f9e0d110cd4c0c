# Installs into a scratch folder and checks that the tree holds what a Linux
# desktop expects; runs the validators where they are installed.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -P check_install.cmake
set(root ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${root})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${root}/usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
set(expected
  usr/bin/corvanel
  usr/share/applications/org.example.Corvanel.desktop
  usr/share/metainfo/org.example.Corvanel.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/org.example.Corvanel.svg)
foreach(size 16 32 48 64 128 256)
  list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/org.example.Corvanel.png)
endforeach()
foreach(f ${expected})
  if(NOT EXISTS ${root}/${f})
    message(FATAL_ERROR "missing from the install tree: ${f}")
  endif()
endforeach()
file(READ ${root}/usr/share/applications/org.example.Corvanel.desktop desktop)
if(NOT desktop MATCHES "Icon=org.example.Corvanel" OR NOT desktop MATCHES "Exec=corvanel")
  message(FATAL_ERROR "the desktop entry does not name the icon and the program")
endif()
find_program(DESKTOP_VALIDATE desktop-file-validate)
if(DESKTOP_VALIDATE)
  execute_process(COMMAND ${DESKTOP_VALIDATE} ${root}/usr/share/applications/org.example.Corvanel.desktop
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate failed")
  endif()
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net ${root}/usr/share/metainfo/org.example.Corvanel.metainfo.xml
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate failed")
  endif()
endif()
message(STATUS "install tree complete")
