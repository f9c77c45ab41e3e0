// SPDX-License-Identifier: Apache-2.0
// A GPIO chip of the host (a Raspberry Pi's header) wired to the board's JTAG signals, as the
// Linux character device offers it: lines requested by a consumer, set and read one system
// call at a time. It stands where the platform's GPIO transport would.
//
// Virtual time: every system call costs `call_ns`; the lines change when the call returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gpio_transport.h"
#include "sim/scan_chain.h"
#include "sim/virtual_clock.h"

namespace sim {

// A line another program holds.
struct GpioHeld {
    int32_t offset = 0;
    std::string consumer;
};

struct GpioChipConfig {
    bool present = false;  // no chip at all (a PC without a GPIO header)
    uint32_t lines = 54;   // a Raspberry Pi's gpiochip0
    uint64_t call_ns = 2000;
    std::vector<GpioHeld> held;
};

struct GpioCounters {
    uint64_t calls = 0;   // system calls: sets and reads of lines
    uint64_t clocks = 0;  // TCK rising edges
};

class VirtualGpio final : public GpioTransport {
public:
    static constexpr const char* kName = "gpiochip0";

    VirtualGpio(VirtualClock& clock, ScanChain& chain, const GpioChipConfig& config)
        : clock_(clock), chain_(chain), config_(config)
    {}

    const char* open(const std::string& chip, const GpioPins& pins) override;
    bool set_jtag(uint8_t levels) override;
    int tdo() override;
    const char* error() const override { return error_.c_str(); }
    void close() override;

    const GpioCounters& counters() const { return counters_; }
    // True while the lines are requested.
    bool requested() const { return open_; }

private:
    const char* fail(std::string text);
    void call();

    VirtualClock& clock_;
    ScanChain& chain_;
    GpioChipConfig config_;
    GpioCounters counters_;
    std::string error_;
    bool open_ = false;
    uint8_t levels_ = 0;
};

// "gpio_calls: N" and the like for --stats; empty when the chip was not used.
std::string gpio_stats_text(const VirtualGpio& gpio);

}  // namespace sim
