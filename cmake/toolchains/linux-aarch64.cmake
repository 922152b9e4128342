# 64-bit ARM Linux with Debian's cross compiler (package g++-aarch64-linux-gnu); programs run
# under qemu-aarch64 -L /usr/aarch64-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TOLVIMO_CROSS_TRIPLE aarch64-linux-gnu)
set(TOLVIMO_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross-linux.cmake)
