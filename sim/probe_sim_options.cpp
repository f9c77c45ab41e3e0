// SPDX-License-Identifier: Apache-2.0
#include "sim/probe_sim_options.h"

#include <string_view>

#include "jtag/number_text.h"
#include "sim/sim_options.h"

namespace sim {

namespace {
constexpr uint32_t kFirstSerial = 50123456;
}  // namespace

std::string set_probe_cable(SimOptions& options, const std::string& value)
{
    ProbeSimOptions& p = options.probes;
    p.cable = value;
    if (value == "gpio")
        p.gpio.present = true;
    else if (p.jlink.serials.empty())
        p.jlink.serials = {kFirstSerial};
    return {};
}

std::string set_jlink_serials(SimOptions& options, const std::string& value)
{
    std::vector<uint32_t>& serials = options.probes.jlink.serials;
    serials.clear();
    std::string_view rest = value;
    while (true) {
        const size_t comma = rest.find(',');
        uint32_t serial = 0;
        if (!parse_digits(rest.substr(0, comma), serial))
            return "bad --jlink-serials '" + value + "' (serial numbers, as 50123456,50123457)";
        serials.push_back(serial);
        if (comma == std::string_view::npos)
            return {};
        rest = rest.substr(comma + 1);
    }
}

std::string set_jlink_no_jtag(SimOptions& options, const std::string&)
{
    options.probes.jlink.jtag = false;
    return {};
}

std::string add_gpio_held(SimOptions& options, const std::string& value)
{
    const size_t equals = value.find('=');
    GpioHeld held;
    uint32_t offset = 0;
    if (!parse_digits(std::string_view(value).substr(0, equals), offset) || offset > 0xFFFF)
        return "bad --gpio-busy '" + value + "' (OFFSET or OFFSET=CONSUMER)";
    held.offset = static_cast<int32_t>(offset);
    held.consumer = equals == std::string::npos ? "spi0 CS0" : value.substr(equals + 1);
    options.probes.gpio.held.push_back(held);
    return {};
}

std::string set_gpio_call_ns(SimOptions& options, const std::string& value)
{
    if (!parse_digits(value, options.probes.gpio.call_ns) || options.probes.gpio.call_ns > 1'000'000)
        return "bad --gpio-call-ns '" + value + "' (0 to 1000000 nanoseconds per system call)";
    return {};
}

std::string probe_time_note(const ProbeSimOptions& p)
{
    if (p.cable == "gpio")
        return "(tarnflash-sim: that elapsed time is virtual, the estimate for real hardware at " +
               std::to_string(p.gpio.call_ns) + " ns per GPIO system call, --gpio-call-ns)\n";
    return "(tarnflash-sim: that elapsed time is virtual, the estimate for real hardware through a J-Link at " +
           std::to_string(p.jlink.latency_us) + " us per USB round trip, --usb-latency-us)\n";
}

}  // namespace sim
