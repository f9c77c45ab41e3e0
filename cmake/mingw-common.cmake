# SPDX-License-Identifier: Apache-2.0
# Shared by the mingw-w64 toolchain files, which set CMAKE_SYSTEM_PROCESSOR and
# TARNFLASH_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TARNFLASH_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNFLASH_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNFLASH_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARNFLASH_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLL of the compiler's runtime may be needed on a bare Windows machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
