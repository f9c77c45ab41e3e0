// SPDX-License-Identifier: Apache-2.0
// The parallel-port JTAG cable: TDI, TMS, TCK and line 3 on data bits 0 to 3, TDO on status
// bit 6. Every TCK edge is one port write, made by the host; there is no buffering.
#pragma once

#include <cstdint>

#include "jtag/cable.h"

class Platform;

// Probes 0x378, 0x278 and 0x3BC; the last that echoes wins; 0 when none does.
uint16_t lpt_find_port();

class LptCable final : public Cable {
public:
    explicit LptCable(uint16_t base);

    uint16_t base() const { return base_; }

    // One TCK clock: bit 0 = TDI, bit 1 = TMS; two writes, TCK left high.
    void lpt_clock(uint8_t bits);
    // Status bit 6, read while TCK is high after a clock.
    int lpt_read_tdo();

    // 0x08, 0x00, 0x08: line 3 pulsed low, TCK, TMS and TDI low.
    void park() override;
    void tap_reset() override;
    void scan_ir(uint32_t length, const char* bits) override;
    void scan_ir_capture(const char* bits, char* capture, uint32_t length) override;
    void scan_dr(const char* bits, uint32_t length) override;
    void scan_dr_capture(const char* bits, char* capture, uint32_t length) override;
    void scan_dr_sample(const char* bits, uint32_t length, const uint16_t* cells, uint32_t count,
                        char* sample) override;
    const char* fault() const override;

private:
    void enter_shift_dr();
    void enter_shift_ir();
    void shift_capture(const char* bits, char* capture, uint32_t length);
    void leave_to_idle(uint8_t last_bit);

    Platform& port_;
    uint16_t base_;
};
