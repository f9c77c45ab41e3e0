// SPDX-License-Identifier: Apache-2.0
// The board's flash: one chip, or two x8 chips side by side, wired to the CPU bus.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "sim/bus_signals.h"
#include "sim/intel_chip.h"
#include "sim/nor_chip.h"
#include "sim/nor_models.h"

namespace sim {

enum class FlashSetup { x16, x8, x8x2 };

struct FlashFaults {
    bool no_flash = false;
    uint32_t slow_erase_factor = 1;
    uint32_t slow_program_factor = 1;  // words and write buffers
    bool stuck_bit = false;
    uint32_t stuck_address = 0;  // CPU byte address, rounded down to the bus word
    int stuck_bit_index = 0;     // bit of the bus word (0-15 on a 16-bit bus)
    // Erase units (counted from 0, as the chip's sectors or blocks) that are protected on an
    // AMD-style chip, or locked down on an Intel-style one; in every chip of the bank.
    std::vector<uint32_t> protected_blocks;
    // Blocks of an Intel-style chip whose lock bit is set at the start.
    std::vector<uint32_t> locked_blocks;
    // Status-register error bits every program or erase of an Intel-style chip ends with.
    uint8_t intel_status = 0;
    bool ignore_erase = false;
    uint32_t ignore_erase_block = 0;  // erase block of each chip, from 0 in address order
};

// Erase block `index` of the chip, in address order: its sectors, or the larger blocks of a
// chip that has both (SST39VF6401). bytes = 0 past the last one.
NorSector nor_erase_block(const NorModel& model, uint32_t index);

class FlashBank : public BusDevice {
public:
    // nullptr if unknown; accepts ":top" / ":bottom" on chips with boot variants.
    static const NorModel* find_nor_model(std::string_view name);
    static bool supports(const NorModel& model, FlashSetup setup);
    // The model's first supported set-up in the order x16, x8, x8x2.
    static FlashSetup default_setup(const NorModel& model);

    // Throws std::invalid_argument when the model cannot be wired that way.
    FlashBank(const NorModel& model, FlashSetup setup, FlashFaults faults = {});

    uint32_t size_bytes() const;                   // as seen from the CPU (both chips in x8x2)
    void load(const std::vector<uint8_t>& bytes);  // from CPU byte 0; the rest stays 0xFF
    std::vector<uint8_t> contents() const;         // whole flash in CPU byte order
    // The chip of a lane, whatever its command set; chip() and intel_chip() for the one known.
    const FlashChip& flash_chip(int lane) const { return *chips_.at(static_cast<size_t>(lane)); }
    const NorChip& chip(int lane) const;
    const IntelChip& intel_chip(int lane) const;
    int chip_count() const { return static_cast<int>(chips_.size()); }
    const NorModel& model() const { return model_; }
    FlashSetup setup() const { return setup_; }

    void pins_changed(const DevicePins& before, const DevicePins& after, uint64_t now_ns) override;
    uint32_t data_out(const DevicePins& pins, uint64_t now_ns, uint32_t& levels) const override;

private:
    ChipPins chip_pins(const DevicePins& pins, int lane) const;
    void place_stuck_bit(uint32_t address, int bit);

    const NorModel& model_;
    FlashSetup setup_;
    FlashFaults faults_;
    std::vector<std::unique_ptr<FlashChip>> chips_;
};

}  // namespace sim
