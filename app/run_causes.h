// SPDX-License-Identifier: Apache-2.0
// The lines added under a failure of a run, to say what went wrong and what to try.
#pragma once

#include <cstdint>

#include "flash/flash_session.h"
#include "flash/flash_update.h"
#include "jtag/jtag_chain.h"
#include "jtag/outcome.h"
#include "targets/cpu_target.h"

// Under an IDCODE mismatch: the value read, the one expected, and the built-in CPU that has it.
void print_idcode_line(uint32_t read, const CpuTarget& cpu);

// Under an IDCODE mismatch, when the chain holds more than one device: the IDCODE read may be
// another device's, or the lengths of --chain may be in the wrong order.
void print_chain_devices_line(JtagChain& chain, uint32_t read);

// Under "Cannot read flash ID": where the codes were read, and what may be wrong.
// `unheld`: on a --bsdl board (which has no chip-select regions), the pins it could need held.
void print_no_flash_line(int ncs_cell, uint32_t start, const char* unheld = nullptr);

// Under "Not defined FLASH Qeury INFO": the model whose codes were read, when one has them.
void print_other_model_line(const FlashSession& session, int32_t bus_width, int32_t interleave);

// Under "Not alignd writing address": the alignment and the nearest block starts.
void print_misaligned_line(const FlashGeometry& g, uint32_t start);

// After an erase or program error message: where, and what did not take or how long it had;
// nothing when the chip's status register already said why.
void print_job_failure_line(const Outcome& outcome, const FlashSession& session, bool chip_erase = false);

// A range asked for past the end of the flash: `what` stops there (the job goes on).
void print_range_end_line(const char* what, const FlashGeometry& g, uint32_t start, uint64_t asked);

// The line before an update's summary (which stays the job's last word): how many blocks were left
// alone, programmed over and erased.
void print_update_counts(const UpdateCounts& counts);
