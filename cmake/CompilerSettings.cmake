# Warnings and the floating-point contract shared by every target.

add_library(tolvimo_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tolvimo_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
  if(TOLVIMO_WARNINGS_AS_ERRORS)
    target_compile_options(tolvimo_warnings INTERFACE -Werror)
  endif()
endif()

# Samples must be bit-exact: no fused multiply-add, no reassociation.
add_library(tolvimo_exact_math INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tolvimo_exact_math INTERFACE -ffp-contract=off -fno-fast-math)
endif()
