# 32-bit (i686) Linux with the host's g++ -m32 (Debian's g++-multilib). The programs run
# natively with ORB_I386_NATIVE=ON, where the kernel runs 32-bit code itself (scripts/test32.sh
# decides by trying), and under qemu-i386 otherwise.
# ORB_GTEST32_PREFIX names an install of GoogleTest built with this same file
# (scripts/test32.sh makes one); libraries and packages are then searched there only, so
# that no 64-bit library of the host can slip into a 32-bit link.
#
# 64-bit file offsets are a must, not only for large files: under user-mode emulation the
# kernel hands out 64-bit directory offsets, and a 32-bit readdir() without them fails with
# EOVERFLOW on every folder.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_ASM_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

if(NOT ORB_I386_NATIVE)
  find_program(ORB_QEMU_I386 qemu-i386)
  if(NOT ORB_QEMU_I386)
    message(FATAL_ERROR "qemu-i386 is missing (Debian package qemu-user)")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORB_QEMU_I386})
endif()

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORB_GTEST32_PREFIX ORB_I386_NATIVE)
if(ORB_GTEST32_PREFIX)
  set(CMAKE_FIND_ROOT_PATH ${ORB_GTEST32_PREFIX})
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endif()
