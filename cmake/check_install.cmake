cmake_minimum_required(VERSION 3.25)
# Test script: installs the build into a scratch prefix and makes the package, then checks
# that each expected file is in both.
#   cmake -D BUILD_DIR=... -D CPACK_COMMAND=... -D "EXPECTED=bin/curvlog;..." -P check_install.cmake
set(prefix ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file IN LISTS EXPECTED)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

execute_process(COMMAND ${CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE result OUTPUT_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed: ${result}\n${output}")
endif()
string(REGEX MATCH "package: ([^\n]*) generated" found "${output}")
set(package ${CMAKE_MATCH_1})
if(NOT EXISTS "${package}")
  message(FATAL_ERROR "no package reported:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${package} OUTPUT_VARIABLE listing
                RESULT_VARIABLE result)
foreach(file IN LISTS EXPECTED)
  string(FIND "${listing}" "/${file}\n" position)
  if(NOT result EQUAL 0 OR position EQUAL -1)
    message(FATAL_ERROR "not in ${package}: ${file}\n${listing}")
  endif()
endforeach()
message(STATUS "installed and packed: ${EXPECTED} (${package})")
