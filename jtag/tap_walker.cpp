// SPDX-License-Identifier: Apache-2.0
#include "jtag/tap_walker.h"

namespace {
// TMS paths, first clock in bit 0: Run-Test/Idle, Select-DR-Scan, Capture-DR, Shift-DR; the same
// through Select-IR-Scan to Shift-IR; five clocks high reach Test-Logic-Reset from any state.
constexpr uint8_t kToShiftDr = 0b0010;
constexpr uint8_t kToShiftIr = 0b00110;
constexpr uint8_t kToReset = 0b11111;
}  // namespace

void tap_scan(Cable& cable, bool ir, const char* bits, uint32_t length, const TdoSink& sink, const ScanPadding& padding)
{
    // Read before a capture into `bits` overwrites it: TDI stays there through Update.
    const char last = padding.after != 0 ? '1' : bits[length - 1];
    if (ir)
        cable.tms_path(kToShiftIr, 5);
    else
        cable.tms_path(kToShiftDr, 4);
    if (padding.before != 0)
        cable.shift(padding.ones, padding.before, false);
    cable.shift(bits, length, padding.after == 0, sink);
    if (padding.after != 0)
        cable.shift(padding.ones, padding.after, true);
    cable.tms_path(0b1, 1, static_cast<uint8_t>(last) & 1);  // Exit1 to Update
    cable.tms_path(0b0, 1);                                  // Run-Test/Idle
}

void cable_park(Cable& cable) { cable.park(); }

void tap_reset(Cable& cable) { cable.tms_path(kToReset, 5); }

void jtag_scan_ir(Cable& cable, uint32_t length, const char* bits) { tap_scan(cable, true, bits, length, {}); }

void jtag_scan_ir_capture(Cable& cable, const char* bits, char* capture, uint32_t length)
{
    tap_scan(cable, true, bits, length, {.capture = capture});
    cable.flush();  // the caller needs the capture now
}

void jtag_scan_dr(Cable& cable, const char* bits, uint32_t length) { tap_scan(cable, false, bits, length, {}); }

void jtag_scan_dr_capture(Cable& cable, const char* bits, char* capture, uint32_t length)
{
    tap_scan(cable, false, bits, length, {.capture = capture});
    cable.flush();
}

void jtag_scan_dr_sample(Cable& cable, const char* bits, uint32_t length, const uint16_t* cells, uint32_t count,
                         char* sample)
{
    tap_scan(cable, false, bits, length, {.cells = cells, .count = count, .sample = sample});
}

void bitstring_reverse32(char* bits)
{
    char scratch[32];
    for (int i = 0; i < 32; ++i)
        scratch[i] = bits[31 - i];
    for (int i = 0; i < 32; ++i)
        bits[i] = scratch[i];
}
