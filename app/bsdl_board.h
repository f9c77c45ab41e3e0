// SPDX-License-Identifier: Apache-2.0
// The device on the chain described by a BSDL file (--bsdl) and its flash bus (--bus, --hold):
// read and checked before the cable is touched.
#pragma once

#include <string>

#include "app/exit.h"
#include "app/long_options.h"
#include "app/options.h"
#include "targets/bsdl_device.h"
#include "targets/bsdl_target.h"

// What --bsdl-info prints: the lengths, the IDCODE, the opcodes, the cell counts and the pins.
std::string bsdl_info_text(const BsdlDevice& device);

// --bsdl-info with --bsdl FILE alone (`argc` counts what is left after the long options):
// prints the file's description; the exit status.
int bsdl_info_main(const LongOptions& options, int argc);

// Reads --bsdl, --bus and --hold into `target`, or ends the run with status 1 and the reason;
// `classic` are the other options, which the file must not contradict (-C, -t).
[[nodiscard]] Ending bsdl_board_load(const LongOptions& options, const RunOptions& classic, BsdlTarget& target);
