// SPDX-License-Identifier: Apache-2.0
// The device a job works on, inside its chain: the same scans as the raw walker, but for that
// device alone. Every other device is held in BYPASS: an IR scan shifts all ones into their
// instruction registers around the device's instruction, and a DR scan adds one BYPASS bit per
// other device, so the device's cells line up in captures and samples as if it were alone. A
// device alone in its chain gets exactly the raw walker's traffic.
#pragma once

#include <cstdint>
#include <string>

#include "jtag/cable.h"
#include "jtag/chain_position.h"

// What passed through the chain, for a job's report.
struct ScanCounts {
    uint64_t ir_scans = 0;
    uint64_t dr_scans = 0;
    uint64_t dr_captures = 0;  // scans whose whole capture was read back
    uint64_t dr_samples = 0;   // scans that read back some cells
    uint64_t bits = 0;         // bits shifted through the chain, padding included
    uint64_t tap_resets = 0;
};

class JtagChain {
public:
    explicit JtagChain(Cable& cable, const ChainPosition& position = {});

    // The device among others once the chain has been read; what was counted so far stays.
    void place(const ChainPosition& position);

    Cable& cable() { return cable_; }
    const ChainPosition& position() const { return position_; }
    const ScanCounts& counts() const { return counts_; }

    void park();
    void tap_reset();
    void scan_ir(uint32_t length, const char* bits);
    void scan_ir_capture(const char* bits, char* capture, uint32_t length);
    void scan_dr(const char* bits, uint32_t length);
    // `capture` may be `bits` itself; it holds `length` characters when the call returns.
    void scan_dr_capture(const char* bits, char* capture, uint32_t length);
    // sample[k] becomes the bit captured at the device's cells[k] (ascending); in place once
    // flush() returns.
    void scan_dr_sample(const char* bits, uint32_t length, const uint16_t* cells, uint32_t count, char* sample);

    void flush() { cable_.flush(); }
    void idle(uint32_t clocks) { cable_.idle(clocks); }
    uint32_t tck_hz() const { return cable_.tck_hz(); }
    bool answers_late() const { return cable_.answers_late(); }
    const char* fault() const { return cable_.fault(); }

private:
    // The device's shift between `before` and `after` ones, the last bit leaving Shift.
    void padded(bool ir, const char* bits, uint32_t length, const TdoSink& sink, uint32_t before, uint32_t after);

    Cable& cable_;
    ChainPosition position_;
    std::string ones_;  // enough '1' characters for the longest padding
    ScanCounts counts_;
};
