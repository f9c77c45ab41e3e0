# SPDX-License-Identifier: Apache-2.0
# 32-bit Windows executables with Debian's mingw-w64 cross compiler.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARNFLASH_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
