// SPDX-License-Identifier: Apache-2.0
// TAP walks and scans of BitStrings ('0'/'1' characters, character 0 shifted first) over
// whichever cable the run uses.
#pragma once

#include <cstdint>

#include "jtag/cable.h"

// The instruction that makes the boundary-scan register drive the pins; every CPU has it.
inline constexpr const char* kExtest = "0000";

inline void cable_park(Cable& cable) { cable.park(); }
inline void tap_reset(Cable& cable) { cable.tap_reset(); }
inline void jtag_scan_ir(Cable& cable, uint32_t length, const char* bits) { cable.scan_ir(length, bits); }
// `capture` may be `bits` itself; it receives `length` characters and no terminator.
inline void jtag_scan_ir_capture(Cable& cable, const char* bits, char* capture, uint32_t length)
{
    cable.scan_ir_capture(bits, capture, length);
}
inline void jtag_scan_dr(Cable& cable, const char* bits, uint32_t length) { cable.scan_dr(bits, length); }
// `capture` may be `bits` itself; it receives `length` characters and no terminator.
inline void jtag_scan_dr_capture(Cable& cable, const char* bits, char* capture, uint32_t length)
{
    cable.scan_dr_capture(bits, capture, length);
}

void bitstring_reverse32(char* bits);
