// SPDX-License-Identifier: Apache-2.0
// A CPU built from a BSDL file and a wiring: each cell drives or samples its pin as its function
// says, and the pins named by the wiring are the flash bus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus.h"
#include "sim/scan_pins.h"
#include "sim/virtual_clock.h"
#include "targets/bsdl_device.h"
#include "targets/bus_map.h"

namespace sim {

class BsdlPins : public ScanPins {
public:
    // `address_shift`: the bus bit of the flash's A0 (1 where the bus word is two bytes).
    // A wiring that names a pin the file does not have leaves the reason in refusal().
    BsdlPins(const BsdlDevice& device, const BusMap& wiring, uint32_t address_shift, int region, Bus& bus,
             const VirtualClock& clock);

    void set_extest(bool active) override;
    void update(const uint8_t* latches) override;
    void capture(uint8_t* cells) override;

    // The power-up latches: the file's safe values.
    const std::vector<uint8_t>& latches() const { return latches_; }
    // Empty, or why the wiring does not fit the file.
    const std::string& refusal() const { return refusal_; }

private:
    enum class Role : uint8_t { none, address, data, oe, we, ncs, hold };
    struct Wire {
        Role role = Role::none;
        uint32_t bit = 0;  // address or data bit, or the level a hold needs ('0', '1', 'z')
    };
    struct Level {
        bool driven = false;
        uint8_t level = 1;  // undriven pins float high
    };

    void drive_pins();
    Level pin_level(int pin) const;

    const BsdlDevice& device_;
    std::vector<Wire> wires_;                // per pin of the file
    std::vector<std::vector<int>> drivers_;  // per pin: its output cells
    std::vector<int> wired_;                 // the pins with a role
    int region_;
    Bus& bus_;
    const VirtualClock& clock_;
    bool extest_ = false;
    std::vector<uint8_t> latches_;
    std::string refusal_;
};

}  // namespace sim
