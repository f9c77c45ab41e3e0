// SPDX-License-Identifier: Apache-2.0
// The way every job opens the flash, shared by the command line and the job API: the chain
// checked, the flash model and its set-up chosen (named or detected), its codes and blocks read.
// Each step says what stopped it; the caller words it and decides what the cable does next.
#pragma once

#include <cstdint>

#include "flash/flash_descriptor.h"
#include "flash/flash_session.h"
#include "job/job_rules.h"
#include "jtag/jtag_chain.h"
#include "targets/cpu_target.h"
#include "targets/selected_target.h"

// The CPU's IDCODE read and compared; a device without an IDCODE instruction accepts any.
Outcome check_chain(JtagChain& chain, Host& host, const CpuTarget& cpu);

// The flash a job runs on: its command set, and the model of its set-up on the bus.
struct FlashChoice {
    const FlashDescriptor* descriptor = nullptr;
    FlashModel model{};
    int32_t bus_width = 0;
    int32_t interleave = 0;
    uint8_t setups_tried = 0;  // with detection: the set-ups it tried
};

enum class ChoiceStop : uint8_t {
    none,
    nothing_detected,  // no set-up tried answered with known codes or a CFI table
    unsupported,       // the model is unknown, or has no such set-up
};

// With EXTEST on: `model` at `bus_width` x `interleave`, or with `model` null what detection
// finds over the set-ups the CPU's data pins carry (narrowed by a width or interleave other than 0).
ChoiceStop choose_flash(SelectedTarget& target, Host& host, const CpuTarget& cpu, uint32_t start, const char* model,
                        int32_t bus_width, int32_t interleave, FlashChoice& choice);

// The codes are read at the start's 4 KB boundary, where the chip can answer them (at 0x1002 it
// reads data).
inline uint32_t id_base(uint32_t start) { return start & ~(kNoBlockStartBelow - 1); }

// The maker and device codes; ok when the descriptor knows them.
Outcome read_flash_codes(FlashSession& session, uint32_t start);

// The erase blocks: from the built-in table for the codes, else the chip's CFI query.
Outcome read_flash_blocks(FlashSession& session, uint32_t start);
