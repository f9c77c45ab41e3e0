// SPDX-License-Identifier: Apache-2.0
#include "sim/flash_chip.h"

#include <algorithm>

namespace sim {
namespace {
bool write_low(const ChipPins& p) { return !p.ce_n && !p.we_n; }
bool read_low(const ChipPins& p) { return !p.ce_n && !p.oe_n; }
}  // namespace

FlashChip::FlashChip(const NorModel& model, bool byte_mode)
    : model_(model),
      byte_mode_(byte_mode || model.bus == NorBusWidth::x8_only),
      cells_(model.size_bytes, 0xFF),
      protected_(nor_unit_count(model), false)
{}

void FlashChip::set_stuck_bit(uint32_t byte_index, int bit)
{
    stuck_byte_ = byte_index & (model_.size_bytes - 1);
    stuck_mask_ = (bit >= 0 && bit < 8) ? static_cast<uint8_t>(1u << bit) : 0;
}

void FlashChip::protect(uint32_t index)
{
    if (index < protected_.size())
        protected_[index] = true;
}

// In byte mode of an x8/x16 chip DQ15 is A-1, below the word address the decoder uses.
uint32_t FlashChip::word_address(uint32_t address) const
{
    return (byte_mode_ && model_.bus == NorBusWidth::x8_x16) ? address >> 1 : address;
}

uint32_t FlashChip::byte_address(uint32_t address) const
{
    return (byte_mode_ ? address : address << 1) & (model_.size_bytes - 1);
}

NorSector FlashChip::unit_of(uint32_t address) const { return nor_unit_of(model_, byte_address(address)); }

bool FlashChip::is_protected(uint32_t address) const
{
    return protected_[nor_unit_index(model_, byte_address(address))];
}

void FlashChip::pins_changed(const ChipPins& before, const ChipPins& after, uint64_t now_ns)
{
    // The address is taken when the later of CE# and WE# falls, the data when the
    // first of them rises again; OE# low inhibits the write.
    if (!write_low(before) && write_low(after) && after.oe_n) {
        write_pending_ = true;
        latched_address_ = after.address;
    }
    if (write_low(before) && !write_low(after) && write_pending_) {
        write_pending_ = false;
        write_cycle(latched_address_, before.data & data_mask(), now_ns);
    }
    if (!read_low(before) && read_low(after) && after.we_n)
        read_cycle(now_ns);
}

// Cells only go from 1 to 0: the new value is old AND written.
void FlashChip::program_unit(uint32_t address, uint16_t data)
{
    uint32_t b = byte_address(address);
    auto program_byte = [this](uint32_t at, uint8_t value) {
        uint8_t keep = at == stuck_byte_ ? stuck_mask_ : 0;
        cells_[at] &= static_cast<uint8_t>(value | keep);
    };
    program_byte(b, static_cast<uint8_t>(data));
    if (!byte_mode_)
        program_byte(b + 1, static_cast<uint8_t>(data >> 8));
}

void FlashChip::erase_range(uint32_t start, uint32_t bytes)
{
    for (uint32_t at = start; at < start + bytes; ++at)
        if (at - ignored_erase_.start >= ignored_erase_.bytes)
            cells_[at] = 0xFF;
}

}  // namespace sim
