// SPDX-License-Identifier: Apache-2.0
#include "sim/flash_bank.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

const NorModel* FlashBank::find_nor_model(std::string_view name) { return nor_model_find(name); }

bool FlashBank::supports(const NorModel& model, FlashSetup setup)
{
    switch (model.bus) {
    case NorBusWidth::x16_only:
        return setup == FlashSetup::x16;
    case NorBusWidth::x8_only:
        return setup != FlashSetup::x16;
    case NorBusWidth::x8_x16:
        return true;
    }
    return false;
}

FlashSetup FlashBank::default_setup(const NorModel& model)
{
    for (FlashSetup s : {FlashSetup::x16, FlashSetup::x8, FlashSetup::x8x2})
        if (supports(model, s))
            return s;
    return FlashSetup::x16;
}

FlashBank::FlashBank(const NorModel& model, FlashSetup setup, FlashFaults faults)
    : model_(model), setup_(setup), faults_(faults)
{
    if (!supports(model, setup))
        throw std::invalid_argument("flash chip cannot be wired in this bus set-up");
    const int count = setup == FlashSetup::x8x2 ? 2 : 1;
    for (int lane = 0; lane < count; ++lane) {
        const bool byte_mode = setup != FlashSetup::x16;
        if (model.command_set == NorCommandSet::intel) {
            auto chip = std::make_unique<IntelChip>(model, byte_mode);
            chip->set_status_fault(faults.intel_status);
            for (uint32_t block : faults.locked_blocks)
                chip->lock(block);
            chips_.push_back(std::move(chip));
        } else {
            chips_.push_back(std::make_unique<NorChip>(model, byte_mode));
        }
        chips_.back()->set_erase_factor(faults.slow_erase_factor);
        for (uint32_t block : faults.protected_blocks)
            chips_.back()->protect(block);
        if (faults.ignore_erase)
            chips_.back()->set_ignored_erase(nor_erase_block(model, faults.ignore_erase_block));
        chips_.back()->set_program_factor(faults.slow_program_factor);
    }
    if (faults.stuck_bit)
        place_stuck_bit(faults.stuck_address, faults.stuck_bit_index);
}

NorSector nor_erase_block(const NorModel& model, uint32_t index)
{
    if (model.block_erase_cmd != 0)
        return index < model.size_bytes / model.block_bytes ? NorSector{index * model.block_bytes, model.block_bytes}
                                                            : NorSector{0, 0};
    uint32_t start = 0;
    for (const NorRegion& run : model.sectors) {
        if (index < run.count)
            return {start + index * run.bytes, run.bytes};
        index -= run.count;
        start += run.count * run.bytes;
    }
    return {0, 0};
}

uint32_t FlashBank::size_bytes() const { return model_.size_bytes * static_cast<uint32_t>(chips_.size()); }

const NorChip& FlashBank::chip(int lane) const { return dynamic_cast<const NorChip&>(flash_chip(lane)); }

const IntelChip& FlashBank::intel_chip(int lane) const { return dynamic_cast<const IntelChip&>(flash_chip(lane)); }

// The bit of the bus word at a CPU address, as a cell of one chip.
void FlashBank::place_stuck_bit(uint32_t address, int bit)
{
    const uint32_t chip_mask = model_.size_bytes - 1;
    switch (setup_) {
    case FlashSetup::x16:
        chips_[0]->set_stuck_bit(((address & ~1u) + static_cast<uint32_t>(bit / 8)) & chip_mask, bit % 8);
        break;
    case FlashSetup::x8:
        chips_[0]->set_stuck_bit(address & chip_mask, bit);
        break;
    case FlashSetup::x8x2:
        if (bit >= 0 && bit < 16)
            chips_[static_cast<size_t>(bit / 8)]->set_stuck_bit((address >> 1) & chip_mask, bit % 8);
        break;
    }
}

// In 16x1 the chip sees word addresses (CPU A1 on its A0); in 8x1 the CPU byte
// address as is (CPU A0 on A-1 of an x8/x16 chip); in 8x2 CPU A1 drives each
// chip's A0. Address lines beyond the chip are not connected.
ChipPins FlashBank::chip_pins(const DevicePins& pins, int lane) const
{
    const uint32_t levels = (pins.data & pins.data_driven) | ~pins.data_driven;  // undriven lines float high
    ChipPins c;
    c.ce_n = pins.ce_n;
    c.oe_n = pins.oe_n;
    c.we_n = pins.we_n;
    switch (setup_) {
    case FlashSetup::x16:
        c.address = (pins.address >> 1) & (model_.size_bytes / 2 - 1);
        c.data = static_cast<uint16_t>(levels);
        break;
    case FlashSetup::x8:
        c.address = pins.address & (model_.size_bytes - 1);
        c.data = static_cast<uint16_t>(levels & 0xFF);
        break;
    case FlashSetup::x8x2:
        c.address = (pins.address >> 1) & (model_.size_bytes - 1);
        c.data = static_cast<uint16_t>((levels >> (8 * lane)) & 0xFF);
        break;
    }
    return c;
}

void FlashBank::pins_changed(const DevicePins& before, const DevicePins& after, uint64_t now_ns)
{
    if (faults_.no_flash)
        return;
    for (int lane = 0; lane < chip_count(); ++lane)
        chips_[static_cast<size_t>(lane)]->pins_changed(chip_pins(before, lane), chip_pins(after, lane), now_ns);
}

uint32_t FlashBank::data_out(const DevicePins& pins, uint64_t now_ns, uint32_t& levels) const
{
    levels = 0;
    if (faults_.no_flash)
        return 0;
    uint32_t mask = 0;
    for (int lane = 0; lane < chip_count(); ++lane) {
        const FlashChip& chip = *chips_[static_cast<size_t>(lane)];
        ChipPins c = chip_pins(pins, lane);
        if (!chip.drives(c))
            continue;
        const uint32_t shift = 8u * static_cast<uint32_t>(lane);
        levels |= static_cast<uint32_t>(chip.output(c, now_ns)) << shift;
        mask |= static_cast<uint32_t>(chip.data_mask()) << shift;
    }
    return mask;
}

void FlashBank::load(const std::vector<uint8_t>& bytes)
{
    for (auto& chip : chips_)
        std::fill(chip->cells().begin(), chip->cells().end(), uint8_t{0xFF});
    const size_t n = std::min<size_t>(bytes.size(), size_bytes());
    for (size_t i = 0; i < n; ++i) {
        if (setup_ == FlashSetup::x8x2)
            chips_[i & 1]->cells()[i >> 1] = bytes[i];
        else
            chips_[0]->cells()[i] = bytes[i];
    }
}

std::vector<uint8_t> FlashBank::contents() const
{
    if (setup_ != FlashSetup::x8x2)
        return chips_[0]->cells();
    std::vector<uint8_t> out(size_bytes());
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = chips_[i & 1]->cells()[i >> 1];
    return out;
}

}  // namespace sim
