# SPDX-License-Identifier: Apache-2.0
# The J-Link cable needs libjaylink and the GPIO cable libgpiod (version 1), both on Linux only;
# without them the tool lacks that cable, and the simulator's virtual ones work either way.
list(REMOVE_ITEM PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/platform/linux/jaylink_usb.cpp
     ${CMAKE_SOURCE_DIR}/platform/linux/gpiod_lines.cpp)
if(NOT WIN32 AND PKG_CONFIG_FOUND)
  pkg_check_modules(LIBJAYLINK IMPORTED_TARGET libjaylink)
  pkg_check_modules(LIBGPIOD IMPORTED_TARGET libgpiod<2)
endif()
if(LIBJAYLINK_FOUND)
  message(STATUS "J-Link cable: built (libjaylink ${LIBJAYLINK_VERSION})")
  list(APPEND PLATFORM_SOURCES platform/linux/jaylink_usb.cpp)
elseif(NOT WIN32)
  message(STATUS "J-Link cable: not built (no libjaylink; install libjaylink-dev)")
endif()
if(LIBGPIOD_FOUND)
  message(STATUS "GPIO cable: built (libgpiod ${LIBGPIOD_VERSION})")
  list(APPEND PLATFORM_SOURCES platform/linux/gpiod_lines.cpp)
elseif(NOT WIN32)
  message(STATUS "GPIO cable: not built (no libgpiod 1.x; install libgpiod-dev)")
endif()
if(WIN32)
  message(STATUS "J-Link and GPIO cables: not built (Linux only)")
endif()
