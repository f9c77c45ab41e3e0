// SPDX-License-Identifier: Apache-2.0
// One run of the tool inside the calling process, on a platform of the caller's, with the
// caller's own signal handlers given back afterwards.
#pragma once

#include <string>
#include <vector>

#include "python/station_platform.h"

struct ToolRun {
    int status = 1;         // the tool's exit status
    bool stopped = false;   // the stop was requested (by the progress callback or stop())
    std::string interrupt;  // the signal that stopped the job ("SIGINT"), or empty
    std::string log;        // everything the tool printed
};

// Runs `tarnflash <args>` with `station` installed as the platform. The tool catches SIGINT and
// the other interrupts while it runs, so one stops the job at its next safe point.
ToolRun run_tool_in_process(StationPlatform& station, const std::vector<std::string>& args);
