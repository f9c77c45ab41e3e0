// SPDX-License-Identifier: Apache-2.0
// What the TAP walks and scans need from a JTAG cable: the parallel-port cable clocks every
// edge from the host, a USB cable queues whole shifts. BitStrings as everywhere: one '0'/'1'
// character per bit, character 0 shifted first. Every scan starts in Test-Logic-Reset or
// Run-Test/Idle and ends in Run-Test/Idle.
#pragma once

#include <cstdint>

class Cable {
public:
    virtual ~Cable() = default;

    // The lines back to idle.
    virtual void park() = 0;
    // Five clocks with TMS high: Test-Logic-Reset from any state.
    virtual void tap_reset() = 0;
    virtual void scan_ir(uint32_t length, const char* bits) = 0;
    // As scan_ir, keeping what comes out: `capture` may be `bits` itself.
    virtual void scan_ir_capture(const char* bits, char* capture, uint32_t length) = 0;
    virtual void scan_dr(const char* bits, uint32_t length) = 0;
    // `capture` may be `bits` itself; it holds `length` characters when the call returns.
    virtual void scan_dr_capture(const char* bits, char* capture, uint32_t length) = 0;
    // A DR scan that keeps only the cells listed (ascending): sample[k] becomes the '0'/'1'
    // captured at cells[k]. The samples may arrive late: they are in place once flush() returns.
    virtual void scan_dr_sample(const char* bits, uint32_t length, const uint16_t* cells, uint32_t count,
                                char* sample) = 0;
    // Sends what is queued and waits for every sample still due.
    virtual void flush() {}
    // The TCK frequency the cable clocks at by itself; 0 where the host makes every edge (the
    // parallel port, whose scans take longer than any wait a flash chip asks for).
    virtual uint32_t tck_hz() const { return 0; }
    // `clocks` TCK clocks in Run-Test/Idle with nothing shifted: a wait timed by the cable.
    virtual void idle(uint32_t clocks) { (void)clocks; }
    // Answers come back in batches, a round trip each: worth queueing work before reading them.
    virtual bool answers_late() const { return false; }
    // The failure that stopped the cable's traffic (a port or USB error), one line; nullptr while
    // all is well. Once set it stays set, and the cable's operations do nothing.
    virtual const char* fault() const { return nullptr; }
};
