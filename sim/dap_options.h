// SPDX-License-Identifier: Apache-2.0
// The simulator's options for its CMSIS-DAP probe: what it is and how it misbehaves.
#pragma once

#include <string>

#include "sim/dap_probe.h"

namespace sim {

// Each returns an empty string, or the one-line reason the value is refused.
std::string dap_set_version(DapProbeConfig& dap, const std::string& value);
std::string dap_set_packet_size(DapProbeConfig& dap, const std::string& value);
std::string dap_set_packet_count(DapProbeConfig& dap, const std::string& value);
// Repeatable: each serial is one more probe plugged in (the first replaces the default one).
std::string dap_add_serial(DapProbeConfig& dap, bool& serial_given, const std::string& value);
// no-jtag | error:N | unplug:N
std::string dap_set_fault(DapProbeConfig& dap, const std::string& value);

}  // namespace sim

// The usage lines of these options, a literal to join the simulator's usage text.
#define SIM_DAP_USAGE                                                                                                  \
    "  --cable cmsis-dap   the tool drives the board's CMSIS-DAP probe\n"                                              \
    "  --dap-version 1|2   the probe's link: 1 HID reports, 2 USB bulk (default 2)\n"                                  \
    "  --dap-packet-size N, --dap-packet-count N  what DAP_Info reports (default 64 and 4 for v1,\n"                   \
    "                      512 and 8 for v2)\n"                                                                        \
    "  --dap-serial TEXT   a probe plugged in with that serial (repeatable: several probes)\n"                         \
    "  --dap-fault F       the probe misbehaves: no-jtag (SWD only), error:N (the Nth\n"                               \
    "                      DAP_JTAG_Sequence answered DAP_ERROR), unplug:N (gone after the Nth)\n"
