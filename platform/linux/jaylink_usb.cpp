// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/jaylink_usb.h"

#include <libjaylink/libjaylink.h>

namespace {
// The first hardware version that wants the newer JTAG command.
constexpr uint8_t kJtagV3Major = 5;
}  // namespace

JaylinkUsb::~JaylinkUsb()
{
    close();
    if (context_ != nullptr)
        jaylink_exit(context_);
}

const char* JaylinkUsb::fail(const char* call, int code)
{
    const std::string who = serial_ != 0 ? "J-Link " + std::to_string(serial_) : "J-Link";
    error_ = who + ": " + call + " failed: " + jaylink_strerror(code);
    return error_.c_str();
}

const char* JaylinkUsb::give_up(const char* call, int code)
{
    fail(call, code);
    close();
    return error_.c_str();
}

const char* JaylinkUsb::start()
{
    if (context_ == nullptr) {
        if (int code = jaylink_init(&context_); code != JAYLINK_OK) {
            context_ = nullptr;
            return fail("jaylink_init", code);
        }
        jaylink_log_set_level(context_, JAYLINK_LOG_LEVEL_NONE);  // the tool words its own failures
    }
    if (int code = jaylink_discovery_scan(context_, JAYLINK_HIF_USB); code < 0)
        return fail("USB scan", code);
    return nullptr;
}

const char* JaylinkUsb::list(std::vector<uint32_t>& serials)
{
    if (const char* reason = start())
        return reason;
    jaylink_device** devices = nullptr;
    size_t count = 0;
    if (int code = jaylink_get_devices(context_, &devices, &count); code != JAYLINK_OK)
        return fail("jaylink_get_devices", code);
    for (size_t i = 0; i < count; ++i)
        if (uint32_t serial = 0; jaylink_device_get_serial_number(devices[i], &serial) == JAYLINK_OK)
            serials.push_back(serial);
    jaylink_free_devices(devices, true);
    return nullptr;
}

const char* JaylinkUsb::open(uint32_t serial)
{
    close();
    if (const char* reason = start())
        return reason;
    const std::string name = "J-Link " + std::to_string(serial);
    if (const char* busy = lock_.take("jlink-" + std::to_string(serial), name)) {
        error_ = busy;
        return error_.c_str();
    }
    jaylink_device** devices = nullptr;
    size_t count = 0;
    int code = jaylink_get_devices(context_, &devices, &count);
    if (code != JAYLINK_OK) {
        lock_.release();
        return fail("jaylink_get_devices", code);
    }
    code = JAYLINK_ERR_NOT_AVAILABLE;
    for (size_t i = 0; i < count && code == JAYLINK_ERR_NOT_AVAILABLE; ++i)
        if (uint32_t found = 0; jaylink_device_get_serial_number(devices[i], &found) == JAYLINK_OK && found == serial)
            code = jaylink_open(devices[i], &handle_);
    jaylink_free_devices(devices, true);
    if (code != JAYLINK_OK) {
        handle_ = nullptr;
        lock_.release();
        error_ = name + " would not open (" + jaylink_strerror(code) +
                 "): another program may hold it, or add the udev rule of the package (plugdev group)";
        return error_.c_str();
    }
    serial_ = serial;
    uint8_t caps[JAYLINK_DEV_EXT_CAPS_SIZE] = {};
    if ((code = jaylink_get_caps(handle_, caps)) != JAYLINK_OK)
        return give_up("jaylink_get_caps", code);
    if (jaylink_has_cap(caps, JAYLINK_DEV_CAP_GET_EXT_CAPS) &&
        (code = jaylink_get_extended_caps(handle_, caps)) != JAYLINK_OK)
        return give_up("jaylink_get_extended_caps", code);
    select_needed_ = jaylink_has_cap(caps, JAYLINK_DEV_CAP_SELECT_TIF);
    if (jaylink_has_cap(caps, JAYLINK_DEV_CAP_GET_HW_VERSION)) {
        jaylink_hardware_version version{};
        if ((code = jaylink_get_hardware_version(handle_, &version)) != JAYLINK_OK)
            return give_up("jaylink_get_hardware_version", code);
        jtag_v3_ = version.major >= kJtagV3Major;
    }
    return nullptr;
}

const char* JaylinkUsb::interfaces(uint32_t& mask)
{
    // A probe without interface selection speaks JTAG alone.
    mask = kJtagInterface;
    if (!select_needed_)
        return nullptr;
    const int code = jaylink_get_available_interfaces(handle_, &mask);
    return code == JAYLINK_OK ? nullptr : fail("jaylink_get_available_interfaces", code);
}

const char* JaylinkUsb::select_jtag()
{
    if (!select_needed_)
        return nullptr;
    jaylink_target_interface previous{};
    const int code = jaylink_select_interface(handle_, JAYLINK_TIF_JTAG, &previous);
    return code == JAYLINK_OK ? nullptr : fail("jaylink_select_interface", code);
}

const char* JaylinkUsb::speeds(JaylinkSpeeds& speeds)
{
    jaylink_speed speed{};
    const int code = jaylink_get_speeds(handle_, &speed);
    if (code != JAYLINK_OK)
        return fail("jaylink_get_speeds", code);
    speeds = {speed.freq, speed.div};
    return nullptr;
}

const char* JaylinkUsb::set_speed_khz(uint16_t khz)
{
    const int code = jaylink_set_speed(handle_, khz);
    return code == JAYLINK_OK ? nullptr : fail("jaylink_set_speed", code);
}

const char* JaylinkUsb::jtag_io(const uint8_t* tms, const uint8_t* tdi, uint8_t* tdo, uint16_t bits)
{
    const int code =
        jaylink_jtag_io(handle_, tms, tdi, tdo, bits, jtag_v3_ ? JAYLINK_JTAG_VERSION_3 : JAYLINK_JTAG_VERSION_2);
    return code == JAYLINK_OK ? nullptr : fail("jaylink_jtag_io", code);
}

void JaylinkUsb::close()
{
    if (handle_ != nullptr)
        jaylink_close(handle_);
    handle_ = nullptr;
    serial_ = 0;
    lock_.release();
}
