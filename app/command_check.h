// SPDX-License-Identifier: Apache-2.0
// The command-line faults refused before any port or cable is touched: an option that is not
// known, and options that choose different jobs.
#pragma once

#include "app/exit.h"
#include "app/long_options.h"

// Scans argv (the long options already taken out) as the option scan will. An unknown option
// gets "Invalid Option", the usage and a line naming it (with the long option it most likely
// meant); two options that choose different jobs get one line naming both. Either ends the
// run with status 1.
[[nodiscard]] Ending refuse_misread_command_line(int argc, char** argv, const LongOptions& long_options);
