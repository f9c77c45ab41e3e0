// SPDX-License-Identifier: Apache-2.0
// --cable cmsis-dap: a CMSIS-DAP probe as the cable, chosen with --cable-id and --cable-serial.
#pragma once

#include <memory>
#include <string>

#include "app/exit.h"
#include "app/job_report.h"
#include "app/long_options.h"
#include "jtag/cable.h"

// True when --cable says cmsis-dap; a USB-adapter option it cannot take goes into `error`.
bool wants_dap_cable(const LongOptions& options, std::string& error);

// Opens the probe the options describe into `cable`, or ends the run with its one-line reason.
[[nodiscard]] Ending open_dap_cable(const LongOptions& options, std::unique_ptr<Cable>& cable);

// The probe into the job's record; false when `cable` is no CMSIS-DAP probe.
bool note_dap_cable(const Cable* cable, JobReport& report);

// One line per CMSIS-DAP probe plugged in, for --cable-list; how many there were.
int list_dap_probes();
