# Cross-compiles for 32-bit Windows with Debian's mingw-w64 toolchain
# (package g++-mingw-w64-i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOLVIMO_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOLVIMO_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOLVIMO_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOLVIMO_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOLVIMO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs run under wine: link the compiler's runtime in, so no DLL of
# the toolchain has to travel with them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Doubles in SSE2 registers, each operation rounded to double as on every
# other target; x87's extended precision would change results.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
