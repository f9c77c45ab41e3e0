// SPDX-License-Identifier: Apache-2.0
// J-Links on USB through libjaylink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_lock.h"
#include "platform/jaylink_transport.h"

struct jaylink_context;
struct jaylink_device_handle;

class JaylinkUsb final : public JaylinkTransport {
public:
    JaylinkUsb() = default;
    JaylinkUsb(const JaylinkUsb&) = delete;
    JaylinkUsb& operator=(const JaylinkUsb&) = delete;
    ~JaylinkUsb() override;

    const char* list(std::vector<uint32_t>& serials) override;
    const char* open(uint32_t serial) override;
    const char* interfaces(uint32_t& mask) override;
    const char* select_jtag() override;
    const char* speeds(JaylinkSpeeds& speeds) override;
    const char* set_speed_khz(uint16_t khz) override;
    const char* jtag_io(const uint8_t* tms, const uint8_t* tdi, uint8_t* tdo, uint16_t bits) override;
    void close() override;

private:
    const char* start();
    const char* fail(const char* call, int code);
    // A failure after the probe was opened: closes it.
    const char* give_up(const char* call, int code);

    jaylink_context* context_ = nullptr;
    jaylink_device_handle* handle_ = nullptr;
    uint32_t serial_ = 0;
    bool select_needed_ = false;  // the probe offers more than one interface
    bool jtag_v3_ = false;        // the hardware wants the newer JTAG command
    DeviceLock lock_;             // the probe, held from before open until close
    std::string error_;
};
