// SPDX-License-Identifier: Apache-2.0
// The simulator's options for the virtual J-Links and GPIO chip.
#pragma once

#include <string>

#include "sim/virtual_gpio.h"
#include "sim/virtual_jlink.h"

namespace sim {

struct SimOptions;

struct ProbeSimOptions {
    std::string cable;  // "jlink" or "gpio" when --cable named one
    JlinkConfig jlink;
    GpioChipConfig gpio;
};

// --cable jlink|gpio: that probe plugged in (one J-Link unless --jlink-serials says more).
std::string set_probe_cable(SimOptions& options, const std::string& value);
std::string set_jlink_serials(SimOptions& options, const std::string& value);
std::string set_jlink_no_jtag(SimOptions& options, const std::string& value);
std::string add_gpio_held(SimOptions& options, const std::string& value);
std::string set_gpio_call_ns(SimOptions& options, const std::string& value);

// The line after a run's elapsed time through one of these cables.
std::string probe_time_note(const ProbeSimOptions& probes);

}  // namespace sim
