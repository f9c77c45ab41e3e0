// SPDX-License-Identifier: Apache-2.0
// The PC parallel port with the JTAG cable plugged in: data bits 0..2 drive
// TDI, TMS and TCK; status bit 6 returns TDO.
#pragma once

#include <cstdint>

#include "sim/scan_chain.h"
#include "sim/stats.h"
#include "sim/virtual_clock.h"

namespace sim {

class VirtualPort {
public:
    static constexpr uint8_t kTdi = 0x01;
    static constexpr uint8_t kTms = 0x02;
    static constexpr uint8_t kTck = 0x04;
    static constexpr uint8_t kTdoStatus = 0x40;
    // Status inputs the cable leaves open: pulled up, and BUSY (bit 7) is
    // inverted by the port, so it reads 0.
    static constexpr uint8_t kStatusIdle = 0x3F;
    static constexpr uint8_t kNothing = 0xFF;

    // `present` false: no port at any address.
    VirtualPort(VirtualClock& clock, SimStats& stats, ScanChain& chain, bool present, uint16_t base,
                uint64_t access_ns);

    void write(uint16_t port, uint8_t value)
    {
        clock_.ns += access_ns_;
        ++stats_.port_writes;
        if (port != base_ || !present_) [[unlikely]]
            return;
        uint8_t tck_change = static_cast<uint8_t>((data_ ^ value) & kTck);
        data_ = value;
        if (tck_change) {
            if (value & kTck)
                chain_.tck_rising((value & kTms) >> 1, value & kTdi);
            else
                chain_.tck_falling();
        }
    }

    uint8_t read(uint16_t port)
    {
        clock_.ns += access_ns_;
        ++stats_.port_reads;
        if (present_) [[likely]] {
            if (port == base_ + 1)
                return static_cast<uint8_t>(kStatusIdle | (chain_.tdo() ? kTdoStatus : 0));
            if (port == base_)
                return data_;
        }
        return kNothing;
    }

    bool present() const { return present_; }
    uint16_t base() const { return base_; }
    uint8_t data() const { return data_; }

private:
    VirtualClock& clock_;
    SimStats& stats_;
    ScanChain& chain_;
    bool present_;
    uint16_t base_;
    uint64_t access_ns_;
    uint8_t data_ = 0;
};

}  // namespace sim
