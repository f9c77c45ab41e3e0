// SPDX-License-Identifier: Apache-2.0
#include "sim/bus.h"

#include <cstdio>

namespace sim {

Bus::Bus(SimStats& stats) : stats_(stats) {}

BusDevice& Bus::attach(std::unique_ptr<BusDevice> device, int region)
{
    devices_.push_back({std::move(device), region});
    return *devices_.back().device;
}

DevicePins Bus::device_pins(const BusSignals& signals, int region)
{
    DevicePins pins;
    pins.address = signals.address;
    pins.data = signals.data & signals.data_driven;
    pins.data_driven = signals.data_driven;
    pins.ce_n = ((signals.ncs_n >> region) & 1u) != 0;
    pins.oe_n = signals.oe_n;
    pins.we_n = signals.we_n;
    return pins;
}

void Bus::set_signals(const BusSignals& after, uint64_t now_ns)
{
    const BusSignals before = signals_;
    signals_ = after;
    if (before.oe_n && !after.oe_n)
        ++stats_.bus_reads;
    if (!before.we_n && after.we_n)
        ++stats_.bus_writes;
    for (Attached& attached : devices_)
        attached.device->pins_changed(device_pins(before, attached.region), device_pins(after, attached.region),
                                      now_ns);
    check_rules(before, after, now_ns);
}

uint32_t Bus::data_levels(uint64_t now_ns) const
{
    uint32_t levels = 0xFFFFFFFFu;  // pull-ups
    for (const Attached& attached : devices_) {
        uint32_t driven_levels = 0;
        uint32_t driven = attached.device->data_out(device_pins(signals_, attached.region), now_ns, driven_levels);
        levels = (levels & ~driven) | (driven_levels & driven);
    }
    return (levels & ~signals_.data_driven) | (signals_.data & signals_.data_driven);
}

void Bus::check_rules(const BusSignals& before, const BusSignals& after, uint64_t now_ns)
{
    if (!after.oe_n && !after.we_n)
        violation(now_ns, "OE# and WE# low together", 0, 0);
    if (!before.we_n && !after.we_n) {
        if (before.address != after.address)
            violation(now_ns, "address changed while WE# low", before.address, after.address);
        const uint32_t old_data = before.data & before.data_driven;
        const uint32_t new_data = after.data & after.data_driven;
        if (before.data_driven != after.data_driven || old_data != new_data)
            violation(now_ns, "data changed while WE# low", old_data, new_data);
    }
    for (const Attached& attached : devices_) {
        uint32_t levels = 0;
        uint32_t driven = attached.device->data_out(device_pins(after, attached.region), now_ns, levels);
        if ((driven & after.data_driven) != 0)
            violation(now_ns, "data contention between CPU and device", after.data_driven, driven);
    }
}

void Bus::violation(uint64_t now_ns, const char* what, uint32_t from, uint32_t to)
{
    ++stats_.rule_violations;
    if (notes_.size() >= kNotesKept)
        return;
    char text[128];
    std::snprintf(text, sizeof text, "%llu ns: %s (0x%08X, 0x%08X)", static_cast<unsigned long long>(now_ns), what,
                  static_cast<unsigned>(from), static_cast<unsigned>(to));
    notes_.emplace_back(text);
}

}  // namespace sim
