# 32-bit ARM (hard float) Linux with Debian's cross compiler (package g++-arm-linux-gnueabihf); programs run
# under qemu-arm -L /usr/arm-linux-gnueabihf.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(TOLVIMO_CROSS_TRIPLE arm-linux-gnueabihf)
set(TOLVIMO_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross-linux.cmake)
