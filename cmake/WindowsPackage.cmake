# The Windows zip: the stripped DLL, its import libraries for both linkers
# (the Microsoft linker's .lib made from a .def, and mingw's .dll.a), the
# header, the host program, LICENSE, a README for Windows and a CMake package
# for find_package. Debug information goes to a second zip (-debug), never
# into the DLL: a debugger finds it through the DLL's gnu-debuglink.
#
#   cmake --build --preset windows && cpack --preset windows
#   -> build/windows/TolvimoWAVInstruments-<version>-win64.zip and -win64-debug.zip
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

find_program(TOLVIMO_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
# Rewrites the zips so that every build of one commit gives the same bytes.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "objcopy of the mingw-w64 toolchain not found")
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TOLVIMO_COFF_MACHINE i386:x86-64)
else()
  set(TOLVIMO_COFF_MACHINE i386)
endif()

set(TOLVIMO_PACKAGE_STAGE ${PROJECT_BINARY_DIR}/windows-package)
# TOLVIMO_DEF: written from cmake/exports.txt by Library.cmake.

# Each program is split into a stripped copy and its debug file, which the
# stripped copy names (with a checksum) so a debugger can find it beside it.
# objcopy writes the time it runs into a PE header unless SOURCE_DATE_EPOCH
# gives one: zero, as the linker leaves it.
set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
set(stripped_files)
foreach(target TolvimoWAVInstruments wavinstruments)
  set(binary $<TARGET_FILE:${target}>)
  set(name $<TARGET_FILE_NAME:${target}>)
  if(target STREQUAL "TolvimoWAVInstruments")
    set(plain_name TolvimoWAVInstruments.dll)
  else()
    set(plain_name wavinstruments.exe)
  endif()
  add_custom_command(
    OUTPUT ${TOLVIMO_PACKAGE_STAGE}/${plain_name} ${TOLVIMO_PACKAGE_STAGE}/${plain_name}.debug
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVIMO_PACKAGE_STAGE}
    COMMAND ${objcopy} --only-keep-debug ${binary} ${plain_name}.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${plain_name}.debug
            ${binary} ${plain_name}
    DEPENDS ${target}
    WORKING_DIRECTORY ${TOLVIMO_PACKAGE_STAGE}
    COMMENT "Splitting the debug information out of ${plain_name}"
    VERBATIM)
  list(APPEND stripped_files ${TOLVIMO_PACKAGE_STAGE}/${plain_name})
endforeach()

# The Microsoft linker's import library, made from the .def that lists the
# exports (on x86 the tool adds the C decoration, _WAVInstruments).
add_custom_command(
  OUTPUT ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstruments.lib
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVIMO_PACKAGE_STAGE}
  COMMAND ${TOLVIMO_LLVM_DLLTOOL} -m ${TOLVIMO_COFF_MACHINE} -d ${TOLVIMO_DEF}
          -l ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstruments.lib
  DEPENDS ${TOLVIMO_DEF}
  COMMENT "Making the import library TolvimoWAVInstruments.lib"
  VERBATIM)
add_custom_target(windows_package_files ALL
  DEPENDS ${stripped_files} ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstruments.lib)

install(FILES ${stripped_files} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Windows)
install(FILES
  ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstruments.lib
  ${TOLVIMO_DEF}
  $<TARGET_LINKER_FILE:TolvimoWAVInstruments>
  DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Windows)
install(FILES ${PROJECT_SOURCE_DIR}/include/TolvimoWAVInstruments.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Windows)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . COMPONENT Windows)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows/README.txt DESTINATION . COMPONENT Windows)
install(FILES
  ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstruments.dll.debug
  ${TOLVIMO_PACKAGE_STAGE}/wavinstruments.exe.debug
  DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Debug)

set(TOLVIMO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TolvimoWAVInstruments)
configure_package_config_file(cmake/windows/TolvimoWAVInstrumentsConfig.cmake.in
  ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstrumentsConfig.cmake
  INSTALL_DESTINATION ${TOLVIMO_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
# The version file also refuses a consumer of the other pointer size.
write_basic_package_version_file(${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstrumentsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstrumentsConfig.cmake
  ${TOLVIMO_PACKAGE_STAGE}/TolvimoWAVInstrumentsConfigVersion.cmake
  DESTINATION ${TOLVIMO_CMAKE_DIR} COMPONENT Windows)

# One zip per component, named <name>-<version>-win64[-debug].zip; both
# unpack into the same folder, so the debug files land beside the programs.
set(CPACK_PACKAGE_NAME TolvimoWAVInstruments)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TolvimoWAVInstruments developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Renders note text to mono 16-bit WAV files by additive synthesis")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL Windows Debug)
set(tolvimo_zip_name ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win32)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(tolvimo_zip_name ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
endif()
set(CPACK_ARCHIVE_WINDOWS_FILE_NAME ${tolvimo_zip_name})
set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${tolvimo_zip_name}-debug)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_TOLVIMO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_TOLVIMO_PYTHON ${Python3_EXECUTABLE})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/windows/ReproducibleZip.cmake)
include(CPack)
