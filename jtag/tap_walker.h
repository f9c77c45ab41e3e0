// SPDX-License-Identifier: Apache-2.0
// The one TAP walker: every reset, walk and scan, for every cable, on the raw chain (all of
// its devices' registers end to end). Every scan starts in Test-Logic-Reset or Run-Test/Idle and
// ends in Run-Test/Idle. BitStrings: '0'/'1' characters, character 0 shifted first.
#pragma once

#include <cstdint>

#include "jtag/cable.h"

// The instruction that makes the boundary-scan register drive the pins; every CPU has it.
inline constexpr const char* kExtest = "0000";

void cable_park(Cable& cable);
void tap_reset(Cable& cable);
void jtag_scan_ir(Cable& cable, uint32_t length, const char* bits);
void jtag_scan_ir_capture(Cable& cable, const char* bits, char* capture, uint32_t length);
void jtag_scan_dr(Cable& cable, const char* bits, uint32_t length);
// `capture` may be `bits` itself; it holds `length` characters (no terminator) on return.
void jtag_scan_dr_capture(Cable& cable, const char* bits, char* capture, uint32_t length);
// Keeps only the cells listed (ascending): sample[k] becomes the bit captured at cells[k]. The
// samples may arrive late: they are in place once the cable's flush() returns.
void jtag_scan_dr_sample(Cable& cable, const char* bits, uint32_t length, const uint16_t* cells, uint32_t count,
                         char* sample);

// Ones shifted before and after a scan's own bits: the other devices of a chain, in BYPASS.
struct ScanPadding {
    const char* ones = nullptr;  // at least max(before, after) '1' characters
    uint32_t before = 0;         // shifted first: the devices nearer TDO
    uint32_t after = 0;
};

// Every scan: the walk to Shift-IR (`ir`) or Shift-DR, the padding and `bits` with TDO into
// `sink` (cells counted from bits[0]), the last bit leaving Shift, Update, Run-Test/Idle.
void tap_scan(Cable& cable, bool ir, const char* bits, uint32_t length, const TdoSink& sink,
              const ScanPadding& padding = {});

void bitstring_reverse32(char* bits);
