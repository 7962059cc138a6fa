# Installation and packages: "cmake --install" puts the program (and, outside Windows, its
# manual page) in the usual places; "cpack" makes a .tar.gz, or a .zip for Windows.

include(GNUInstallDirs)

install(TARGETS curvlog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/curvlog.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME curvlog)
set(CPACK_PACKAGE_VENDOR "CURVLOG")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Digitises a line graph from a PNG, PCX or TGA picture")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
