// SPDX-License-Identifier: Apache-2.0
// Reading a JTAG chain of unknown devices: after Test-Logic-Reset every device has its IDCODE
// register selected (32 bits, bit 0 a 1) or, without one, its BYPASS register (one bit, a
// captured 0), so one DR capture tells the devices apart; filling every instruction register
// with ones and counting a zero through them gives their total length.
#pragma once

#include <cstdint>

#include "jtag/cable.h"

// Bounds of a chain the tool reads, so every buffer is fixed.
inline constexpr uint32_t kMaxChainDevices = 32;
inline constexpr uint32_t kMaxChainIrBits = 512;

struct ChainEntry {
    bool has_idcode = false;
    uint32_t idcode = 0;
};

struct ChainScan {
    uint32_t count = 0;
    ChainEntry devices[kMaxChainDevices];  // position 0 nearest the cable's TDO
    uint32_t ir_total = 0;                 // every instruction register end to end, in bits
};

enum class ChainRead : uint8_t {
    ok,
    all_ones,     // nothing answered: no cable, no power, or TDO pulled up
    all_zeros,    // TDO held low
    too_many,     // more than kMaxChainDevices, or no end found
    ir_too_long,  // no zero came through kMaxChainIrBits
};

// Resets the TAP, reads the devices and measures the instruction registers, then resets the
// TAP again: every device ends in Test-Logic-Reset, with no pin driven.
ChainRead chain_read(Cable& cable, ChainScan& scan);
