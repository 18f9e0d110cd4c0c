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
  usr/share/icons/hicolor/scalable/apps/org.example.Corvanel.svg
  usr/share/man/man1/corvanel.1.gz
  usr/share/doc/corvanel/copyright
  usr/share/doc/corvanel/changelog.gz)
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
# The package's copyright file and the metainfo name the same licence.
file(STRINGS ${root}/usr/share/doc/corvanel/copyright licence REGEX "^License: " LIMIT_COUNT 1)
string(REPLACE "License: " "" licence "${licence}")
file(READ ${root}/usr/share/metainfo/org.example.Corvanel.metainfo.xml metainfo)
if(licence STREQUAL "" OR NOT metainfo MATCHES "<project_license>${licence}</project_license>")
  message(FATAL_ERROR "the copyright file's licence '${licence}' is not the metainfo's project_license")
endif()

# The installed program answers its command line without a display: with no
# display named and the X11 platform forced, touching the window system would
# abort it.
function(run_corvanel)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
                          ${root}/usr/bin/corvanel ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(rc "${rc}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()
run_corvanel(--version)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "Corvanel 1.06\n" OR NOT err STREQUAL "")
  message(FATAL_ERROR "corvanel --version: status ${rc}, output '${out}', errors '${err}'")
endif()
run_corvanel(--help)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^Usage: corvanel " OR NOT err STREQUAL "")
  message(FATAL_ERROR "corvanel --help: status ${rc}, output '${out}', errors '${err}'")
endif()
run_corvanel(--no-such-option)
if(NOT rc EQUAL 2 OR NOT out STREQUAL "" OR NOT err MATCHES "^corvanel: [^\n]*no-such-option[^\n]*\n$")
  message(FATAL_ERROR "corvanel --no-such-option: status ${rc}, output '${out}', errors '${err}'")
endif()
execute_process(COMMAND ${root}/usr/bin/corvanel --version OUTPUT_FILE /dev/full RESULT_VARIABLE rc)
if(rc EQUAL 0)
  message(FATAL_ERROR "corvanel --version reports success when its output cannot be written")
endif()

find_program(MAN man)
if(MAN)
  execute_process(COMMAND ${MAN} --warnings -E UTF-8 -l -Tutf8 -Z ${root}/usr/share/man/man1/corvanel.1.gz
                  OUTPUT_QUIET ERROR_VARIABLE warnings RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "the manual page does not format cleanly:\n${warnings}")
  endif()
endif()
message(STATUS "install tree complete")
