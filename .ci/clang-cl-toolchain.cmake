# A Microsoft-style toolchain (clang-cl, lld-link) for CI's consumer check of
# the Windows zip: the package must hand such a linker the .lib. No Windows
# SDK or C runtime exists here, so programs read mingw-w64's headers (in the
# GCC dialect they expect), start at main and import only from kernel32
# through mingw's import library. TOLVIMO_CHECK_MACHINE is x64 or x86.
set(CMAKE_SYSTEM_NAME Windows)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOLVIMO_CHECK_MACHINE)
if(TOLVIMO_CHECK_MACHINE STREQUAL "x86")
  set(CMAKE_SYSTEM_PROCESSOR X86)
  set(triple i686-pc-windows-msvc)
  set(mingw /usr/i686-w64-mingw32)
  set(extra_c_flags "/D_X86_")
  set(extra_link_flags "/safeseh:no")
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
  set(triple x86_64-pc-windows-msvc)
  set(mingw /usr/x86_64-w64-mingw32)
  set(extra_c_flags "")
  set(extra_link_flags "")
endif()
find_program(CMAKE_C_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${triple})
find_program(CMAKE_LINKER NAMES lld-link lld-link-14 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc llvm-rc-14)
find_program(CMAKE_MT NAMES llvm-mt llvm-mt-14)
set(CMAKE_C_FLAGS_INIT "/imsvc /usr/share/mingw-w64/include /clang:-fgnuc-version=4.2.1 /Zl ${extra_c_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "/nodefaultlib /entry:main /manifest:no ${extra_link_flags}")
set(CMAKE_C_STANDARD_LIBRARIES "${mingw}/lib/libkernel32.a" CACHE STRING "" FORCE)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
