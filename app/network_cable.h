// SPDX-License-Identifier: Apache-2.0
// The network cables: --cable xvc:HOST[:PORT] (an XVC server) and --cable
// remote-bitbang:HOST:PORT or remote-bitbang:unix:PATH (an OpenOCD remote_bitbang server).
#pragma once

#include <memory>
#include <string>

#include "app/exit.h"
#include "app/job_report.h"
#include "app/long_options.h"
#include "jtag/cable.h"

// True when --cable names a network cable.
bool network_cable_wanted(const LongOptions& options);

// With a network cable: true, or false with a one-line reason in `error` for an option that
// belongs to another cable.
bool network_cable_options(const LongOptions& options, std::string& error);

// Connects to the server and opens the cable into `cable`, or ends the run with its one line.
[[nodiscard]] Ending open_network_cable(const LongOptions& options, std::unique_ptr<Cable>& cable);

// Into the report: the cable's kind, server and round trips, when it is a network cable (true).
bool note_network_cable(JobReport& report, const Cable* cable);
