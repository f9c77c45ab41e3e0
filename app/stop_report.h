// SPDX-License-Identifier: Apache-2.0
// The one line that says why a job stopped early and what it may have left half-done.
#pragma once

#include <cstdint>
#include <string>

#include "jtag/cable.h"
#include "job/job_rules.h"

// The reason to stop now (a cable failure or an interrupt), or an empty text to go on.
std::string stop_reason(const Cable& cable);

// "Stopped by <reason> ..." with where and what may be half-written.
void report_stop(const std::string& reason, uint32_t at, const JobRange& range);
