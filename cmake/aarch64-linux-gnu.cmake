# Toolchain for the camera's application processor: 64-bit Arm Linux, built
# with Debian's cross compiler on an x86-64 host.
#
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# Libraries (protobuf, GoogleTest, the C library at run time) come from Debian's
# arm64 multiarch packages under /usr/lib/aarch64-linux-gnu, installed beside
# the host's by `scripts/bootstrap --cross`. Code generators run on the host:
# protoc is the host's /usr/bin/protoc, which Debian keeps at the same version
# as the arm64 libprotobuf (both are one source package, Multi-Arch: same).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZT_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER   ${ZT_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZT_CROSS_TRIPLE}-g++)
set(CMAKE_AR           ${ZT_CROSS_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${ZT_CROSS_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP        ${ZT_CROSS_TRIPLE}-strip CACHE FILEPATH "")

# Debian's cross compiler already searches the multiarch directories
# (/usr/include/aarch64-linux-gnu, /usr/lib/aarch64-linux-gnu); this makes
# CMake's find_* and find_package look there too (and not in x86_64-linux-gnu).
set(CMAKE_LIBRARY_ARCHITECTURE ${ZT_CROSS_TRIPLE})

# Programs found during configure run on the build host (protoc); libraries,
# headers and package configs are looked up in the normal prefixes, where the
# multiarch layout keeps the arm64 ones apart from the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Code that reads packed little-endian layouts through casted pointers works by
# luck on x86-64; the device build says so. The warning is not fatal so that a
# -Werror build still completes and lists every place at once.
set(CMAKE_C_FLAGS_INIT   "-Wcast-align=strict -Wno-error=cast-align")
set(CMAKE_CXX_FLAGS_INIT "-Wcast-align=strict -Wno-error=cast-align")

# Test binaries run under user-mode emulation. The arm64 C library and loader
# of the multiarch packages (/lib/ld-linux-aarch64.so.1) make up the run-time
# root, so qemu needs no -L prefix; pointing -L at the cross compiler's own
# sysroot would pair its loader with the multiarch libc of another build.
# ZT_QEMU may name another emulator, e.g. "qemu-aarch64;-cpu;cortex-a53".
if(NOT DEFINED ZT_QEMU)
  find_program(ZT_QEMU_PROGRAM NAMES qemu-aarch64 qemu-aarch64-static)
  if(ZT_QEMU_PROGRAM)
    set(ZT_QEMU ${ZT_QEMU_PROGRAM})
  endif()
endif()
if(ZT_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZT_QEMU})
endif()
