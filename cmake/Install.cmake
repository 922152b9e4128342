# Installation: the shared library with its SONAME links, the header, the
# host program with its manual page, the licence and README under
# share/doc/TolvimoWAVInstruments, a CMake package and a pkg-config file;
# CPack archives them (Debian packages are built from debian/ instead).
# Libraries go to the multiarch folder (lib/x86_64-linux-gnu, lib/aarch64-
# linux-gnu, ...) wherever the toolchain names one, as Debian lays them out,
# so packages of several architectures can be installed side by side; the
# pkg-config file and the CMake package follow the library.
# Windows gets a zip laid out for Windows developers instead.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackage.cmake)
  return()
endif()
if(NOT WIN32 AND CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CMAKE_INSTALL_LIBDIR)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH
    "Object code libraries (lib/<multiarch triplet>)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(TolvimoWAVInstruments PROPERTIES
  PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/include/TolvimoWAVInstruments.h)

install(TARGETS TolvimoWAVInstruments EXPORT TolvimoWAVInstrumentsTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS wavinstruments RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES docs/wavinstruments.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES LICENSE README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(TOLVIMO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TolvimoWAVInstruments)
install(EXPORT TolvimoWAVInstrumentsTargets
  NAMESPACE TolvimoWAVInstruments::
  DESTINATION ${TOLVIMO_CMAKE_DIR})
configure_package_config_file(cmake/TolvimoWAVInstrumentsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TolvimoWAVInstrumentsConfig.cmake
  INSTALL_DESTINATION ${TOLVIMO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TolvimoWAVInstrumentsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/TolvimoWAVInstrumentsConfig.cmake
  ${PROJECT_BINARY_DIR}/TolvimoWAVInstrumentsConfigVersion.cmake
  DESTINATION ${TOLVIMO_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so the tree can move: the
# way up from <prefix>/<libdir>/pkgconfig to <prefix>, computed against a
# stand-in prefix (any absolute path gives the same relative path). A
# distribution package, which never moves, names the prefix itself.
option(TOLVIMO_RELOCATABLE_PKG_CONFIG "Let the pkg-config file find the prefix from its own place" ON)
if(TOLVIMO_RELOCATABLE_PKG_CONFIG)
  set(TOLVIMO_ANY_PREFIX /prefix)
  file(RELATIVE_PATH TOLVIMO_PC_TO_PREFIX
    ${TOLVIMO_ANY_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${TOLVIMO_ANY_PREFIX})
  set(TOLVIMO_PC_PREFIX "\${pcfiledir}/${TOLVIMO_PC_TO_PREFIX}")
else()
  set(TOLVIMO_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
endif()
configure_file(cmake/TolvimoWAVInstruments.pc.in
  ${PROJECT_BINARY_DIR}/TolvimoWAVInstruments.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/TolvimoWAVInstruments.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME tolvimo-wav-instruments)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TolvimoWAVInstruments developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Renders note text to mono 16-bit WAV files by additive synthesis")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR TGZ)
include(CPack)
