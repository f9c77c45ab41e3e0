// SPDX-License-Identifier: Apache-2.0
#include "platform/windows/d2xx_library.h"

#include <cstdio>

namespace d2xx {

namespace {

template <typename Call>
bool find(HMODULE module, const char* name, Call& call, const char*& missing)
{
    call = reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (call == nullptr && missing == nullptr)
        missing = name;
    return call != nullptr;
}

const Library* load(const char*& missing)
{
    static Library calls;
    HMODULE module = LoadLibraryA("ftd2xx.dll");
    if (module == nullptr) {
        missing = "ftd2xx.dll";
        return nullptr;
    }
    missing = nullptr;
    Library& l = calls;
    bool all = find(module, "FT_CreateDeviceInfoList", l.create_device_info_list, missing);
    all = find(module, "FT_GetDeviceInfoList", l.get_device_info_list, missing) && all;
    all = find(module, "FT_OpenEx", l.open_ex, missing) && all;
    all = find(module, "FT_Close", l.close, missing) && all;
    all = find(module, "FT_ResetDevice", l.reset_device, missing) && all;
    all = find(module, "FT_SetUSBParameters", l.set_usb_parameters, missing) && all;
    all = find(module, "FT_SetChars", l.set_chars, missing) && all;
    all = find(module, "FT_SetTimeouts", l.set_timeouts, missing) && all;
    all = find(module, "FT_SetLatencyTimer", l.set_latency_timer, missing) && all;
    all = find(module, "FT_SetBitMode", l.set_bit_mode, missing) && all;
    all = find(module, "FT_Purge", l.purge, missing) && all;
    all = find(module, "FT_Write", l.write, missing) && all;
    all = find(module, "FT_Read", l.read, missing) && all;
    if (!all) {
        FreeLibrary(module);
        return nullptr;
    }
    return &calls;
}

}  // namespace

const Library* library(const char*& missing)
{
    static const char* why = nullptr;
    static const Library* loaded = load(why);
    missing = why;
    return loaded;
}

const char* status_name(Status status, char (&spare)[24])
{
    static constexpr const char* kNames[] = {
        "FT_OK",       "FT_INVALID_HANDLE",         "FT_DEVICE_NOT_FOUND", "FT_DEVICE_NOT_OPENED",
        "FT_IO_ERROR", "FT_INSUFFICIENT_RESOURCES", "FT_INVALID_PARAMETER"};
    if (status < sizeof kNames / sizeof kNames[0])
        return kNames[status];
    std::snprintf(spare, sizeof spare, "FT_STATUS %lu", static_cast<unsigned long>(status));
    return spare;
}

const char* type_name(ULONG type, char (&spare)[24])
{
    switch (type) {
    case 4:
        return "FT2232D";
    case 6:
        return "FT2232H";
    case 7:
        return "FT4232H";
    case 8:
        return "FT232H";
    default:
        std::snprintf(spare, sizeof spare, "type %lu", static_cast<unsigned long>(type));
        return spare;
    }
}

}  // namespace d2xx
