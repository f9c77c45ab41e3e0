// SPDX-License-Identifier: Apache-2.0
// What the cable's four signals reach: the CPU's test access port alone, or the CPU between
// further devices. TMS and TCK go to every device; TDI enters the device nearest the cable's
// TDI, each device's TDO feeds the next one's TDI, and the last one drives the cable's TDO.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus.h"
#include "sim/chain_device.h"
#include "sim/tap_controller.h"
#include "sim/virtual_clock.h"

namespace sim {

class ScanChain {
public:
    // `before`: between the cable's TDI and the CPU; `after`: between the CPU and the cable's
    // TDO; each from the TDI side on. A further device left in anything but BYPASS or IDCODE
    // while the CPU drives its pins is an electrical-rule violation on `bus`.
    ScanChain(TapController& cpu, Bus& bus, const VirtualClock& clock, const std::vector<ChainDeviceFacts>& before,
              const std::vector<ChainDeviceFacts>& after);

    void tck_rising(uint8_t tms, uint8_t tdi)
    {
        if (devices_.empty()) [[likely]]
            cpu_.tck_rising(tms, tdi);
        else
            chain_rising(tms, tdi);
    }
    void tck_falling()
    {
        cpu_.tck_falling();
        if (!devices_.empty()) [[unlikely]]
            chain_falling();
    }
    uint8_t tdo() const
    {
        if (tdo_stuck_ >= 0) [[unlikely]]
            return static_cast<uint8_t>(tdo_stuck_);
        return devices_.size() > cpu_index_ ? devices_.back().tdo() : cpu_.tdo();
    }
    // A broken TDO line: the cable reads `level` (0 or 1) whatever the chain does; -1 mends it.
    void set_tdo_stuck(int level) { tdo_stuck_ = level; }
    void trst();

    // Devices in chain positions, 0 nearest the cable's TDO; the CPU has none of its own here.
    uint32_t positions() const { return static_cast<uint32_t>(devices_.size()) + 1; }
    uint32_t cpu_position() const { return static_cast<uint32_t>(devices_.size() - cpu_index_); }
    // The further device at `position` (not the CPU's).
    const ChainDevice& device(uint32_t position) const;

private:
    void chain_rising(uint8_t tms, uint8_t tdi);
    void chain_falling();

    TapController& cpu_;
    Bus& bus_;
    const VirtualClock& clock_;
    // From the TDI side: devices_[0, cpu_index_) before the CPU, the rest after it.
    std::vector<ChainDevice> devices_;
    size_t cpu_index_;
    int tdo_stuck_ = -1;
};

// One line per further device for --stats: its position, identity and the instructions it saw.
std::string chain_stats_text(const ScanChain& chain);

}  // namespace sim
