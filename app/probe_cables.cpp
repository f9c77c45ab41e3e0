// SPDX-License-Identifier: Apache-2.0
#include "app/probe_cables.h"

#include <cstring>

#include "jtag/jlink_cable.h"

namespace {

bool is_jlink(const LongOptions& o) { return o.cable != nullptr && std::strcmp(o.cable, "jlink") == 0; }

bool is_gpio(const LongOptions& o)
{
    return o.cable != nullptr && (std::strcmp(o.cable, "gpio") == 0 || std::strncmp(o.cable, "gpio:", 5) == 0);
}

}  // namespace

bool probe_cable_named(const LongOptions& o) { return is_jlink(o) || is_gpio(o) || o.gpio_pins != nullptr; }

bool probe_cable_check(const LongOptions& o, std::string& error)
{
    if (o.cable_id || o.cable_interface || o.cable_pins || o.cable_config || o.srst)
        error = "--cable-id, --cable-interface, --cable-pins, --cable-config and --srst are for --cable ftdi";
    else if (is_jlink(o))
        error = o.gpio_pins != nullptr ? "--gpio-pins is for --cable gpio:CHIP" : "";
    else if (!is_gpio(o))
        error = "--gpio-pins needs --cable gpio:CHIP";
    else if (o.cable[4] != ':' || o.cable[5] == '\0')
        error = "--cable gpio needs its chip: gpio:gpiochip0, gpio:0 or gpio:/dev/gpiochip0";
    else if (o.gpio_pins == nullptr)
        error = "--cable gpio needs --gpio-pins tck=N,tms=N,tdi=N,tdo=N[,trst=N][,srst=N]";
    else if (o.cable_serial || o.tck_hz)
        error = "--cable-serial and --tck-hz are not for --cable gpio: it clocks as fast as the system calls go";
    return error.empty();
}

Ending open_probe_cable(const LongOptions& o, std::unique_ptr<Cable>& cable)
{
    return is_jlink(o) ? open_jlink_cable(o, cable) : open_gpio_cable(o, cable);
}

void note_probe_cable(const LongOptions& o, const Cable& cable, JobReport& report)
{
    report.cable_kind = is_jlink(o) ? "jlink" : "gpio";
    if (const auto* jlink = dynamic_cast<const JlinkCable*>(&cable))
        report.serial = std::to_string(jlink->serial());
    else
        report.description = o.cable + 5;
}
