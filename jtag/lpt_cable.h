// SPDX-License-Identifier: Apache-2.0
// The parallel-port JTAG cable: TDI, TMS, TCK and the other lines on the data port, TDO on a
// status bit. Every TCK edge is one port write, made by the host; there is no buffering. A
// wiring is one row of pin masks; another wiring is another row.
#pragma once

#include <cstdint>

#include "jtag/cable.h"

class Platform;

struct LptWiring {
    uint8_t tdi;
    uint8_t tms;
    uint8_t tck;
    uint8_t held;       // data bits high on every clock (a buffer enable, a reset line let go)
    uint8_t tdo;        // the status bit carrying TDO
    bool tdo_inverted;  // the port inverts that bit (the BUSY line does)
    uint8_t park[3];    // the data port written in this order to leave the lines idle
};

// TDI, TMS, TCK and line 3 on data bits 0 to 3, TDO on status bit 6; parking pulses line 3 low.
inline constexpr LptWiring kLptWiring = {0x01, 0x02, 0x04, 0x08, 0x40, false, {0x08, 0x00, 0x08}};

// Probes 0x378, 0x278 and 0x3BC on `port`; the last that echoes wins; 0 when none does.
uint16_t lpt_find_port(Platform& port);

class LptCable final : public Cable {
public:
    LptCable(Platform& port, uint16_t base, const LptWiring& wiring = kLptWiring);

    uint16_t base() const { return base_; }

    void park() override;
    void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) override;
    void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) override;
    const char* fault() const override;

private:
    // One TCK clock, `lines` (TDI and TMS masks) held: two writes, TCK left high.
    void clock(uint8_t lines);

    Platform& port_;
    uint16_t base_;
    const LptWiring& wiring_;
};
