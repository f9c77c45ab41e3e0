// SPDX-License-Identifier: Apache-2.0
// The external bus between the CPU's pins and the devices on the board.
#pragma once

#include <cstdint>

namespace sim {

// What the CPU puts on its bus pins.
struct BusSignals {
    uint32_t address = 0;      // bit k = level of address pin Ak
    uint32_t data = 0;         // levels the CPU drives on D0..D31 (only bits in data_driven count)
    uint32_t data_driven = 0;  // data lines the CPU drives
    bool oe_n = true;
    bool we_n = true;
    uint8_t ncs_n = 0xFF;  // bit r = nCS of region r; 1 = inactive
};

// What one device sees: the bus with its own chip enable picked out by the board.
struct DevicePins {
    uint32_t address = 0;
    uint32_t data = 0;
    uint32_t data_driven = 0;
    bool ce_n = true;
    bool oe_n = true;
    bool we_n = true;
};

class BusDevice {
public:
    virtual ~BusDevice() = default;
    // The pins changed at `now_ns` (one Update-DR); edges show by comparing with `before`.
    virtual void pins_changed(const DevicePins& before, const DevicePins& after, uint64_t now_ns) = 0;
    // The data lines this device drives now (returned mask) and their levels.
    // Must not change the device: it may be asked more than once per cycle.
    virtual uint32_t data_out(const DevicePins& pins, uint64_t now_ns, uint32_t& levels) const = 0;
};

}  // namespace sim
