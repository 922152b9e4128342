# 32-bit Windows with Debian's mingw-w64 toolchain (package g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOLVIMO_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# Doubles in SSE2 registers, each operation rounded to double as on every
# other target; x87's extended precision would change results.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
