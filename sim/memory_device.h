// SPDX-License-Identifier: Apache-2.0
// A plain memory on the bus: reads while CE# and OE# are low, stores on the rising edge of WE#.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "sim/bus_signals.h"

namespace sim {

class MemoryDevice : public BusDevice {
public:
    struct Write {
        uint32_t address;
        uint32_t data;
    };

    // `data_lines`: the data lines wired to the device (0xFF for a byte-wide part).
    // Words never written read as `blank`.
    explicit MemoryDevice(uint32_t data_lines = 0xFFFF, uint32_t blank = 0xFFFFFFFFu);

    void pins_changed(const DevicePins& before, const DevicePins& after, uint64_t now_ns) override;
    uint32_t data_out(const DevicePins& pins, uint64_t now_ns, uint32_t& levels) const override;

    uint32_t load(uint32_t address) const;
    void store(uint32_t address, uint32_t data);
    const std::vector<Write>& writes() const { return writes_; }

private:
    uint32_t lines_;
    uint32_t blank_;
    std::unordered_map<uint32_t, uint32_t> words_;
    std::vector<Write> writes_;
};

}  // namespace sim
