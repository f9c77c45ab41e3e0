// SPDX-License-Identifier: Apache-2.0
#include "sim/scan_chain.h"

#include <cstdio>

namespace sim {

ScanChain::ScanChain(TapController& cpu, Bus& bus, const VirtualClock& clock,
                     const std::vector<ChainDeviceFacts>& before, const std::vector<ChainDeviceFacts>& after)
    : cpu_(cpu), bus_(bus), clock_(clock), cpu_index_(before.size())
{
    devices_.reserve(before.size() + after.size());
    for (const ChainDeviceFacts& facts : before)
        devices_.emplace_back(facts);
    for (const ChainDeviceFacts& facts : after)
        devices_.emplace_back(facts);
}

const ChainDevice& ScanChain::device(uint32_t position) const
{
    // Position 0 is the last device from the TDI side; the CPU's position has no entry.
    const size_t from_tdo = position < cpu_position() ? position : position - 1;
    return devices_[devices_.size() - 1 - from_tdo];
}

void ScanChain::trst()
{
    cpu_.trst();
    for (ChainDevice& device : devices_)
        device.trst();
}

void ScanChain::chain_rising(uint8_t tms, uint8_t tdi)
{
    // TDO changes only on falling edges, so each device's TDI is the TDO its neighbour set then.
    uint8_t in = tdi;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (i == cpu_index_) {
            cpu_.tck_rising(tms, in);
            in = cpu_.tdo();
        }
        devices_[i].tck_rising(tms, in);
        in = devices_[i].tdo();
    }
    if (cpu_index_ == devices_.size())
        cpu_.tck_rising(tms, in);
}

void ScanChain::chain_falling()
{
    for (ChainDevice& device : devices_)
        device.tck_falling();
    // Every device takes its new instruction at the same Update-IR.
    if (cpu_.state() != TapState::UpdateIr || cpu_.selected() != DataRegister::Boundary)
        return;
    for (uint32_t position = 0; position < positions(); ++position)
        if (position != cpu_position() && !device(position).harmless())
            bus_.violation(clock_.ns, "chain device neither in BYPASS nor IDCODE under EXTEST (its opcode, position)",
                           device(position).instruction(), position);
}

std::string chain_stats_text(const ScanChain& chain)
{
    std::string text;
    for (uint32_t position = 0; position < chain.positions(); ++position) {
        if (position == chain.cpu_position())
            continue;
        const ChainDevice& device = chain.device(position);
        char line[96];
        if (device.facts().has_idcode)
            std::snprintf(line, sizeof line, "chain_device: position %u, idcode 0x%08X, IR %u bits, saw", position,
                          static_cast<unsigned>(device.facts().idcode), static_cast<unsigned>(device.facts().ir_length));
        else
            std::snprintf(line, sizeof line, "chain_device: position %u, no idcode, IR %u bits, saw", position,
                          static_cast<unsigned>(device.facts().ir_length));
        text += line;
        if (device.instructions_seen().empty())
            text += " no instruction";
        for (const auto& [instruction, count] : device.instructions_seen()) {
            const char* name = instruction == device.bypass_opcode()                               ? "BYPASS"
                               : device.facts().has_idcode && instruction == device.idcode_opcode() ? "IDCODE"
                                                                                                   : nullptr;
            char entry[48];
            if (name != nullptr)
                std::snprintf(entry, sizeof entry, " %s x%llu", name, static_cast<unsigned long long>(count));
            else
                std::snprintf(entry, sizeof entry, " 0x%X x%llu", static_cast<unsigned>(instruction),
                              static_cast<unsigned long long>(count));
            text += entry;
        }
        text += "\n";
    }
    return text;
}

}  // namespace sim
