# WebAssembly with Debian's emscripten (package emscripten): finds emcc and
# hands over to the toolchain file that ships with it.
find_program(TOLVIMO_EMCC emcc REQUIRED)
file(REAL_PATH ${TOLVIMO_EMCC} TOLVIMO_EMCC_REAL)
get_filename_component(TOLVIMO_EMSCRIPTEN_ROOT ${TOLVIMO_EMCC_REAL} DIRECTORY)
include(${TOLVIMO_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)
