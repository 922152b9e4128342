# g++ 12 keeps fewer of the two-lane and AVX2 kernels' vectors in registers
# than clang does, and they run 5-15 % slower (bench/README.md). Where
# clang++ is at hand, those units are compiled by it; the AVX-512 kernel
# and everything else by the project's compiler. Either compiler performs
# the same IEEE operations (-ffp-contract=off), and the kernel model's test
# compares whichever was built with the proof's model bit for bit.
#
# AUTO uses clang++ for a native GNU build without sanitizers when it is
# found; ON requires it; OFF never uses it. Packagers set ON or OFF.
set(TOLVIMO_CLANG_KERNELS AUTO CACHE STRING
  "Compile the two-lane and AVX2 kernels with clang++: AUTO, ON or OFF")
set_property(CACHE TOLVIMO_CLANG_KERNELS PROPERTY STRINGS AUTO ON OFF)
set(TOLVIMO_CLANG_KERNEL_UNITS
  synthesis/fast/note_kernel_pairs.cpp synthesis/fast/note_kernel_avx2.cpp)

function(tolvimo_choose_kernel_compiler target)
  set(wanted ${TOLVIMO_CLANG_KERNELS})
  if(NOT wanted MATCHES "^(AUTO|ON|OFF)$")
    message(FATAL_ERROR "TOLVIMO_CLANG_KERNELS must be AUTO, ON or OFF")
  endif()
  set(usable TRUE)
  if(NOT TOLVIMO_FAST_PATH_X86 OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR WIN32
     OR CMAKE_CROSSCOMPILING OR NOT TOLVIMO_SANITIZE STREQUAL "")
    set(usable FALSE)
  endif()
  if(wanted STREQUAL "OFF" OR (wanted STREQUAL "AUTO" AND NOT usable))
    message(STATUS "Kernels compiled by: ${CMAKE_CXX_COMPILER_ID}")
    return()
  endif()
  if(NOT usable)
    message(FATAL_ERROR "TOLVIMO_CLANG_KERNELS=ON needs a native x86 GNU build without sanitizers")
  endif()
  find_program(TOLVIMO_CLANGXX NAMES clang++ clang++-14 DOC "clang++ for the vector kernels")
  if(NOT TOLVIMO_CLANGXX)
    if(wanted STREQUAL "ON")
      message(FATAL_ERROR "TOLVIMO_CLANG_KERNELS=ON, but no clang++ was found (Debian: clang)")
    endif()
    message(STATUS "Kernels compiled by: ${CMAKE_CXX_COMPILER_ID} (no clang++ found)")
    return()
  endif()
  set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER
    "sh;${PROJECT_SOURCE_DIR}/cmake/kernel_compiler.sh;${TOLVIMO_CLANGXX};${TOLVIMO_CLANG_KERNEL_UNITS};--")
  message(STATUS "Kernels compiled by: ${TOLVIMO_CLANGXX} (two-lane, AVX2), ${CMAKE_CXX_COMPILER_ID} (AVX-512)")
endfunction()
