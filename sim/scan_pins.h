// SPDX-License-Identifier: Apache-2.0
// What the CPU's boundary-scan register is wired to: the CPU's pins.
#pragma once

#include <cstdint>

namespace sim {

class ScanPins {
public:
    virtual ~ScanPins() = default;
    // The active instruction changed. Only under EXTEST do the update latches drive
    // the pins; otherwise the CPU holds every strobe and chip select inactive and
    // releases the data bus.
    virtual void set_extest(bool active) = 0;
    // Update-DR of the boundary-scan register: latches[i] (0 or 1) for cell i.
    virtual void update(const uint8_t* latches) = 0;
    // Capture-DR of the boundary-scan register: cells[i] receives the level of cell i.
    virtual void capture(uint8_t* cells) = 0;
};

}  // namespace sim
