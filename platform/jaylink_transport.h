// SPDX-License-Identifier: Apache-2.0
// A SEGGER J-Link as libjaylink reaches it: found by serial number on USB, opened, and asked to
// clock TMS/TDI bit arrays while it samples TDO, one USB round trip per call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The probe's clock: TCK runs at `base_hz` divided by at least `min_divider`.
struct JaylinkSpeeds {
    uint32_t base_hz = 0;
    uint16_t min_divider = 1;
};

class JaylinkTransport {
public:
    // The JTAG bit in the mask of target interfaces.
    static constexpr uint32_t kJtagInterface = 1u << 0;
    // The most clocks one jtag_io() call takes.
    static constexpr uint32_t kMaxBits = 65535;

    virtual ~JaylinkTransport() = default;

    // The serial numbers of the J-Links on USB; nullptr, or a one-line reason.
    virtual const char* list(std::vector<uint32_t>& serials) = 0;
    // Opens the J-Link with `serial` and holds it for this job until close(); nullptr, or a
    // one-line reason (busy, permission: the udev rule).
    virtual const char* open(uint32_t serial) = 0;
    // The target interfaces the probe offers, bit n for interface n.
    virtual const char* interfaces(uint32_t& mask) = 0;
    virtual const char* select_jtag() = 0;
    virtual const char* speeds(JaylinkSpeeds& speeds) = 0;
    virtual const char* set_speed_khz(uint16_t khz) = 0;
    // `bits` clocks, TMS and TDI from the arrays (least significant bit of byte 0 first); TDO of
    // every clock into `tdo`. One USB round trip.
    virtual const char* jtag_io(const uint8_t* tms, const uint8_t* tdi, uint8_t* tdo, uint16_t bits) = 0;
    virtual void close() = 0;
};

// The refusal when several J-Links are plugged in and none was named: the first line, then one
// line per serial number.
std::string jaylink_several_text(const std::vector<uint32_t>& serials);
