// SPDX-License-Identifier: Apache-2.0
// The board's external bus: the CPU's pins on one side, the devices on the other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/bus_signals.h"
#include "sim/stats.h"

namespace sim {

class Bus {
public:
    // Descriptions kept of the first electrical-rule violations; later ones are only counted.
    static constexpr std::size_t kNotesKept = 5;

    explicit Bus(SimStats& stats);

    // The device sits on chip-select region `region` (0 to 7): its CE# is that nCS pin.
    BusDevice& attach(std::unique_ptr<BusDevice> device, int region);
    BusDevice& device(std::size_t index) { return *devices_[index].device; }

    // The CPU's pins after one update. Counts OE# falling edges as bus reads (whether or
    // not a device is enabled) and WE# rising edges as bus writes, tells every device, and
    // checks the electrical rules.
    void set_signals(const BusSignals& after, uint64_t now_ns);
    const BusSignals& signals() const { return signals_; }

    // Level of each data line: the CPU's where it drives, else a device's, else pulled up.
    uint32_t data_levels(uint64_t now_ns) const;

    const std::vector<std::string>& violation_notes() const { return notes_; }
    // Counts an electrical-rule violation and keeps its description.
    void violation(uint64_t now_ns, const char* what, uint32_t from, uint32_t to);

private:
    struct Attached {
        std::unique_ptr<BusDevice> device;
        int region;
    };

    static DevicePins device_pins(const BusSignals& signals, int region);
    void check_rules(const BusSignals& before, const BusSignals& after, uint64_t now_ns);

    SimStats& stats_;
    BusSignals signals_;
    std::vector<Attached> devices_;
    std::vector<std::string> notes_;
};

}  // namespace sim
