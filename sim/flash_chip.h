// SPDX-License-Identifier: Apache-2.0
// What every virtual flash chip shares, whatever its command set: its cells, the pins that
// latch write cycles and start read cycles, the board's faults, and protected blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/nor_models.h"

namespace sim {

// The chip's own pins. In byte mode of an x8/x16 chip the address is a byte
// address (DQ15 acting as A-1) and only DQ7..DQ0 carry data.
struct ChipPins {
    uint32_t address = 0;
    uint16_t data = 0xFFFF;
    bool ce_n = true;
    bool oe_n = true;
    bool we_n = true;
};

class FlashChip {
public:
    // byte_mode: an x8/x16 chip with BYTE# low, or any x8-only chip.
    FlashChip(const NorModel& model, bool byte_mode);
    virtual ~FlashChip() = default;
    FlashChip(const FlashChip&) = delete;
    FlashChip& operator=(const FlashChip&) = delete;

    // Pin level: latches writes on WE#/CE# edges and counts read cycles on OE#/CE#.
    void pins_changed(const ChipPins& before, const ChipPins& after, uint64_t now_ns);
    bool drives(const ChipPins& pins) const { return !pins.ce_n && !pins.oe_n; }
    uint16_t output(const ChipPins& pins, uint64_t now_ns) const { return read(pins.address, now_ns) & data_mask(); }

    // Cycle level, in the pins' address unit.
    virtual void write_cycle(uint32_t address, uint16_t data, uint64_t now_ns) = 0;
    virtual void read_cycle(uint64_t now_ns) = 0;  // a read starts
    virtual uint16_t read(uint32_t address, uint64_t now_ns) const = 0;

    // Cells as bytes in chip order (low byte of word k at 2k).
    const std::vector<uint8_t>& cells() const { return cells_; }
    std::vector<uint8_t>& cells() { return cells_; }

    // This bit of this cell byte never programs to 0.
    void set_stuck_bit(uint32_t byte_index, int bit);
    // Every erase takes this many times its typical time.
    void set_erase_factor(uint32_t factor) { erase_factor_ = factor == 0 ? 1 : factor; }
    // These cell bytes ignore every erase: a sector or block erase over them goes busy briefly and
    // changes nothing, a chip erase leaves them as they are.
    void set_ignored_erase(NorSector cells) { ignored_erase_ = cells; }
    // Every word and buffer program takes this many times its typical time.
    void set_program_factor(uint32_t factor) { program_factor_ = factor == 0 ? 1 : factor; }
    // Erase unit `index` (as nor_unit_index counts) is protected: AMD-style sector protection,
    // or a locked-down block on an Intel-style chip.
    void protect(uint32_t index);

    const NorModel& model() const { return model_; }
    bool byte_mode() const { return byte_mode_; }
    uint16_t data_mask() const { return byte_mode_ ? 0xFF : 0xFFFF; }

protected:
    uint32_t word_address(uint32_t address) const;  // the command decoder's view
    uint32_t byte_address(uint32_t address) const;  // cell byte of an address, wrapped
    bool is_protected(uint32_t address) const;      // the erase unit of a pin address
    void program_unit(uint32_t address, uint16_t data);
    void erase_range(uint32_t start, uint32_t bytes);
    // The erase unit of a pin address: its start and size in bytes.
    NorSector unit_of(uint32_t address) const;
    uint32_t erase_factor() const { return erase_factor_; }
    uint32_t program_factor() const { return program_factor_; }
    // Whether cell bytes [start, start + bytes) meet the ignored-erase cells.
    bool erase_ignored(uint32_t start, uint32_t bytes) const
    {
        return ignored_erase_.bytes != 0 && start < ignored_erase_.start + ignored_erase_.bytes &&
               ignored_erase_.start < start + bytes;
    }

    const NorModel& model_;
    bool byte_mode_;

private:
    std::vector<uint8_t> cells_;
    std::vector<bool> protected_;
    uint32_t stuck_byte_ = 0;
    uint8_t stuck_mask_ = 0;
    uint32_t erase_factor_ = 1;
    NorSector ignored_erase_{0, 0};
    uint32_t program_factor_ = 1;
    // A write in progress on the pins.
    bool write_pending_ = false;
    uint32_t latched_address_ = 0;
};

}  // namespace sim
