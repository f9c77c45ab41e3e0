// SPDX-License-Identifier: Apache-2.0
#include "sim/memory_device.h"

namespace sim {

MemoryDevice::MemoryDevice(uint32_t data_lines, uint32_t blank) : lines_(data_lines), blank_(blank & data_lines) {}

void MemoryDevice::pins_changed(const DevicePins& before, const DevicePins& after, uint64_t /*now_ns*/)
{
    const bool we_rises = !before.we_n && after.we_n;
    if (!we_rises || before.ce_n)
        return;
    // Lines the CPU leaves alone float up.
    const uint32_t levels = (before.data & before.data_driven) | ~before.data_driven;
    store(before.address, levels);
    writes_.push_back({before.address, levels & lines_});
}

uint32_t MemoryDevice::data_out(const DevicePins& pins, uint64_t /*now_ns*/, uint32_t& levels) const
{
    if (pins.ce_n || pins.oe_n)
        return 0;
    levels = load(pins.address);
    return lines_;
}

uint32_t MemoryDevice::load(uint32_t address) const
{
    auto found = words_.find(address);
    return found == words_.end() ? blank_ : found->second;
}

void MemoryDevice::store(uint32_t address, uint32_t data) { words_[address] = data & lines_; }

}  // namespace sim
