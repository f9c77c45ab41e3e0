// SPDX-License-Identifier: Apache-2.0
// The programming run: menu and prompts, identification, geometry, erase, program, verify.
#pragma once

#include <cstdint>

#include "app/exit.h"
#include "app/options.h"
#include "job/job_rules.h"
#include "jtag/jtag_chain.h"
#include "targets/cpu_target.h"

// The run on `cpu` over `cable`, completing a copy of `options` from the console. Status 0
// only after the image (or the erase-only range) was done and verified; the elapsed time is
// printed after a written image.
RunEnd run_programming(const RunOptions& options, const CpuTarget& cpu, JtagChain& chain);
