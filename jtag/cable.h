// SPDX-License-Identifier: Apache-2.0
// A JTAG cable as a bit transport: it clocks TCK with TMS and TDI and samples TDO, nothing more.
// Which state the TAP is in is the walker's business (jtag/tap_walker.h). A cable may queue what
// it is given and deliver TDO late: every bit asked for is in place once flush() returns.
// BitStrings as everywhere: one '0'/'1' character per bit, character 0 shifted first.
#pragma once

#include <cstdint>

// Where the TDO bits of a shift go: nowhere (the default), every bit into `capture`, or only the
// listed cells (ascending, relative to the shift): sample[k] gets the bit of cells[k].
struct TdoSink {
    char* capture = nullptr;
    const uint16_t* cells = nullptr;
    uint32_t count = 0;
    char* sample = nullptr;

    bool wanted() const { return capture != nullptr || count != 0; }
};

class Cable {
public:
    virtual ~Cable() = default;

    // The lines back to idle (the cable's own park sequence); sends what is queued.
    virtual void park() = 0;
    // `clocks` (1 to 8) clocks, TMS from bit k of `path` on clock k. `tdi` 0 or 1 holds TDI there;
    // -1 leaves it to the cable.
    virtual void tms_path(uint8_t path, uint8_t clocks, int tdi = -1) = 0;
    // `length` clocks shifting `bits`, TMS low, except on the last clock when `exit` (Shift to
    // Exit1). `capture` may be `bits` itself.
    virtual void shift(const char* bits, uint32_t length, bool exit, const TdoSink& sink = {}) = 0;
    // Sends what is queued and waits for every TDO bit still due.
    virtual void flush() {}
    // The TCK frequency the cable clocks at by itself; 0 where the host makes every edge (the
    // parallel port, whose scans take longer than any wait a flash chip asks for).
    virtual uint32_t tck_hz() const { return 0; }
    // `clocks` TCK clocks with TMS low and nothing shifted: a wait timed by the cable.
    virtual void idle(uint32_t clocks) { (void)clocks; }
    // Answers come back in batches, a round trip each: worth queueing work before reading them.
    virtual bool answers_late() const { return false; }
    // The failure that stopped the cable's traffic (a port or USB error), one line; nullptr while
    // all is well. Once set it stays set, and the cable's operations do nothing.
    virtual const char* fault() const { return nullptr; }
};
