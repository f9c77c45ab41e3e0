// SPDX-License-Identifier: Apache-2.0
// Drives a FlashBank through pin sequences, as the CPU's bus pins would.
#pragma once

#include <cstdint>

#include "sim/bus_signals.h"
#include "sim/flash_bank.h"
#include "sim/virtual_clock.h"

class NorBusDriver {
public:
    explicit NorBusDriver(sim::FlashBank& bank, uint64_t step_ns = 1000)
        : bank_(bank), step_ns_(step_ns), bus_mask_(bank.setup() == sim::FlashSetup::x8 ? 0xFF : 0xFFFF)
    {}

    // One pin update, a step of time after the previous one.
    void set(const sim::DevicePins& next)
    {
        const sim::DevicePins before = pins_;
        pins_ = next;
        clock_.advance(step_ns_);
        bank_.pins_changed(before, pins_, clock_.ns);
    }

    // CE# low, then address, data and WE# low together, then WE# high.
    void write(uint32_t address, uint32_t data)
    {
        sim::DevicePins p = pins_;
        if (p.ce_n) {
            p.ce_n = false;
            set(p);
        }
        p.address = address;
        p.data = data & bus_mask_;
        p.data_driven = bus_mask_;
        p.we_n = false;
        set(p);
        p.we_n = true;
        set(p);
    }

    // Address and OE# low with the data lines released, sample, OE# high.
    // Lines nobody drives read high.
    uint32_t read(uint32_t address)
    {
        sim::DevicePins p = pins_;
        p.ce_n = false;
        p.data_driven = 0;
        p.address = address;
        p.oe_n = false;
        set(p);
        const uint32_t value = sample();
        p.oe_n = true;
        set(p);
        return value;
    }

    // What the bus shows now, without starting a cycle.
    uint32_t sample() const
    {
        uint32_t levels = 0;
        const uint32_t driven = bank_.data_out(pins_, clock_.ns, levels);
        return ((levels & driven) | ~driven) & bus_mask_;
    }

    void wait(uint64_t ns) { clock_.advance(ns); }
    uint64_t now() const { return clock_.ns; }
    const sim::DevicePins& pins() const { return pins_; }

private:
    sim::FlashBank& bank_;
    uint64_t step_ns_;
    uint32_t bus_mask_;
    sim::DevicePins pins_;
    sim::VirtualClock clock_;
};

// Command cycles as the CPU addresses them in one bus set-up.
struct NorCommands {
    uint32_t addr1;
    uint32_t addr2;
    uint32_t lanes = 1;  // 0x0101 repeats a code for two chips side by side

    void unlock(NorBusDriver& bus) const
    {
        bus.write(addr1, 0xAA * lanes);
        bus.write(addr2, 0x55 * lanes);
    }
    void command(NorBusDriver& bus, uint8_t code) const
    {
        unlock(bus);
        bus.write(addr1, code * lanes);
    }
    void program(NorBusDriver& bus, uint32_t address, uint32_t data) const
    {
        command(bus, 0xA0);
        bus.write(address, data);
    }
    void erase(NorBusDriver& bus, uint32_t address, uint8_t code) const
    {
        command(bus, 0x80);
        unlock(bus);
        bus.write(code == 0x10 ? addr1 : address, code * lanes);
    }
    void reset(NorBusDriver& bus) const { bus.write(0, 0xF0 * lanes); }
};

// Command addresses per set-up.
inline constexpr NorCommands kWord{0xAAA, 0x554};          // x16 chip on a 16-bit bus
inline constexpr NorCommands kByteMode{0xAAA, 0x555};      // x8/x16 chip in byte mode
inline constexpr NorCommands kByteOnly{0x555, 0x2AA};      // x8-only chip alone
inline constexpr NorCommands kPair{0xAAA, 0x554, 0x0101};  // two x8 chips side by side
inline constexpr NorCommands kSst{0xAAAA, 0x5554};
