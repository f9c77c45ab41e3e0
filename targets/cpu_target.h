// SPDX-License-Identifier: Apache-2.0
// What the tool knows of one CPU: its JTAG identity, its boundary-scan register and which
// cells carry the flash's address, data and strobes. One constant row per CPU, read by one
// generic bus cycle; adding a CPU is one more file with one more row.
#pragma once

#include <cstdint>
#include <span>

#include "jtag/tap_walker.h"
#include "jtag/toggle_test.h"

constexpr int kMaxBsrLength = 4096;
constexpr int kNoNcsCell = -1;
constexpr int kRegions = 8;

// The CPU's pins on the flash bus, as boundary-scan cells.
struct CpuPins {
    std::span<const uint16_t> address;    // A0 upwards; higher bits have no pin
    std::span<const uint16_t> data_out;   // D0 upwards, what a write drives
    std::span<const uint16_t> data_in;    // D0 upwards, where a capture shows the pin
    std::span<const uint16_t> direction;  // per data pin, or one cell for the whole bus
    char drive;                           // direction level that makes a pin drive
    // Direction cells a write switches to drive, counted from D0; 0: as many as it writes.
    uint32_t write_drives;
    // Data bits a write puts on the pins; 0: the flash's width.
    uint32_t write_width;
    uint16_t oe;  // read strobe, active low
    uint16_t we;  // write strobe, active low
};

struct CpuTarget {
    const char* name;                // exact, case-sensitive
    const char* idcode;              // 32 characters, most significant bit first
    const char* idcode_instruction;  // 4 characters, first shifted first
    int32_t bsr_length;
    const char* default_image;    // bsr_length characters: every strobe and chip select inactive
    int16_t ncs_cells[kRegions];  // per 512 MB region; kNoNcsCell where the CPU has none
    CpuPins pins;
    TogglePlan toggle;
    // The instruction register: its length and the opcode of EXTEST (first shifted first).
    uint8_t instruction_length = 4;
    const char* extest_instruction = kExtest;
    // The address cells carry the flash's own address (the first one its A0, or A-1 in byte
    // mode), not the CPU's byte address: the bus word's byte bits drop off.
    bool flash_address_pins = false;
};

// The checks every row must pass; each CPU file asserts them at compile time.
constexpr bool cpu_row_is_consistent(const CpuTarget& cpu)
{
    int length = 0;
    while (cpu.default_image[length] != '\0') {
        if (cpu.default_image[length] != '0' && cpu.default_image[length] != '1')
            return false;
        ++length;
    }
    if (length != cpu.bsr_length || length > kMaxBsrLength)
        return false;
    // Every cell has at most one role on the bus.
    bool used[kMaxBsrLength] = {};
    auto claim = [&](int cell) {
        if (cell < 0 || cell >= length || used[cell])
            return false;
        used[cell] = true;
        return true;
    };
    for (int16_t cell : cpu.ncs_cells)
        if (cell != kNoNcsCell && (!claim(cell) || cpu.default_image[cell] != '1'))
            return false;
    for (std::span<const uint16_t> group : {cpu.pins.address, cpu.pins.data_out, cpu.pins.direction})
        for (uint16_t cell : group)
            if (!claim(cell))
                return false;
    for (uint16_t cell : cpu.pins.data_in)
        if (cell >= length)
            return false;
    if (!claim(cpu.pins.oe) || !claim(cpu.pins.we))
        return false;
    return cpu.default_image[cpu.pins.oe] == '1' && cpu.default_image[cpu.pins.we] == '1' &&
           cpu.pins.data_in.size() == cpu.pins.data_out.size() && !cpu.pins.direction.empty();
}
