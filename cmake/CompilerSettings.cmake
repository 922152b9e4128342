# Warnings and the floating-point contract shared by every target.

add_library(tolvimo_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tolvimo_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    # A switch that misses a new enumerator fails every build, not only CI's.
    -Werror=switch)
  if(TOLVIMO_WARNINGS_AS_ERRORS)
    target_compile_options(tolvimo_warnings INTERFACE -Werror)
  endif()
endif()

# Samples must be bit-exact: no fused multiply-add, no reassociation.
add_library(tolvimo_exact_math INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tolvimo_exact_math INTERFACE -ffp-contract=off -fno-fast-math)
endif()

# Sanitizer builds instrument every target, tests included.
set(TOLVIMO_SANITIZE "" CACHE STRING
  "Sanitizers: address (with undefined), thread, or fuzzer (libFuzzer with both, clang)")
if(TOLVIMO_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(TOLVIMO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TOLVIMO_SANITIZE STREQUAL "fuzzer")
  # Coverage for libFuzzer everywhere; only the fuzz targets link its driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(NOT TOLVIMO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TOLVIMO_SANITIZE must be empty, address, thread or fuzzer")
endif()

# valgrind 3.19 reads DWARF 4 but not clang 14's default DWARF 5.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_compile_options(-gdwarf-4)
endif()

# The same sources give the same bytes in any folder: paths in debug
# information and __FILE__ name the tree as ".", and a build folder outside
# it as "build" (GCC uses the last matching map, clang the longest).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.")
  cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${PROJECT_BINARY_DIR}" NORMALIZE tolvimo_build_in_tree)
  if(NOT tolvimo_build_in_tree)
    add_compile_options("-ffile-prefix-map=${PROJECT_BINARY_DIR}=build")
  endif()
endif()

# A PE image's header carries the link time unless told not to (the field
# is then zero); nothing on Windows needs it for a DLL that is not bound.
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_link_options(-Wl,--no-insert-timestamp)
endif()
