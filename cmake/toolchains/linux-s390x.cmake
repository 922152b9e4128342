# Big-endian IBM Z Linux with Debian's cross compiler (package g++-s390x-linux-gnu); programs run
# under qemu-s390x -L /usr/s390x-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TOLVIMO_CROSS_TRIPLE s390x-linux-gnu)
set(TOLVIMO_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross-linux.cmake)
