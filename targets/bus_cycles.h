// SPDX-License-Identifier: Apache-2.0
// Flash bus cycles: what the flash engine asks of whatever carries its reads and writes.
// The boundary-scan implementation is SelectedTarget; tests may carry them another way.
#pragma once

#include <cstdint>

#include "targets/cpu_target.h"

class BusCycles {
public:
    virtual ~BusCycles() = default;

    // One read cycle; the word read, `data_bits` wide (8 or 16).
    virtual uint32_t bus_read(uint32_t address, uint32_t data_bits) = 0;
    // One write cycle of the low `data_bits` of `data`.
    virtual void bus_write(uint32_t address, uint32_t data, uint32_t data_bits) = 0;
    // '0' selects the flash, '1' releases it.
    virtual void bsr_set_chip_enable(char level) = 0;
    // `count` consecutive reads from `address`, `step` bytes apart, into `words`. Where the bus
    // allows it they are pipelined: each scan captures the word the previous scan's address put
    // on the bus while it sets the next address.
    virtual void bus_read_run(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits, uint32_t* words)
    {
        for (uint32_t k = 0; k < count; ++k)
            words[k] = bus_read(address + k * step, data_bits);
    }
    // The same reads queued without waiting for them: `words` are in place once bus_collect()
    // returns. Several runs may wait at once, each with its own `words`.
    virtual void bus_read_run_queued(uint32_t address, uint32_t step, uint32_t count, uint32_t data_bits,
                                     uint32_t* words)
    {
        bus_read_run(address, step, count, data_bits, words);
    }
    virtual void bus_collect() {}
    // The next read captures, or the next write strobes, no earlier than `ns` from now: a chip
    // busy for a known time is given it. The scans before the capture or strobe count towards it.
    virtual void bus_wait(uint64_t ns) { (void)ns; }
    // Answers come back in batches, a round trip each: worth queueing more bus cycles before
    // reading them.
    virtual bool answers_late() const { return false; }
    // The failure that stopped the cable (port or USB error), or nullptr.
    virtual const char* fault() const = 0;
    // Sends what the cable has queued: before a wait on the clock, the chip must have had its
    // command.
    virtual void flush() {}
};

// Low `bits` ones: 0xFF or 0xFFFF.
constexpr uint32_t data_mask_of(uint32_t bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }

// The pin-map edits of one CPU, no scan: the address bits into the address cells; `width`
// data bits into the output cells with the pins switched to drive; and back from a capture.
void set_address(const CpuPins& pins, char* image, uint32_t address);
void set_data(const CpuPins& pins, char* image, uint32_t data, uint32_t width);
uint32_t get_data(const CpuPins& pins, const char* capture, uint32_t width);
// Every data pin released, so the flash may drive the bus.
void release_data(const CpuPins& pins, char* image);
