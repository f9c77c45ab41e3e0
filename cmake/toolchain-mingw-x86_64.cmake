# SPDX-License-Identifier: Apache-2.0
# 64-bit Windows executables with Debian's mingw-w64 cross compiler.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARNFLASH_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
