# SPDX-License-Identifier: Apache-2.0
# The cables' transports on Linux, each optional: libftdi1 (FTDI adapters), libjaylink (J-Link),
# libgpiod 1.x (GPIO lines), libusb-1.0 (CMSIS-DAP v2, USB bulk) and hidapi's hidraw back end
# (CMSIS-DAP v1). Without one the tool lacks that cable; the simulator's virtual ones work either
# way. Windows has FTDI's D2XX library, loaded when the cable is used, and none of the others.
list(REMOVE_ITEM PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/platform/linux/ftdi_transport.cpp
     ${CMAKE_SOURCE_DIR}/platform/linux/jaylink_usb.cpp ${CMAKE_SOURCE_DIR}/platform/linux/gpiod_lines.cpp
     ${CMAKE_SOURCE_DIR}/platform/linux/dap_bulk_link.cpp ${CMAKE_SOURCE_DIR}/platform/linux/dap_hid_link.cpp)
if(NOT WIN32)
  find_package(PkgConfig)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(LIBFTDI1 IMPORTED_TARGET libftdi1)
    pkg_check_modules(LIBJAYLINK IMPORTED_TARGET libjaylink)
    pkg_check_modules(LIBGPIOD IMPORTED_TARGET libgpiod<2)
    pkg_check_modules(LIBUSB1 IMPORTED_TARGET libusb-1.0)
    pkg_check_modules(HIDAPI IMPORTED_TARGET hidapi-hidraw)
  endif()
endif()

# One transport that pkg-config found as `prefix`: its source built into the platform library,
# the library linked and `define` set (PUBLIC where the front end asks for the cable too); the
# configure step says which either way.
macro(tarnflash_transport prefix label library source define scope missing)
  if(${prefix}_FOUND)
    message(STATUS "${label}: built (${library} ${${prefix}_VERSION})")
    list(APPEND PLATFORM_SOURCES ${source})
    target_link_libraries(tarnflash_platform PUBLIC PkgConfig::${prefix})
    target_compile_definitions(tarnflash_platform ${scope} ${define})
  elseif(NOT WIN32)
    message(STATUS "${label}: not built (${missing})")
  endif()
endmacro()

if(WIN32)
  message(STATUS "USB cable: built (FTDI's D2XX library, ftd2xx.dll, loaded when the cable is used)")
endif()
tarnflash_transport(LIBFTDI1 "USB cable" libftdi1 platform/linux/ftdi_transport.cpp TARNFLASH_USB_FTDI PUBLIC
                    "no libftdi1; install libftdi1-dev and pkg-config")
tarnflash_transport(LIBJAYLINK "J-Link cable" libjaylink platform/linux/jaylink_usb.cpp TARNFLASH_JLINK PUBLIC
                    "no libjaylink; install libjaylink-dev")
tarnflash_transport(LIBGPIOD "GPIO cable" libgpiod platform/linux/gpiod_lines.cpp TARNFLASH_GPIOD PUBLIC
                    "no libgpiod 1.x; install libgpiod-dev")
if(WIN32)
  message(STATUS "J-Link and GPIO cables: not built (Linux only)")
  message(STATUS "CMSIS-DAP cable: not built (no CMSIS-DAP transport for Windows yet)")
endif()
tarnflash_transport(LIBUSB1 "CMSIS-DAP v2 (USB bulk)" libusb-1.0 platform/linux/dap_bulk_link.cpp TARNFLASH_DAP_BULK
                    PRIVATE "no libusb-1.0; install libusb-1.0-0-dev")
tarnflash_transport(HIDAPI "CMSIS-DAP v1 (HID)" hidapi platform/linux/dap_hid_link.cpp TARNFLASH_DAP_HID PRIVATE
                    "no hidapi; install libhidapi-dev")
