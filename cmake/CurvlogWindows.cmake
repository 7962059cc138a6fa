# Windows builds: the version resource and the manifest of curvlog.exe, and, when
# cross-compiling, GoogleTest built for the target and the tests run under Wine.
# Included from the top-level CMakeLists.txt after the curvlog target exists.

if(NOT WIN32)
  return()
endif()

enable_language(RC)

# One manifest and one resource script serve curvlog.exe and the Windows platform tests, which
# must see file names as the program does.
set(CURVLOG_MANIFEST_FILE ${CMAKE_BINARY_DIR}/curvlog.manifest)
configure_file(${PROJECT_SOURCE_DIR}/src/platform/win32/curvlog.manifest.in
               ${CURVLOG_MANIFEST_FILE} @ONLY)
set(CURVLOG_RESOURCE_FILE ${CMAKE_BINARY_DIR}/curvlog.rc)
configure_file(${PROJECT_SOURCE_DIR}/src/platform/win32/curvlog.rc.in
               ${CURVLOG_RESOURCE_FILE} @ONLY)
set_source_files_properties(${CURVLOG_RESOURCE_FILE} PROPERTIES
  OBJECT_DEPENDS ${CURVLOG_MANIFEST_FILE})

function(curvlog_add_windows_resources target)
  target_sources(${target} PRIVATE ${CURVLOG_RESOURCE_FILE})
  if(MSVC)
    # The resource script carries the manifest; the linker must not add a second one.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()

curvlog_add_windows_resources(curvlog)

# The message box and the file-open dialog.
target_link_libraries(curvlog_platform PUBLIC user32 comdlg32)

if(NOT CMAKE_CROSSCOMPILING OR CURVLOG_TESTS STREQUAL "OFF")
  return()
endif()

# Every Windows program of the tests runs through Wine, with a prefix of its own in the build
# directory. Test discovery happens at test time, through the same runner.
set(CURVLOG_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CURVLOG_WINEPREFIX}")
  # The prefix is made by the build, so that no test's time limit includes its creation.
  add_custom_command(OUTPUT ${CURVLOG_WINEPREFIX}/.curvlog-ready
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot
    COMMENT "Creating the Wine prefix for the tests (the first time takes a while)" VERBATIM)
  add_custom_target(wine_prefix ALL DEPENDS ${CURVLOG_WINEPREFIX}/.curvlog-ready)
endif()

# GoogleTest for the target, from the sources Debian ships (package googletest). The config
# file in gtest-for-target lets the tests' find_package(GTest) take these targets.
set(CURVLOG_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources, built for the target when cross-compiling")
if(NOT EXISTS ${CURVLOG_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${CURVLOG_GTEST_SOURCE_DIR} "
                      "(Debian: apt-get install googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${CURVLOG_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its warnings are not ours to mend.
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/gtest-for-target CACHE PATH
    "GoogleTest config for the target" FORCE)
