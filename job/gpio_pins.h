// SPDX-License-Identifier: Apache-2.0
// The GPIO cable's lines, as --gpio-pins and the job API give them: "tck=11,tms=25,tdi=10,tdo=9".
#pragma once

#include <string>

#include "jtag/gpio_cable.h"

// "tck=N,tms=N,tdi=N,tdo=N[,trst=N][,srst=N]" into `pins`; empty, or a one-line reason.
std::string gpio_parse_pins(const char* text, GpioPins& pins);
