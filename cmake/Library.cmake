# The library: one object library compiled once, linked both into the shared
# library that hosts load and into a static library for the unit tests.

set(TOLVIMO_SOURCES
  notes/note_reader.cpp
  synthesis/envelope.cpp
  synthesis/instrument_presets.cpp
  synthesis/render_note.cpp
  synthesis/repeated_notes.cpp
  synthesis/fast/render_fast.cpp
  synthesis/sample_buffer.cpp
  wav/wav_writer.cpp
  request/instrument_names.cpp
  request/argument_text.cpp
  request/description.cpp
  request/explanation.cpp
  request/note_plan.cpp
  request/note_writer.cpp
  request/output_file.cpp
  request/render_entry.cpp
  request/report.cpp
  request/tolvimo_api.cpp
  request/utf8_text.cpp
  request/wav_instruments.cpp
)
if(WIN32)
  list(APPEND TOLVIMO_SOURCES platform/text_conversion_windows.cpp platform/output_protocol_windows.cpp)
else()
  list(APPEND TOLVIMO_SOURCES platform/text_conversion_posix.cpp platform/output_begin_posix.cpp
    platform/output_finish_posix.cpp)
endif()

# The vector path: one kernel over the compilers' generic vector types,
# compiled once per instruction set. Two lanes everywhere (SSE2 on x86,
# SIMD128 in WebAssembly); on x86 also AVX2 and AVX-512, chosen at run time.
# OFF gives the scalar-only build, to measure the vector path against.
option(TOLVIMO_FAST_PATH "Render with the vector kernels" ON)
if(TOLVIMO_FAST_PATH)
  list(APPEND TOLVIMO_SOURCES synthesis/fast/note_kernel_pairs.cpp)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|amd64|i686|i386|x86" AND NOT EMSCRIPTEN)
    set(TOLVIMO_FAST_PATH_X86 ON)
    list(APPEND TOLVIMO_SOURCES
      synthesis/fast/note_kernel_avx2.cpp synthesis/fast/note_kernel_avx512.cpp)
    # -mfma: the kernels fuse the multiply-adds of their polynomials.
    set(avx2_options -mavx2 -mfma)
    set(avx512_options -mavx512f -mfma)
    if(WIN32)
      # mingw-w64 cannot align the stack beyond 16 bytes: wide spills must
      # use unaligned moves (binutils 2.38 or later).
      list(APPEND avx2_options -Wa,-muse-unaligned-vector-move)
      list(APPEND avx512_options -Wa,-muse-unaligned-vector-move)
    endif()
    set_source_files_properties(synthesis/fast/note_kernel_avx2.cpp
      PROPERTIES COMPILE_OPTIONS "${avx2_options}")
    set_source_files_properties(synthesis/fast/note_kernel_avx512.cpp
      PROPERTIES COMPILE_OPTIONS "${avx512_options}")
  endif()
  if(EMSCRIPTEN)
    set_source_files_properties(synthesis/fast/note_kernel_pairs.cpp
      PROPERTIES COMPILE_OPTIONS -msimd128)
  endif()
endif()
message(STATUS "Vector rendering path: ${TOLVIMO_FAST_PATH}")

# Renders every note, even a pitch already rendered in the request, instead of
# copying the first rendering; on only to measure the direct renderer that the
# optimisations are compared with.
option(TOLVIMO_RENDER_EVERY_NOTE "Render repeated pitches again instead of copying them" OFF)

add_library(tolvimo_objects OBJECT ${TOLVIMO_SOURCES})
if(TOLVIMO_RENDER_EVERY_NOTE)
  target_compile_definitions(tolvimo_objects PRIVATE TOLVIMO_RENDER_EVERY_NOTE)
endif()
if(TOLVIMO_FAST_PATH)
  target_compile_definitions(tolvimo_objects PUBLIC TOLVIMO_FAST_PATH)
  if(TOLVIMO_FAST_PATH_X86)
    target_compile_definitions(tolvimo_objects PUBLIC TOLVIMO_FAST_PATH_X86)
  endif()
endif()
target_include_directories(tolvimo_objects PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
target_link_libraries(tolvimo_objects PRIVATE tolvimo_warnings tolvimo_exact_math)
target_compile_definitions(tolvimo_objects PRIVATE TOLVIMO_WAV_INSTRUMENTS_BUILD)
set_target_properties(tolvimo_objects PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
if(NOT WIN32)
  target_link_libraries(tolvimo_objects PUBLIC m)
endif()

# The static core library: the same objects, for the front ends that link
# the library in (the command-line program, the language bindings) and the
# unit tests, which also reach the internal entries (request/render_entry.h)
# that the shared library does not export.
add_library(tolvimo_static STATIC)
target_link_libraries(tolvimo_static PUBLIC tolvimo_objects)
target_link_libraries(tolvimo_static PRIVATE tolvimo_warnings tolvimo_exact_math)
set_target_properties(tolvimo_static PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_compile_definitions(tolvimo_static INTERFACE TOLVIMO_WAV_INSTRUMENTS_STATIC)

# WebAssembly has no shared libraries: web/ links the objects into a module.
if(EMSCRIPTEN)
  return()
endif()

# The exports, listed once in cmake/exports.txt: the version script that
# lets them out of the shared library and the .def that the Windows import
# library is made from are written from it.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/exports.txt TOLVIMO_EXPORTS REGEX "^[A-Za-z_]")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/exports.txt)
list(JOIN TOLVIMO_EXPORTS "; " exports_joined)
set(TOLVIMO_EXPORTS_MAP ${TOLVIMO_GENERATED_DIR}/exports.map)
file(CONFIGURE OUTPUT ${TOLVIMO_EXPORTS_MAP}
  CONTENT "{\n  global: ${exports_joined};\n  local: *;\n};\n")
list(JOIN TOLVIMO_EXPORTS "\n    " exports_lines)
set(TOLVIMO_DEF ${TOLVIMO_GENERATED_DIR}/TolvimoWAVInstruments.def)
file(CONFIGURE OUTPUT ${TOLVIMO_DEF}
  CONTENT "; The DLL's exports, undecorated, in the C calling convention.\nLIBRARY TolvimoWAVInstruments.dll\nEXPORTS\n    ${exports_lines}\n")

add_library(TolvimoWAVInstruments SHARED)
# The name an installed package gives the library, in every form of use.
add_library(TolvimoWAVInstruments::TolvimoWAVInstruments ALIAS TolvimoWAVInstruments)
target_link_libraries(TolvimoWAVInstruments PRIVATE tolvimo_objects)
target_include_directories(TolvimoWAVInstruments PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:include>)
set_target_properties(TolvimoWAVInstruments PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
if(WIN32)
  enable_language(RC)
  target_sources(TolvimoWAVInstruments PRIVATE
    platform/dll_main_windows.cpp platform/version_resource.rc)
  target_include_directories(TolvimoWAVInstruments PRIVATE ${TOLVIMO_GENERATED_DIR})
  # TolvimoWAVInstruments.dll, no "lib" prefix; the import library keeps it.
  set_target_properties(TolvimoWAVInstruments PROPERTIES PREFIX "" IMPORT_PREFIX "")
  target_compile_definitions(TolvimoWAVInstruments PRIVATE TOLVIMO_WAV_INSTRUMENTS_BUILD)
else()
  target_link_libraries(TolvimoWAVInstruments PRIVATE m)
  # Hidden visibility still lets the standard library's template instances
  # through; the version script lets exactly the listed symbols out.
  target_link_options(TolvimoWAVInstruments PRIVATE -Wl,--version-script=${TOLVIMO_EXPORTS_MAP})
  if(TOLVIMO_SANITIZE STREQUAL "")
    # Sanitizer runtimes resolve only in the final program.
    target_link_options(TolvimoWAVInstruments PRIVATE -Wl,--no-undefined)
  endif()
  set_property(TARGET TolvimoWAVInstruments APPEND PROPERTY LINK_DEPENDS ${TOLVIMO_EXPORTS_MAP})
endif()
