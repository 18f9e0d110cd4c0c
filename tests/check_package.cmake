# Builds the .deb from an installed build tree and has lintian check it: any
# error fails; warnings and notes are printed.
#   cmake -DBUILD_DIR=... -DCPACK=... -P check_package.cmake
set(out ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${out}
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB deb ${out}/*.deb)
if(NOT rc EQUAL 0 OR NOT deb)
  message(FATAL_ERROR "cpack failed:\n${log}")
endif()

execute_process(COMMAND dpkg-deb --contents ${deb} OUTPUT_VARIABLE contents RESULT_VARIABLE rc)
foreach(f usr/bin/corvanel usr/share/man/man1/corvanel.1.gz
          usr/share/doc/corvanel/copyright usr/share/doc/corvanel/changelog.gz)
  if(NOT contents MATCHES " \\./${f}\n")
    message(FATAL_ERROR "missing from the package: ${f}")
  endif()
endforeach()

find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is missing (scripts/deps installs it)")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error --display-info --pedantic ${deb}
                RESULT_VARIABLE rc OUTPUT_VARIABLE report ERROR_VARIABLE report)
message(STATUS "lintian:\n${report}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lintian reports errors on ${deb}")
endif()
