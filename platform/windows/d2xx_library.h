// SPDX-License-Identifier: Apache-2.0
// FTDI's D2XX library (ftd2xx.dll), which FTDI's driver installs: found at run time, so the
// executables import nothing beyond what every Windows has and run where it is missing.
#pragma once

#include <cstdint>

#include <windows.h>

namespace d2xx {

using Status = ULONG;  // FT_STATUS
using Handle = void*;  // FT_HANDLE
inline constexpr Status kOk = 0;

// FT_DEVICE_LIST_INFO_NODE
struct ListNode {
    ULONG flags;
    ULONG type;
    ULONG id;  // VID << 16 | PID
    DWORD location;
    char serial[16];
    char description[64];
    Handle handle;
};

inline constexpr DWORD kOpenBySerial = 1;
inline constexpr DWORD kOpenByLocation = 4;
inline constexpr UCHAR kBitModeReset = 0;
inline constexpr UCHAR kBitModeMpsse = 2;
inline constexpr ULONG kPurgeBoth = 1 | 2;

// The calls the USB cable makes, each a __stdcall export of the library.
struct Library {
    Status(WINAPI* create_device_info_list)(DWORD* count);
    Status(WINAPI* get_device_info_list)(ListNode* list, DWORD* count);
    Status(WINAPI* open_ex)(void* arg, DWORD flags, Handle* handle);
    Status(WINAPI* close)(Handle handle);
    Status(WINAPI* reset_device)(Handle handle);
    Status(WINAPI* set_usb_parameters)(Handle handle, ULONG in_bytes, ULONG out_bytes);
    Status(WINAPI* set_chars)(Handle handle, UCHAR event, UCHAR event_on, UCHAR error, UCHAR error_on);
    Status(WINAPI* set_timeouts)(Handle handle, ULONG read_ms, ULONG write_ms);
    Status(WINAPI* set_latency_timer)(Handle handle, UCHAR ms);
    Status(WINAPI* set_bit_mode)(Handle handle, UCHAR mask, UCHAR mode);
    Status(WINAPI* purge)(Handle handle, ULONG mask);
    Status(WINAPI* write)(Handle handle, void* buffer, DWORD length, DWORD* written);
    Status(WINAPI* read)(Handle handle, void* buffer, DWORD length, DWORD* read);
};

// The library, loaded on the first call: nullptr when ftd2xx.dll is not installed or lacks one
// of the calls (then `missing` names what is missing).
const Library* library(const char*& missing);

// "FT_IO_ERROR" for the statuses a cable meets, else "FT_STATUS n".
const char* status_name(Status status, char (&spare)[24]);

// "FT2232H" for the types with an MPSSE engine, else "type n".
const char* type_name(ULONG type, char (&spare)[24]);

}  // namespace d2xx
