// SPDX-License-Identifier: Apache-2.0
// Chains of several devices: --chain-list reads and names them; --device, --chain and
// --bsdl-dir pick the one a job runs on. The chain is read only when one of them is given, so a
// job without them sends exactly what it always did.
#pragma once

#include <cstdint>

#include "app/exit.h"
#include "app/long_options.h"
#include "jtag/cable.h"
#include "jtag/chain_position.h"
#include "targets/cpu_target.h"

// The device a job runs on: where it sits among the others, held in BYPASS, and its IR length.
struct ChainChoice {
    ChainPosition position;
    uint32_t device = 0;
    uint32_t ir_length = 0;  // 0 when the chain was not read
};

// --chain-list, --device, --chain or --bsdl-dir.
bool chain_options_given(const LongOptions& options);

// Reads the chain and lists it (--chain-list), or picks the job's device into `choice`; `job_cpu`
// is the CPU of -C or --bsdl, nullptr when there is none. False when the run ends here, with
// `end` saying how: the list printed, or a refusal in one line before any pin was driven.
bool chain_stage(Cable& cable, const LongOptions& options, const CpuTarget* job_cpu, ChainChoice& choice, RunEnd& end);
