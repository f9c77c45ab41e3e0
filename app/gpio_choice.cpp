// SPDX-License-Identifier: Apache-2.0
#include <cstring>

#include "app/probe_cables.h"
#include "job/gpio_pins.h"
#include "jtag/gpio_cable.h"
#include "platform/console.h"
#include "platform/platform.h"

Ending open_gpio_cable(const LongOptions& o, std::unique_ptr<Cable>& opened)
{
    GpioPins pins;
    if (const std::string reason = gpio_parse_pins(o.gpio_pins, pins); !reason.empty()) {
        con_printf("%s\n", reason.c_str());
        return process_end(1);
    }
    GpioTransport* gpio = platform().gpio_transport();
    if (gpio == nullptr) {
        con_printf("This build has no GPIO cable: it was built without libgpiod\n");
        return process_end(1);
    }
    auto cable = std::make_unique<GpioCable>(*gpio);
    if (const char* reason = cable->open(o.cable + std::strlen("gpio:"), pins)) {
        con_printf("%s\n", reason);
        return process_end(1);
    }
    opened = std::move(cable);
    return {};
}
